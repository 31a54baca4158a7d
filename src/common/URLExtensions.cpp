#include "common/URLExtensions.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/Unicode.h"

namespace vozi {

namespace {

platform::Date dateOf(const struct statx_timestamp& t) {
  return platform::Date::fromTimeIntervalSince1970(static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9);
}

std::optional<platform::Date> dateAttribute(const platform::Value::Dictionary& attributes, const char* key) {
  const auto it = attributes.find(key);
  if (it == attributes.end()) return std::nullopt;
  return it->second.asDate();
}

}  // namespace

bool URLExtensions::caseInsensitiveContains(std::string_view path, const std::vector<std::string>& fragments) {
  if (fragments.empty()) return false;
  const std::string lowered = platform::Unicode::lowercased(path);
  for (const auto& fragment : fragments) {
    if (fragment.empty()) continue;
    if (lowered.find(platform::Unicode::lowercased(fragment)) != std::string::npos) return true;
  }
  return false;
}

std::optional<URLExtensions::ResourceDates> URLExtensions::resourceDates(const std::string& path) {
  struct statx info{};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_ATIME | STATX_BTIME, &info) != 0) return std::nullopt;
  ResourceDates dates;
  if (info.stx_mask & STATX_ATIME) dates.contentAccessDate = dateOf(info.stx_atime);
  if (info.stx_mask & STATX_BTIME) dates.creationDate = dateOf(info.stx_btime);
  return dates;
}

std::optional<platform::Date> URLExtensions::lastAccessDate(const std::optional<ResourceDates>& values) {
  if (!values) return std::nullopt;
  if (values->contentAccessDate) return values->contentAccessDate;
  const auto& added = values->addedToDirectoryDate;
  const auto& created = values->creationDate;
  if (added && created) return *added > *created ? added : created;
  return added ? added : created;
}

std::optional<platform::Date> URLExtensions::lastAccessDateFromIndex(const std::string&) {
  return lastAccessDateFromMetadata({});
}

std::optional<platform::Date> URLExtensions::lastAccessDateFromMetadata(const platform::Value::Dictionary& attributes) {
  if (auto lastUsed = dateAttribute(attributes, kLastUsedDate)) return lastUsed;
  const auto added = dateAttribute(attributes, kDateAdded);
  const auto modified = dateAttribute(attributes, kContentModificationDate);
  if (added && modified)
    return added->timeIntervalSince1970() > modified->timeIntervalSince1970() ? added : modified;
  return added ? added : modified;
}

}  // namespace vozi
