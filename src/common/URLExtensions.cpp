#include "common/URLExtensions.h"

#include "platform/ResourceValues.h"
#include "platform/Unicode.h"

namespace vozi {

namespace {

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
  using platform::ResourceKeys;
  const auto values = platform::ResourceValues::readInTree(path, ResourceKeys::ContentAccessDate | ResourceKeys::CreationDate);
  if (!values) return std::nullopt;
  ResourceDates dates;
  dates.contentAccessDate = values->contentAccessDate;
  dates.creationDate = values->creationDate;
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
