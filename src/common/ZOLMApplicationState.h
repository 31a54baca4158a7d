#pragma once

#include <optional>
#include <string>

#include "common/ZOLMIApplicationState.h"

namespace vozi::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace vozi::platform

namespace vozi {

// The application state the interface and the daemon exchange: the user
// identifier of this installation.
class ZOLMApplicationState : public ZOLMIApplicationState {
 public:
  static constexpr std::string_view kClassName = "ZOLMApplicationState";

  ZOLMApplicationState() = default;
  explicit ZOLMApplicationState(std::optional<std::string> userID) : userID_(std::move(userID)) {}
  // Takes the user identifier from "userID" (a string); anything else gives none.
  explicit ZOLMApplicationState(const platform::Value::Dictionary& plistRepresentation);

  // Reads "userID" (none when missing).
  explicit ZOLMApplicationState(platform::KeyedUnarchiver& unarchiver);
  void encode(platform::KeyedArchiver& archiver) const;

  const std::optional<std::string>& userID() const override { return userID_; }
  void setUserID(std::optional<std::string> userID) { userID_ = std::move(userID); }
  // A new user identifier replaces the current one; none keeps it.
  void update(const std::optional<std::string>& userID) {
    if (userID) userID_ = userID;
  }

  // {"userID": identifier}, or an empty dictionary without one.
  platform::Value::Dictionary plistRepresentation() const override;
  platform::Value::Dictionary dictionaryRepresentation() const { return plistRepresentation(); }

  friend bool operator==(const ZOLMApplicationState& a, const ZOLMApplicationState& b) {
    return a.userID_ == b.userID_;
  }

 private:
  std::optional<std::string> userID_;
};

}  // namespace vozi
