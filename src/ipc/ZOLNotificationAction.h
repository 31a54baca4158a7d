#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vozi::platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace vozi::platform

namespace vozi {

// One further button of an alert notification. Keys "identifier" and
// "title", strings, stored and read without checks (either may be nil).
// Read-only after creation, so it may be shared between threads.
class ZOLNotificationAction {
 public:
  static constexpr std::string_view kClassName = "ZOLNotificationAction";

  ZOLNotificationAction(std::optional<std::string> identifier, std::optional<std::string> title)
      : identifier_(std::move(identifier)), title_(std::move(title)) {}
  explicit ZOLNotificationAction(platform::KeyedUnarchiver& unarchiver);
  virtual ~ZOLNotificationAction() = default;

  const std::optional<std::string>& identifier() const { return identifier_; }
  const std::optional<std::string>& title() const { return title_; }

  virtual void encode(platform::KeyedArchiver& archiver) const;

 private:
  std::optional<std::string> identifier_;
  std::optional<std::string> title_;
};

using ZOLNotificationActionPtr = std::shared_ptr<ZOLNotificationAction>;

}  // namespace vozi
