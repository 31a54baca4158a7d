#pragma once

#include <memory>

#include "common/IDebugSettingsProvider.h"

namespace vozi {

// A provider with no settings, and the process-wide slot the consumers read
// before every lookup. The slot is empty at start and nothing in the daemon
// fills it, so the built-in values hold; a build or a test that wants the
// settings file to count installs a ZOLDefaultDebugSettingsProvider.
class DebugSettingsProvider : public IDebugSettingsProvider {
 public:
  std::optional<platform::Value::Dictionary> settingsForDomain(const std::string& domain) override;

  static std::shared_ptr<DebugSettingsProvider> defaultProvider();
  static void setDefaultProvider(std::shared_ptr<DebugSettingsProvider> provider);
};

}  // namespace vozi
