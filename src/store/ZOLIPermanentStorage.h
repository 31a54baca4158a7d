#pragma once

#include <optional>

#include "common/ZOLEvent.h"

namespace vozi {

// A permanent store of the backend events not yet sent.
class ZOLIPermanentStorage {
 public:
  virtual ~ZOLIPermanentStorage() = default;
  // Keeps one event.
  virtual void store(const ZOLEvent& event) = 0;
  // Forgets every kept event equal to this one.
  virtual void remove(const ZOLEvent& event) = 0;
  // The oldest kept event, or none.
  virtual std::optional<ZOLEvent> firstEvent() = 0;
};

}  // namespace vozi
