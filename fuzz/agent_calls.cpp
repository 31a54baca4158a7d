// Feeds arbitrary frames to the decoding of calls on the per-user agent's
// service, which any local user can reach: each input is one frame's
// keyed archive, decoded against the service's own description (its class
// lists) and delivered to an object that accepts everything, as the
// listener does. Nothing may crash, leak or run without bound; a call
// either decodes whole or is refused.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "ipc/GAEventRecord.h"
#include "ipc/UserAgentClient.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/services/XPCInterface.h"

using namespace vozi;
using namespace vozi::platform;

namespace {

class Sink : public UserAgentClient {
 public:
  void setupConnection() override {}
  void sendWithEvent(GAEventRecordPtr) override {}
  void handleActionForNotification(ZOLNotificationPtr notification) override { touch(notification); }
  void handleCloseForNotification(ZOLNotificationPtr notification) override { touch(notification); }

 private:
  // Reads what a handler reads, so that a malformed record shows here.
  static void touch(const ZOLNotificationPtr& notification) {
    if (!notification) return;
    volatile std::size_t length = notification->identifier().size();
    (void)length;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const XPCInterfacePtr interface = userAgentClientInterface();
  static Sink sink;
  const Data frame(data, data + size);
  KeyedUnarchiver unarchiver(frame);
  const auto selector = unarchiver.decodeStringForKey("selector");
  const XPCMethod* method = selector ? interface->method(*selector) : nullptr;
  if (!method) return 0;
  auto delivery = method->decodeCall(unarchiver);
  vozi::fuzz::check(delivery.ok() == !unarchiver.error().has_value(), "a call decodes or is refused, never both");
  if (delivery) (*delivery)(static_cast<UserAgentClient*>(&sink), nullptr);
  return 0;
}
