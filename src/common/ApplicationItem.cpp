#include "common/ApplicationItem.h"

#include "common/MLog.h"
#include "common/RecordCoding.h"
#include "common/RecordDescription.h"
#include "common/URLExtensions.h"
#include "platform/PathComponents.h"
#include "platform/PropertyList.h"
#include "platform/ResourceValues.h"

namespace vozi {

namespace {

constexpr std::uint64_t kMaxInfoPlistSize = 8 * 1024 * 1024;

std::string bundleName(const platform::URL& url) { return url.lastPathComponentWithoutExtension(); }

// When the bundle was last used, from the dates the file system keeps.
std::optional<platform::Date> lastAccessDate(const platform::URL& url) {
  return URLExtensions::lastAccessDate(URLExtensions::resourceDates(url.path()));
}

bool isRegularFile(const std::string& path) {
  const auto values = platform::ResourceValues::readInTree(path, platform::ResourceKeys::IsRegularFile);
  return values && values->isRegularFile.value_or(false);
}

std::string resourcesFolder(const platform::URL& bundleURL) { return bundleURL.path() + "/Contents/Resources/"; }

}  // namespace

ApplicationItem::ApplicationItem(platform::URL url, std::uint64_t size,
                                 const std::shared_ptr<IZOLModelItemCollection>& leftovers,
                                 std::optional<std::string> identifier, ItemGroupHistoryPtr scanningHistory,
                                 ItemGroupHistoryPtr cleaningHistory, std::optional<platform::URL> cachedIconURL)
    : FileRepresentableGroup(bundleName(url), size, leftovers, std::move(identifier), std::move(scanningHistory),
                             std::move(cleaningHistory)),
      url_(url),
      lastOpen_(lastAccessDate(url)),
      iconURL_(std::move(cachedIconURL)) {}

ApplicationItem::ApplicationItem(std::optional<std::string> name, std::uint64_t size,
                                 const std::shared_ptr<IZOLModelItemCollection>& leftovers,
                                 ItemGroupHistoryPtr scanningHistory, ItemGroupHistoryPtr cleaningHistory,
                                 std::optional<platform::URL> url, std::optional<platform::Date> lastOpen,
                                 std::optional<platform::URL> iconURL)
    : FileRepresentableGroup(std::move(name), size, leftovers, std::nullopt, std::move(scanningHistory),
                             std::move(cleaningHistory)),
      url_(std::move(url)),
      lastOpen_(lastOpen),
      iconURL_(std::move(iconURL)) {}

ApplicationItem::ApplicationItem(platform::KeyedUnarchiver& unarchiver)
    : FileRepresentableGroup(unarchiver),
      lastOpen_(unarchiver.decodeDateForKey("lastOpen")),
      iconURL_(recordcoding::decodeFileURL(unarchiver, "iconURL")),
      // The archived name is the one this record answered, display name included.
      applicationName_(FileRepresentableGroup::name()) {
  url_ = recordcoding::decodeFileURL(unarchiver, "url");
}

void ApplicationItem::encode(platform::KeyedArchiver& archiver) const {
  FileRepresentableGroup::encode(archiver);
  archiver.encodeDate("lastOpen", lastOpen_);
  recordcoding::encodeURL(archiver, "iconURL", iconURL());
  recordcoding::encodeURL(archiver, "url", url_);
}

std::optional<std::string> ApplicationItem::identifier() const {
  if (!url_) return std::nullopt;
  return url_->encodedPath();
}

std::optional<std::string> ApplicationItem::name() const {
  if (!applicationName_ && url_) applicationName_ = bundleName(*url_);
  return applicationName_ ? applicationName_ : FileRepresentableGroup::name();
}

std::optional<std::string> ApplicationItem::path() const {
  if (!url_) return std::nullopt;
  return url_->path();
}

std::optional<platform::URL> ApplicationItem::iconURL() const {
  if (iconURL_) return iconURL_;
  if (!url_) return std::nullopt;
  return iconURL(*url_);
}

std::optional<std::string> ApplicationItem::bundleID() const {
  if (!url_) return std::nullopt;
  return bundleID(*url_);
}

std::optional<platform::Value::Dictionary> ApplicationItem::infoPlist(const platform::URL& bundleURL) {
  // Only a plain file of a sane size inside the bundle: a link could point
  // anywhere on the machine. Checked on what is opened, so that the owner
  // of the bundle cannot swap the file for a link or a pipe after a check.
  // The bundle is reached without a link on the way, and the file read
  // tolerantly, as the platform reads other programs' property lists.
  const std::string path = bundleURL.path() + "/Contents/Info.plist";
  const auto unreadable = [&](const std::string& why) {
    MLog("can not read the information property list " + path + ": " + why);
    return std::nullopt;
  };
  auto plist = platform::PropertyList::readRegularFile(path, kMaxInfoPlistSize, nullptr,
                                                       platform::PropertyList::Strictness::tolerant);
  if (!plist) return unreadable(plist.error().localizedDescription());
  if (!plist->isDictionary()) return unreadable("it is not a dictionary");
  return std::move(*plist->asDictionary());
}

std::optional<std::string> ApplicationItem::bundleID(const platform::URL& bundleURL) {
  const auto info = infoPlist(bundleURL);
  if (!info) return std::nullopt;
  const auto found = info->find("CFBundleIdentifier");
  if (found == info->end() || !found->second.asString()) return std::nullopt;
  return *found->second.asString();
}

std::optional<std::string> ApplicationItem::infoPlistPath(const platform::URL& bundleURL) {
  std::string path = resourcesFolder(bundleURL) + "info.plist";
  if (!isRegularFile(path)) return std::nullopt;
  return path;
}

std::optional<platform::URL> ApplicationItem::iconURL(const platform::URL& bundleURL) {
  const auto info = infoPlist(bundleURL);
  if (!info) return std::nullopt;
  const auto found = info->find("CFBundleIconFile");
  if (found == info->end() || !found->second.asString()) return std::nullopt;
  std::string iconName = *found->second.asString();
  for (auto at = iconName.find(".icns"); at != std::string::npos; at = iconName.find(".icns")) iconName.erase(at, 5);
  // A resource name is a plain file name inside the bundle's resources.
  if (!platform::PathComponents::isSingleComponent(iconName)) return std::nullopt;
  const std::string path = resourcesFolder(bundleURL) + iconName + ".icns";
  if (!isRegularFile(path)) return std::nullopt;
  return platform::URL::fileURLWithPath(path);
}

std::string ApplicationItem::description() const {
  return ItemGroup::description() + " URL: " + recorddescription::text(url_) + ".";
}

}  // namespace vozi
