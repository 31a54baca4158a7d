#include "cleaners/Application.h"

#include "common/ApplicationItem.h"
#include "common/FileManager.h"
#include "common/MLog.h"
#include "platform/MetadataQuery.h"
#include "platform/PathComponents.h"
#include "platform/ResourceValues.h"

namespace vozi {

namespace {

bool isRegularFile(const std::string& path) {
  const auto values = platform::ResourceValues::readInTree(path, platform::ResourceKeys::IsRegularFile);
  return values && values->isRegularFile.value_or(false);
}

}  // namespace

Application::Application(const platform::URL& withPath) : path(withPath), urls{withPath} {
  const std::string bundle(platform::PathComponents::withoutTrailingSlashes(withPath.path()));
  if (const auto metadata = platform::MetadataItem::atPath(bundle)) {
    std::string display = metadata->displayName;
    if (display.ends_with(".app")) display.resize(display.size() - 4);
    name = display;
    createdAt = metadata->creationDate;
    size = metadata->fileSize.value_or(0);
    icon = getAppIcon(withPath);
    bundleId = getBundleId(withPath);
  }
  if (size == 0) size = FileManager::directorySize(bundle);
}

Application::Application(const std::string& bundlePath, std::optional<std::string> storedName,
                         std::optional<std::string> storedIcon, std::uint64_t storedSize,
                         std::optional<platform::Date> storedLastOpened, std::optional<std::int64_t> storedUseCount)
    : path(platform::URL::fileURLWithPath(bundlePath, true)),
      name(std::move(storedName)),
      icon(std::move(storedIcon)),
      lastOpened(storedLastOpened),
      size(storedSize),
      useCount(storedUseCount) {}

std::string Application::getBundleId(const platform::URL& bundle) {
  return ApplicationItem::bundleID(bundle).value_or("");
}

std::string Application::getAppIcon(const platform::URL& bundle) {
  const auto info = ApplicationItem::infoPlist(bundle);
  if (!info) return "";
  const auto found = info->find(iconParamName);
  if (found == info->end() || !found->second.asString()) return "";
  // Only a plain file name inside the bundle's resources.
  const std::string& file = *found->second.asString();
  if (!platform::PathComponents::isSingleComponent(file)) return "";
  const std::string candidate =
      std::string(platform::PathComponents::withoutTrailingSlashes(bundle.path())) + pathToAppResources + file;
  if (isRegularFile(candidate)) return candidate;
  if (isRegularFile(candidate + iconExtension)) return candidate + iconExtension;
  return "";
}

platform::Value::Dictionary Application::asDictionary() const {
  return {
      {"sectionName", platform::Value(name.value_or(""))},
      {"sectionSize", platform::Value(static_cast<unsigned long long>(size))},
      {"iconPath", platform::Value(icon.value_or(""))},
      {"timesLaunched", platform::Value(static_cast<long long>(useCount.value_or(0)))},
      {"lastLaunchTimeStamp", platform::Value((lastOpened ? *lastOpened : platform::Date::distantPast()).timeIntervalSince1970())},
  };
}

std::string Application::debugDescription() const {
  return "Name = " + (name ? "Optional(\"" + *name + "\")" : std::string("nil")) + ", Size = " + std::to_string(size) +
         ", Files = " + std::to_string(urls.size());
}

Application::Removal Application::purge(
    const std::function<std::optional<std::uint64_t>(const std::string& path)>& remove) const {
  Removal removal;
  const std::string bundle(platform::PathComponents::withoutTrailingSlashes(path.path()));
  MLogf("Remove: %@", path.absoluteString());
  const auto bundleBytes = remove(bundle);
  if (!bundleBytes) {
    MLogf("Error delete file: %@", "the bundle " + bundle + " could not be removed; its leftovers stay");
    return removal;
  }
  removal.bundleGone = true;
  removal.bytes = *bundleBytes;
  std::vector<std::string> gone{bundle};
  for (const platform::URL& url : urls) {
    const std::string leftover(platform::PathComponents::withoutTrailingSlashes(url.path()));
    bool inRemoved = false;
    for (const std::string& removed : gone) inRemoved = inRemoved || platform::PathComponents::isSameOrInside(leftover, removed);
    if (inRemoved) continue;
    MLogf("Remove: %@", url.absoluteString());
    if (const auto bytes = remove(leftover)) {
      removal.bytes += *bytes;
      gone.push_back(leftover);
    } else {
      MLogf("Error delete file: %@", leftover);
    }
  }
  return removal;
}

}  // namespace vozi
