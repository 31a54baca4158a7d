#pragma once

namespace vozi {

// A handle to work that can be stopped: a scheduled action, a running request
// or a clean. Cancelling work that has already finished does nothing harmful.
class Cancelable {
 public:
  virtual ~Cancelable() = default;
  virtual void cancel() = 0;
};

}  // namespace vozi
