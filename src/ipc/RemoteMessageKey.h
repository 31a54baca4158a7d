#pragma once

// The dictionary keys of the messages on the daemon's socket, grouped by the
// payload that uses them. The UI application reads and writes the same
// strings; a changed string breaks it.
namespace vozi::RemoteMessageKey {

// The envelope of every message: {"method": <RemoteMessageMethod>, "parameters": {...}}.
inline constexpr char method[] = "method";
inline constexpr char parameters[] = "parameters";

// Entries of the result dictionaries of the cleaning modules.
namespace ScanResults {
inline constexpr char sectionName[] = "sectionName";
inline constexpr char sectionSize[] = "sectionSize";  // unsigned 64-bit bytes
inline constexpr char duplicates[] = "duplicates";    // array of Duplicates dictionaries
inline constexpr char lastOpen[] = "lastOpen";        // seconds since 1970

namespace Application {
inline constexpr char timesLaunched[] = "timesLaunched";
inline constexpr char lastLaunchTimeStamp[] = "lastLaunchTimeStamp";  // seconds since 1970
inline constexpr char iconPath[] = "iconPath";
}  // namespace Application

namespace Duplicates {
inline constexpr char filePath[] = "filePath";
inline constexpr char fileSize[] = "fileSize";  // unsigned 64-bit bytes
inline constexpr char lastOpen[] = "lastOpen";  // seconds since 1970
}  // namespace Duplicates

namespace BigFiles {
inline constexpr char filePath[] = "filePath";
}  // namespace BigFiles
}  // namespace ScanResults

// Campaign attribution; every value is a string and a field without one is
// left out of the dictionary.
namespace TrackingData {
inline constexpr char campaignID[] = "campaignID";
inline constexpr char campaignSource[] = "campaignSource";
inline constexpr char campaignMedium[] = "campaignMedium";
inline constexpr char campaignKeyword[] = "campaignKeyword";
inline constexpr char campaignContent[] = "campaignContent";
inline constexpr char googleAdWordsID[] = "GoogleAdWordsID";
inline constexpr char documentReferrer[] = "documentReferrer";
inline constexpr char clientID[] = "clientID";
inline constexpr char utmDevice[] = "utmDevice";
inline constexpr char utmMatchtype[] = "utmMatchtype";
inline constexpr char utmAdgroup[] = "utmAdgroup";
}  // namespace TrackingData

// The "cleaningHistory" message.
namespace CleanHistory {
inline constexpr char modules[] = "modules";  // array of one dictionary per module
inline constexpr char moduleName[] = "moduleName";
inline constexpr char lastCleanedBytes[] = "lastCleanedBytes";
inline constexpr char totalCleanedBytes[] = "totalCleanedBytes";
inline constexpr char lastCleanedTimestamp[] = "lastCleanedTimestamp";              // seconds since 1970
inline constexpr char lastCompleteCleanTimestamp[] = "lastCompleteCleanTimestamp";  // beside "modules"
}  // namespace CleanHistory

// The "reportEvent" request; all strings.
namespace Event {
inline constexpr char category[] = "category";
inline constexpr char action[] = "action";
inline constexpr char name[] = "name";
inline constexpr char value[] = "value";
}  // namespace Event

namespace UserEmail {
inline constexpr char email[] = "email";
}  // namespace UserEmail

// Error dictionaries (see IPCErrors.h).
namespace Error {
inline constexpr char code[] = "code";
inline constexpr char domain[] = "domain";
}  // namespace Error

}  // namespace vozi::RemoteMessageKey
