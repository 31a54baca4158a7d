#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/ItemGroup.h"

namespace vozi {

// Scans and cleans the UI asks for. Called on the connection's queue. A
// reply block may be empty (the caller gave none) and runs at most once;
// progress, failure and results of a scan or clean come later through
// IZOLLongOperationsClient under the operation identifier the reply gives.
class IZOLLongOperationsServer {
 public:
  using OperationReply = std::function<void(std::optional<std::string> operationID)>;

  virtual ~IZOLLongOperationsServer() = default;
  // The groups to scan; the reply gives the operation identifier.
  virtual void startScanOperation(std::vector<ItemGroupPtr> groups, OperationReply replyBlock) = 0;
  // The groups holding the items to remove.
  virtual void startCleanOperation(std::vector<ItemGroupPtr> groups, OperationReply replyBlock) = 0;
  virtual void cancelWithOperationID(std::string operationID, std::function<void(bool)> replyBlock) = 0;
  // The stored groups of those names (ItemGroupName raw values).
  virtual void requestScannedData(std::vector<std::string> groupNames,
                                  std::function<void(std::vector<ItemGroupPtr>)> replyBlock) = 0;
};

}  // namespace vozi
