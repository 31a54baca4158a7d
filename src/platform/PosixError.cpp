#include "platform/PosixError.h"

#include <cstring>
#include <string>

namespace vozi::platform {

std::string PosixError::description(int code) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be the buffer.
  const char* text = ::strerror_r(code, buffer, sizeof buffer);
  return text ? text : "Unknown error";
}

Error PosixError::make(int code, std::string_view path) {
  Value::Dictionary info;
  std::string description = PosixError::description(code);
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
