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

// Lines carry what peers sent (selectors, class names): control bytes are
// shown as '?' and a line is cut at kMaxLine bytes, so no peer can forge or
// flood the log through them.
constexpr std::size_t kMaxLine = 1024;

std::string printable(const std::string& line) {
  std::string out = line.size() > kMaxLine ? line.substr(0, kMaxLine) + "..." : line;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
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
  if (hook) (*hook)(printable(line));
}

}  // namespace vozi::platform
