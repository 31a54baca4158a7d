#pragma once

#include <string>

namespace vozi::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace vozi::platform

namespace vozi {

// A usage event the interface reports; the daemon passes it on as a user
// event or a clean event.
class ZOLMEvent {
 public:
  static constexpr std::string_view kClassName = "ZOLMEvent";

  ZOLMEvent(std::string name, std::string value, std::string action, std::string category)
      : name_(std::move(name)), value_(std::move(value)), action_(std::move(action)), category_(std::move(category)) {}

  // Reads "name", "value", "action" and "category"; the decode fails when
  // one of them is missing or not a string.
  explicit ZOLMEvent(platform::KeyedUnarchiver& unarchiver);
  void encode(platform::KeyedArchiver& archiver) const;

  const std::string& name() const { return name_; }
  const std::string& value() const { return value_; }
  const std::string& action() const { return action_; }
  const std::string& category() const { return category_; }

  friend bool operator==(const ZOLMEvent&, const ZOLMEvent&) = default;

 private:
  std::string name_;
  std::string value_;
  std::string action_;
  std::string category_;
};

}  // namespace vozi
