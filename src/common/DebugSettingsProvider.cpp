#include "common/DebugSettingsProvider.h"

#include <mutex>

namespace vozi {

namespace {

std::mutex& slotMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<DebugSettingsProvider>& slot() {
  static std::shared_ptr<DebugSettingsProvider> provider;
  return provider;
}

}  // namespace

std::optional<platform::Value::Dictionary> DebugSettingsProvider::settingsForDomain(const std::string&) {
  return std::nullopt;
}

std::shared_ptr<DebugSettingsProvider> DebugSettingsProvider::defaultProvider() {
  std::lock_guard lock(slotMutex());
  return slot();
}

void DebugSettingsProvider::setDefaultProvider(std::shared_ptr<DebugSettingsProvider> provider) {
  std::lock_guard lock(slotMutex());
  slot() = std::move(provider);
}

}  // namespace vozi
