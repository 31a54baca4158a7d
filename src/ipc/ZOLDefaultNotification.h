#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ipc/ZOLNotification.h"

namespace vozi {

// A notification shown with a title and a text, and maybe an action button.
// Keys after the base's: "title", "inforamtiveText" (spelt so, as the agent
// spells it), "actionButtonTitle"; each a string or $null.
class ZOLDefaultNotification : public ZOLNotification {
 public:
  static constexpr std::string_view kClassName = "ZOLDefaultNotification";

  // Every text nil: what the base initialiser and decoding start from.
  using ZOLNotification::ZOLNotification;
  ZOLDefaultNotification(std::string identifier, std::string title, std::string inforamtiveText, std::uint64_t type)
      : ZOLNotification(std::move(identifier), type),
        title_(std::move(title)),
        inforamtiveText_(std::move(inforamtiveText)) {}

  // Null when the identifier, the title or the text is nil;
  // actionButtonTitle starts nil.
  static std::shared_ptr<ZOLDefaultNotification> make(std::optional<std::string> identifier,
                                                      std::optional<std::string> title,
                                                      std::optional<std::string> inforamtiveText, std::uint64_t type);

  const std::optional<std::string>& title() const { return title_; }
  void setTitle(std::optional<std::string> title) { title_ = std::move(title); }
  const std::optional<std::string>& inforamtiveText() const { return inforamtiveText_; }
  void setInforamtiveText(std::optional<std::string> text) { inforamtiveText_ = std::move(text); }
  const std::optional<std::string>& actionButtonTitle() const { return actionButtonTitle_; }
  void setActionButtonTitle(std::optional<std::string> title) { actionButtonTitle_ = std::move(title); }

  void encode(platform::KeyedArchiver& archiver) const override;

 protected:
  // make() for this class or a subclass built through this initialiser.
  template <class T>
  static std::shared_ptr<T> makeAs(std::optional<std::string> identifier, std::optional<std::string> title,
                                   std::optional<std::string> inforamtiveText, std::uint64_t type) {
    if (!identifier || !title || !inforamtiveText) return nullptr;
    return std::make_shared<T>(std::move(*identifier), std::move(*title), std::move(*inforamtiveText), type);
  }

  void decodeFields(platform::KeyedUnarchiver& unarchiver) override;

 private:
  std::optional<std::string> title_;
  std::optional<std::string> inforamtiveText_;
  std::optional<std::string> actionButtonTitle_;
};

}  // namespace vozi
