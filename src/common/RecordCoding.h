#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/URL.h"

// Archive forms shared by the records: unsigned sizes as number objects and
// URLs as NSURL objects.
namespace vozi::recordcoding {

// The value as a number object under the key; a size above INT64_MAX keeps
// its bits.
void encodeUInt64(platform::KeyedArchiver& archiver, std::string_view key, std::uint64_t value);
// The number object under the key, its 64 bits taken as unsigned; 0 when the
// key is missing. Anything but a whole number is refused.
std::uint64_t decodeUInt64(platform::KeyedUnarchiver& unarchiver, std::string_view key);

// The string under the key; a missing one fails the decode.
std::string decodeRequiredString(platform::KeyedUnarchiver& unarchiver, std::string_view key);

// An NSURL, or $null for none.
void encodeURL(platform::KeyedArchiver& archiver, std::string_view key, const std::optional<platform::URL>& url);
// The NSURL under the key; none when the key is missing. Text that is no
// absolute URL (a bare absolute path is taken as a file URL) is refused.
std::optional<platform::URL> decodeURL(platform::KeyedUnarchiver& unarchiver, std::string_view key);
// The same for a URL that must be a file URL when it is there.
std::optional<platform::URL> decodeFileURL(platform::KeyedUnarchiver& unarchiver, std::string_view key);
// The same for a URL that must be a file URL and must be there.
platform::URL decodeRequiredFileURL(platform::KeyedUnarchiver& unarchiver, std::string_view key);

// An array of NSURL objects, or $null for none.
void encodeURLs(platform::KeyedArchiver& archiver, std::string_view key,
                const std::optional<std::vector<platform::URL>>& urls);
std::optional<std::vector<platform::URL>> decodeURLs(platform::KeyedUnarchiver& unarchiver, std::string_view key);

}  // namespace vozi::recordcoding
