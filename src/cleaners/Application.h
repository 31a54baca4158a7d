#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Date.h"
#include "platform/URL.h"
#include "platform/Value.h"

namespace vozi {

// One installed application bundle as the older applications sanitizer
// sees it: the bundle, what its metadata tell (on this platform the
// bundle's own facts: its name without ".app", its creation date), its
// icon, its identifier, and everything that goes with it on an uninstall
// (the bundle first, then the leftovers found).
class Application {
 public:
  static constexpr const char* pathToInfoPlist = "/Contents/Info.plist";
  static constexpr const char* cfBundleIdentifier = "CFBundleIdentifier";
  static constexpr const char* iconParamName = "CFBundleIconFile";
  static constexpr const char* pathToAppResources = "/Contents/Resources/";
  static constexpr const char* iconExtension = ".icns";

  // From the bundle on disk.
  explicit Application(const platform::URL& withPath);
  // From stored values; only the bundle is listed.
  Application(const std::string& path, std::optional<std::string> name, std::optional<std::string> icon,
              std::uint64_t size, std::optional<platform::Date> lastOpened, std::optional<std::int64_t> useCount);

  platform::URL path;
  std::vector<platform::URL> urls;
  std::optional<std::string> name;
  std::optional<std::string> icon;
  std::optional<platform::Date> createdAt;
  std::optional<platform::Date> lastOpened;
  std::uint64_t size = 0;
  std::optional<std::int64_t> useCount;
  std::optional<std::string> version;
  std::string bundleId;

  // "sectionName", "sectionSize", "iconPath", "timesLaunched",
  // "lastLaunchTimeStamp" (the distant past when never opened).
  platform::Value::Dictionary asDictionary() const;
  // "Name = Optional(\"Tool\"), Size = 10, Files = 1" ("nil" without a name).
  std::string debugDescription() const;

  // What an uninstall did: whether the bundle is gone, and the bytes of
  // what went (a leftover inside one already removed went with it).
  struct Removal {
    bool bundleGone = false;
    std::uint64_t bytes = 0;
  };
  // Removes the bundle and, only once it is gone, the leftovers, each
  // through `remove` (which answers the bytes removed, or none on failure).
  Removal purge(const std::function<std::optional<std::uint64_t>(const std::string& path)>& remove) const;

  // One application per bundle path.
  bool operator==(const Application& other) const { return path.path() == other.path.path(); }

 private:
  static std::string getBundleId(const platform::URL& bundle);
  static std::string getAppIcon(const platform::URL& bundle);
};

}  // namespace vozi
