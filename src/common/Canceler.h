#pragma once

#include <functional>

#include "common/Cancelable.h"

namespace vozi {

// The general handle: cancel() runs the block it was made with, on the
// calling thread, every time it is called. Made without a block it does
// nothing.
class Canceler : public Cancelable {
 public:
  Canceler() = default;
  explicit Canceler(std::function<void()> cancelBlock);

  void cancel() override;

 private:
  // Set once at construction and never changed, so calls from several
  // threads may read it at the same time.
  const std::function<void()> cancelBlock_;
};

}  // namespace vozi
