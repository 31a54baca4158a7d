#pragma once

#include <string>

namespace vozi {

// What a secure-layer hook reports instead of a plain result: a failure with
// a code and a text, a request to call it again at once (success), or a
// request to call it again once the descriptor is ready (retryNeeded).
class SSLError {
 public:
  enum class Kind { fail, success, retryNeeded };

  static SSLError fail(long code, std::string text) { return SSLError(Kind::fail, code, std::move(text)); }
  static SSLError success() { return SSLError(Kind::success, 0, {}); }
  static SSLError retryNeeded() { return SSLError(Kind::retryNeeded, 0, {}); }

  Kind kind() const { return kind_; }
  // The carried code for fail, 0 for success, -1 for retryNeeded.
  long code() const;
  // The carried text for fail, "Success", "Retry operation".
  std::string description() const;

  friend bool operator==(const SSLError&, const SSLError&) = default;

 private:
  SSLError(Kind kind, long code, std::string text) : kind_(kind), code_(code), text_(std::move(text)) {}

  Kind kind_;
  long code_;
  std::string text_;
};

}  // namespace vozi
