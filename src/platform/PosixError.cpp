#include "platform/PosixError.h"

#include <cstring>
#include <string>

namespace vozi::platform {

Error PosixError::make(int code, std::string_view path) {
  Value::Dictionary info;
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be the buffer.
  const char* text = ::strerror_r(code, buffer, sizeof buffer);
  std::string description = text ? text : "Unknown error";
  if (!path.empty()) {
    info["NSFilePath"] = Value(std::string(path));
    description += ": " + std::string(path);
  }
  info["NSLocalizedDescription"] = Value(std::move(description));
  return Error(kDomain, code, std::move(info));
}

void PosixError::set(Error* error, int code, std::string_view path) {
  if (error) *error = make(code, path);
}

}  // namespace vozi::platform
