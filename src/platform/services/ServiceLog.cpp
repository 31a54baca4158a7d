#include "platform/services/ServiceLog.h"

#include <memory>
#include <mutex>

namespace vozi::platform {

namespace {

std::mutex& hookMutex() {
  static std::mutex mutex;
  return mutex;
}

// Shared, so that a line being written while the hook is replaced finishes
// with the hook it started with.
std::shared_ptr<const ServiceLog::Hook>& currentHook() {
  static std::shared_ptr<const ServiceLog::Hook> hook;
  return hook;
}

}  // namespace

void ServiceLog::setHook(Hook hook) {
  auto next = hook ? std::make_shared<const Hook>(std::move(hook)) : nullptr;
  std::lock_guard lock(hookMutex());
  currentHook() = std::move(next);
}

void ServiceLog::log(const std::string& line) {
  std::shared_ptr<const Hook> hook;
  {
    std::lock_guard lock(hookMutex());
    hook = currentHook();
  }
  if (hook) (*hook)(line);
}

}  // namespace vozi::platform
