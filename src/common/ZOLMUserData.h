#pragma once

#include <string>

namespace vozi {

// The user's data the interface hands over: the e-mail address.
class ZOLMUserData {
 public:
  static constexpr std::string_view kClassName = "ZOLMUserData";

  explicit ZOLMUserData(std::string userEmail) : userEmail_(std::move(userEmail)) {}

  const std::string& userEmail() const { return userEmail_; }

  friend bool operator==(const ZOLMUserData&, const ZOLMUserData&) = default;

 private:
  std::string userEmail_;
};

}  // namespace vozi
