#include "ipc/ZOLCustomNotification.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

namespace {
constexpr std::string_view kContentKey = "htmlFilePath";
}

std::shared_ptr<ZOLCustomNotification> ZOLCustomNotification::make(std::optional<std::string> identifier,
                                                                    std::optional<std::string> htmlStringContent,
                                                                    std::uint64_t type) {
  if (!identifier || !htmlStringContent) return nullptr;
  return std::make_shared<ZOLCustomNotification>(std::move(*identifier), std::move(*htmlStringContent), type);
}

void ZOLCustomNotification::encode(platform::KeyedArchiver& archiver) const {
  ZOLNotification::encode(archiver);
  archiver.encode(kContentKey, htmlStringContent_);
}

void ZOLCustomNotification::decodeFields(platform::KeyedUnarchiver& unarchiver) {
  ZOLNotification::decodeFields(unarchiver);
  htmlStringContent_ = unarchiver.decodeStringForKey(kContentKey);
}

}  // namespace vozi
