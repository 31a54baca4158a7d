#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/ItemGroup.h"
#include "platform/Operation.h"

namespace vozi {

// The end of one group's operation: the group (null when the operation was
// cancelled while running) and whether it was cancelled.
using SanitizerCompletion = std::function<void(const ItemGroupPtr& group, bool cancelled)>;
// Work done since the operation's last report, and its total work.
using SanitizerProgressHandler = std::function<void(std::uint64_t progress, std::uint64_t duration)>;

// One group's sanitizer, as the sanitizing processor sees it: it builds the
// group's scan or clean operation and puts it on its operation queue.
//
// The returned operation is already queued; its name is unique to it. The
// completion runs once, on the operation's thread, before the operation
// counts as finished; the progress handler gets (0, total) once the total is
// known, then the increments. Null: the sanitizer has no operation of that
// kind for its group.
class ISanitizer {
 public:
  virtual ~ISanitizer() = default;

  virtual platform::OperationPtr scan(SanitizerCompletion completion, SanitizerProgressHandler progressHandler) = 0;
  virtual platform::OperationPtr clean(SanitizerCompletion completion, SanitizerProgressHandler progressHandler) = 0;
  // The folders (host paths) the group's scan walks, worked out as the scan
  // would without running it: what a clean of the group may delete lies
  // below them. None for a scan that walks no folders.
  virtual std::vector<std::string> scanRoots() { return {}; }
};

}  // namespace vozi
