#pragma once

#include <string>

#include "platform/Error.h"

namespace vozi::platform {

// The error domain and codes the serialization and file layers report, with
// the numbers the peers and stored files of this system already know.
struct CocoaError {
  static constexpr const char* domain = "NSCocoaErrorDomain";

  enum Code : long {
    fileReadUnknown = 256,
    fileReadNoPermission = 257,
    fileReadNoSuchFile = 260,
    fileReadTooLarge = 263,
    fileWriteUnknown = 512,
    fileWriteNoPermission = 513,
    fileWriteOutOfSpace = 640,
    propertyListReadCorrupt = 3840,
    propertyListWriteInvalid = 3851,
    coderReadCorrupt = 4864,
    coderValueNotFound = 4865,
    coderInvalidValue = 4866,
  };

  // An error of this domain whose "NSLocalizedDescription" is the text given.
  static Error make(Code code, std::string description, Value::Dictionary userInfo = {}) {
    userInfo["NSLocalizedDescription"] = Value(std::move(description));
    return Error(domain, code, std::move(userInfo));
  }

  // Property-list bytes that cannot be read, or a value that cannot be
  // written; `why` names the first fault.
  static Error propertyListCorrupt(const std::string& why) {
    return make(propertyListReadCorrupt, "The data couldn't be read because it isn't in the correct format: " + why);
  }
  static Error propertyListInvalid(const std::string& why) {
    return make(propertyListWriteInvalid, "The property list couldn't be written: " + why);
  }
};

}  // namespace vozi::platform
