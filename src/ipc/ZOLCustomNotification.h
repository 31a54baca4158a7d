#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ipc/ZOLNotification.h"

namespace vozi {

// A notification whose body is HTML. Key after the base's: "htmlFilePath",
// which holds the HTML content itself (the agent reads it under that name),
// a string or $null.
class ZOLCustomNotification : public ZOLNotification {
 public:
  static constexpr std::string_view kClassName = "ZOLCustomNotification";

  // Content nil: what the base initialiser and decoding start from.
  using ZOLNotification::ZOLNotification;
  ZOLCustomNotification(std::string identifier, std::string htmlStringContent, std::uint64_t type)
      : ZOLNotification(std::move(identifier), type), htmlStringContent_(std::move(htmlStringContent)) {}

  // Null when the identifier or the content is nil.
  static std::shared_ptr<ZOLCustomNotification> make(std::optional<std::string> identifier,
                                                     std::optional<std::string> htmlStringContent,
                                                     std::uint64_t type);

  const std::optional<std::string>& htmlStringContent() const { return htmlStringContent_; }
  void setHtmlStringContent(std::optional<std::string> content) { htmlStringContent_ = std::move(content); }

  void encode(platform::KeyedArchiver& archiver) const override;

 protected:
  void decodeFields(platform::KeyedUnarchiver& unarchiver) override;

 private:
  std::optional<std::string> htmlStringContent_;
};

}  // namespace vozi
