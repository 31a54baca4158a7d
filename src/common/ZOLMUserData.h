#pragma once

#include <string>

namespace vozi::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace vozi::platform

namespace vozi {

// The user's data the interface hands over: the e-mail address.
class ZOLMUserData {
 public:
  static constexpr std::string_view kClassName = "ZOLMUserData";

  explicit ZOLMUserData(std::string userEmail) : userEmail_(std::move(userEmail)) {}

  // Reads "userEmail"; the decode fails when it is missing.
  explicit ZOLMUserData(platform::KeyedUnarchiver& unarchiver);
  void encode(platform::KeyedArchiver& archiver) const;

  const std::string& userEmail() const { return userEmail_; }

  friend bool operator==(const ZOLMUserData&, const ZOLMUserData&) = default;

 private:
  std::string userEmail_;
};

}  // namespace vozi
