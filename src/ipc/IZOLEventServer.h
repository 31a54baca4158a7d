#pragma once

#include <memory>

#include "common/ZOLMEvent.h"
#include "ipc/XPCServices.h"
#include "platform/services/XPCInterface.h"

namespace vozi {

// Usage events from the UI and from the menu-bar helper. Called on the
// connection's queue; an event is null when the peer sent nil.
class IZOLEventServer {
 public:
  virtual ~IZOLEventServer() = default;
  virtual void sendWithUserEvent(std::shared_ptr<ZOLMEvent> event) = 0;
  virtual void sendWithCleanEvent(std::shared_ptr<ZOLMEvent> event) = 0;
};

// The two event methods, as every protocol that adopts IZOLEventServer
// describes them: a ZOLMEvent and nothing else.
template <class I>
platform::XPCInterfaceBuilder<I>& describeEventServerMethods(platform::XPCInterfaceBuilder<I>& builder) {
  return builder.template method<&IZOLEventServer::sendWithUserEvent>("sendWithUserEvent:", {eventClasses()})
      .template method<&IZOLEventServer::sendWithCleanEvent>("sendWithCleanEvent:", {eventClasses()});
}

// What the menu-bar service exports: the event methods alone.
const platform::XPCInterfacePtr& eventServerInterface();

}  // namespace vozi
