#include "common/ZOLDebugSettingsProviderBase.h"

namespace vozi {

std::optional<platform::Value::Dictionary> ZOLDebugSettingsProviderBase::settingsForDomain(const std::string& domain) {
  const auto settings = cachedSettings();
  if (!settings) return std::nullopt;
  const auto found = settings->find(domain);
  if (found == settings->end()) return std::nullopt;
  if (const auto* dictionary = found->second.asDictionary()) return *dictionary;
  return std::nullopt;
}

std::optional<platform::Value::Dictionary> ZOLDebugSettingsProviderBase::cachedSettings() { return std::nullopt; }

}  // namespace vozi
