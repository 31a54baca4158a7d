#pragma once

#include <mutex>
#include <string>

#include "common/ZOLDebugSettingsProviderBase.h"

namespace vozi {

// Reads "DebugSettings.plist" in the product folder, once, at the first
// lookup; the result (none when the file cannot be read) holds for the life
// of the provider, so later edits are seen only after a restart.
class ZOLDefaultDebugSettingsProvider : public ZOLDebugSettingsProviderBase {
 public:
  // The file in the product folder under the host root, resolved at the first lookup.
  ZOLDefaultDebugSettingsProvider() = default;
  // Another file (a host path).
  explicit ZOLDefaultDebugSettingsProvider(std::string filePath);

  std::optional<platform::Value::Dictionary> cachedSettings() override;

  // "/Library/Application Support/div.ez.iru/DebugSettings.plist" under the host root.
  static std::string defaultFilePath();

 private:
  std::optional<std::string> filePath_;
  std::once_flag loaded_;
  std::optional<platform::Value::Dictionary> settings_;
};

}  // namespace vozi
