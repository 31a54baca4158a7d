#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "ipc/ZOLDefaultNotification.h"
#include "ipc/ZOLNotificationAction.h"

namespace vozi {

// A default notification with further buttons, set after creation (it has
// no initialiser of its own). Key after the base's: "additionalActions", an
// NSArray of ZOLNotificationAction in button order, or $null.
class ZOLAlertNotification : public ZOLDefaultNotification {
 public:
  static constexpr std::string_view kClassName = "ZOLAlertNotification";
  using Actions = std::vector<ZOLNotificationActionPtr>;

  using ZOLDefaultNotification::ZOLDefaultNotification;

  // The base's checks: null when the identifier, the title or the text is nil.
  static std::shared_ptr<ZOLAlertNotification> make(std::optional<std::string> identifier,
                                                    std::optional<std::string> title,
                                                    std::optional<std::string> inforamtiveText, std::uint64_t type);

  // Nil at creation.
  const std::optional<Actions>& additionalActions() const { return additionalActions_; }
  void setAdditionalActions(std::optional<Actions> actions) { additionalActions_ = std::move(actions); }

  void encode(platform::KeyedArchiver& archiver) const override;

 protected:
  void decodeFields(platform::KeyedUnarchiver& unarchiver) override;

 private:
  std::optional<Actions> additionalActions_;
};

}  // namespace vozi
