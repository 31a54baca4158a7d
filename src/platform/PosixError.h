#pragma once

#include <string>
#include <string_view>

#include "platform/Error.h"

namespace vozi::platform {

// Errors of system calls as values: domain "NSPOSIXErrorDomain", the errno
// value as code, the failing path under "NSFilePath" and the system's text
// for the code under "NSLocalizedDescription".
class PosixError {
 public:
  static constexpr const char* kDomain = "NSPOSIXErrorDomain";

  static Error make(int code, std::string_view path = {});
  // The system's text for an errno value ("No such file or directory").
  static std::string description(int code);
  // Stores make(code, path) into *error when error is not null.
  static void set(Error* error, int code, std::string_view path = {});
};

}  // namespace vozi::platform
