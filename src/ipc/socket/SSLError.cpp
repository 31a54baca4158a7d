#include "ipc/socket/SSLError.h"

namespace vozi {

long SSLError::code() const {
  switch (kind_) {
    case Kind::fail: return code_;
    case Kind::success: return 0;
    case Kind::retryNeeded: return -1;
  }
  return code_;
}

std::string SSLError::description() const {
  switch (kind_) {
    case Kind::fail: return text_;
    case Kind::success: return "Success";
    case Kind::retryNeeded: return "Retry operation";
  }
  return text_;
}

}  // namespace vozi
