#pragma once

#include "common/DebugSettingsProvider.h"

namespace vozi {

// A provider that answers from one settings dictionary (domain name to the
// domain's settings); this base has none.
class ZOLDebugSettingsProviderBase : public DebugSettingsProvider {
 public:
  // The domain's entry when it is a dictionary, else none.
  std::optional<platform::Value::Dictionary> settingsForDomain(const std::string& domain) override;

  virtual std::optional<platform::Value::Dictionary> cachedSettings();
};

}  // namespace vozi
