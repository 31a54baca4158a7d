#include "platform/services/XPCInterface.h"

#include <array>

namespace vozi::platform {

namespace xpc {

std::string_view argumentKey(std::size_t index) {
  static const auto kKeys = [] {
    std::array<std::string, 16> keys;
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = "a" + std::to_string(i);
    return keys;
  }();
  static thread_local std::string other;
  if (index < kKeys.size()) return kKeys[index];
  other = "a" + std::to_string(index);
  return other;
}

}  // namespace xpc

const XPCMethod* XPCInterface::method(std::string_view selector) const {
  const auto it = methods_.find(selector);
  return it == methods_.end() ? nullptr : &it->second;
}

const XPCMethod* XPCInterface::methodWithTag(const void* tag) const {
  for (const auto& [selector, entry] : methods_)
    if (entry.tag == tag) return &entry;
  return nullptr;
}

}  // namespace vozi::platform
