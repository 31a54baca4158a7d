#pragma once

#include <string>

#include "platform/Value.h"

namespace vozi::platform {

// A failure as a value: a domain, an integer code and a user-information
// dictionary, the shape every error takes on its way to a client.
struct Error {
  std::string domain;
  long code = 0;
  Value::Dictionary userInfo;

  Error() = default;
  Error(std::string domain, long code, Value::Dictionary userInfo = {})
      : domain(std::move(domain)), code(code), userInfo(std::move(userInfo)) {}

  // The "NSLocalizedDescription" entry of the user information, when present.
  std::string localizedDescription() const;

  friend bool operator==(const Error&, const Error&) = default;
};

}  // namespace vozi::platform
