#include "common/ZOLDefaultDebugSettingsProvider.h"

#include "common/MLog.h"
#include "platform/HostRoot.h"
#include "platform/PropertyList.h"

namespace vozi {

ZOLDefaultDebugSettingsProvider::ZOLDefaultDebugSettingsProvider(std::string filePath)
    : filePath_(std::move(filePath)) {}

std::string ZOLDefaultDebugSettingsProvider::defaultFilePath() {
  return platform::HostRoot::resolve("/Library/Application Support/div.ez.iru/DebugSettings.plist");
}

std::optional<platform::Value::Dictionary> ZOLDefaultDebugSettingsProvider::cachedSettings() {
  // Once per provider, also when the first lookups come from several threads.
  std::call_once(loaded_, [this] {
    const std::string path = filePath_ ? *filePath_ : defaultFilePath();
    platform::Result<platform::Value> settings = platform::PropertyList::readFile(path);
    if (!settings) {
      MLog("can not read data from debug settings file due to error:" + settings.error().localizedDescription());
      return;
    }
    if (auto* dictionary = settings->asDictionary()) settings_ = std::move(*dictionary);
  });
  return settings_;
}

}  // namespace vozi
