#include "common/Canceler.h"

namespace vozi {

Canceler::Canceler(std::function<void()> cancelBlock) : cancelBlock_(std::move(cancelBlock)) {}

void Canceler::cancel() {
  if (cancelBlock_) cancelBlock_();
}

}  // namespace vozi
