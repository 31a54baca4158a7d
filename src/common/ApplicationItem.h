#pragma once

#include <optional>
#include <string>

#include "common/FileRepresentableGroup.h"
#include "platform/URL.h"
#include "platform/Value.h"

namespace vozi {

// An installed application bundle; its items are the leftover files and
// folders found for it.
class ApplicationItem : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "ApplicationItem";

  // Named after the bundle's file name without its extension; `lastOpen` is
  // read from the bundle on disk.
  ApplicationItem(platform::URL url, std::uint64_t size, const std::shared_ptr<IZOLModelItemCollection>& leftovers,
                  std::optional<std::string> identifier, ItemGroupHistoryPtr scanningHistory,
                  ItemGroupHistoryPtr cleaningHistory, std::optional<platform::URL> cachedIconURL);
  // Every field as given, nothing read from disk (a record read back from an
  // archive). A record without a URL has no name, path or identifier.
  ApplicationItem(std::optional<std::string> name, std::uint64_t size,
                  const std::shared_ptr<IZOLModelItemCollection>& leftovers, ItemGroupHistoryPtr scanningHistory,
                  ItemGroupHistoryPtr cleaningHistory, std::optional<platform::URL> url,
                  std::optional<platform::Date> lastOpen, std::optional<platform::URL> iconURL);
  explicit ApplicationItem(platform::KeyedUnarchiver& unarchiver);

  // The bundle URL's path, percent-encoded as a URL path.
  std::optional<std::string> identifier() const override;
  // The application's name: the bundle's file name without its extension
  // unless set otherwise.
  std::optional<std::string> name() const override;
  void setApplicationName(std::optional<std::string> name) { applicationName_ = std::move(name); }

  const std::optional<platform::URL>& url() const { return url_; }
  std::optional<std::string> path() const;
  const std::optional<platform::Date>& lastOpen() const { return lastOpen_; }
  // The icon URL given at creation, else the one found in the bundle (looked
  // up on each call).
  std::optional<platform::URL> iconURL() const;
  std::optional<std::string> bundleID() const;

  // The bundle's information property list ("Contents/Info.plist"), read
  // tolerantly. Absent, with a log line, when it is missing, not a plain
  // file, too large, malformed or not a dictionary: the application then
  // has no identifier or icon from its bundle.
  static std::optional<platform::Value::Dictionary> infoPlist(const platform::URL& bundleURL);
  // Its "CFBundleIdentifier".
  static std::optional<std::string> bundleID(const platform::URL& bundleURL);
  // The path of the bundle's resource "info.plist", when it exists.
  static std::optional<std::string> infoPlistPath(const platform::URL& bundleURL);
  // The bundle's icon resource named by "CFBundleIconFile" (".icns" added).
  static std::optional<platform::URL> iconURL(const platform::URL& bundleURL);

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<ApplicationItem>(*this); }
  std::string_view className() const override { return kClassName; }
  std::string description() const override;
  // The icon URL is written as iconURL() answers it.
  void encode(platform::KeyedArchiver& archiver) const override;

 private:
  std::optional<platform::URL> url_;
  std::optional<platform::Date> lastOpen_;
  std::optional<platform::URL> iconURL_;
  mutable std::optional<std::string> applicationName_;
};

}  // namespace vozi
