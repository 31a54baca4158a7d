#include "kit/Varkit.h"

#include <mutex>

namespace vozi {

namespace {

std::mutex mutex;
std::vector<std::string> requested;

}  // namespace

void Varkit::with(const std::vector<std::string>& kits) {
  std::lock_guard lock(mutex);
  requested = kits;
}

std::vector<std::string> Varkit::requestedKits() {
  std::lock_guard lock(mutex);
  return requested;
}

}  // namespace vozi
