#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/Value.h"

namespace vozi {

// Small operations on file locations (held as paths) and their dates.
class URLExtensions {
 public:
  // The dates of a file that the last-use rule reads.
  struct ResourceDates {
    std::optional<platform::Date> contentAccessDate;
    std::optional<platform::Date> addedToDirectoryDate;
    std::optional<platform::Date> creationDate;
  };

  // Search-index attribute names, the keys of lastAccessDateFromMetadata().
  static constexpr const char* kLastUsedDate = "kMDItemLastUsedDate";
  static constexpr const char* kDateAdded = "kMDItemDateAdded";
  static constexpr const char* kContentModificationDate = "kMDItemContentModificationDate";

  // True when the lower-cased path contains the lower-cased form of at least
  // one fragment, tried in order. The path is matched as it is, not in a
  // percent-escaped URL form, so "my file" matches "/a/my file.txt" and a
  // fragment like "file" cannot match through a "file://" scheme. An empty
  // fragment matches nothing; an empty list gives false.
  static bool caseInsensitiveContains(std::string_view path, const std::vector<std::string>& fragments);

  // The dates of the item at a path (not following a final symbolic link):
  // last access, and creation where the file system records it. Linux keeps
  // no date of addition to a folder. Absent when the item cannot be read.
  static std::optional<ResourceDates> resourceDates(const std::string& path);

  // Last use from resource values: the access date; else the later of the
  // added-to-folder and creation dates (equal dates give the creation date);
  // else whichever is present; else none.
  static std::optional<platform::Date> lastAccessDate(const std::optional<ResourceDates>& values);

  // Last use from the search index. There is no search index on this
  // platform, so no item has attribute values and the answer is none.
  static std::optional<platform::Date> lastAccessDateFromIndex(const std::string& path);

  // Last use from search-index attribute values: the last-used date; else the
  // later of the date added and the content-modification date (equal gives
  // the modification date); else whichever is present; else none.
  static std::optional<platform::Date> lastAccessDateFromMetadata(const platform::Value::Dictionary& attributes);
};

}  // namespace vozi
