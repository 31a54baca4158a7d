#pragma once

#include <string>
#include <vector>

#include "common/ItemGroup.h"
#include "platform/Error.h"

namespace vozi {

// The UI hears how a scan or clean it started goes, under the operation
// identifier the start's reply gave. The C++ names join the selector's parts
// (operation:didUpdateProgressTo: is operationDidUpdateProgressTo).
class IZOLLongOperationsClient {
 public:
  virtual ~IZOLLongOperationsClient() = default;
  // `fraction` in 0...1.
  virtual void operationDidUpdateProgressTo(std::string operationID, double fraction) = 0;
  virtual void operationDidFailWithError(std::string operationID, platform::Error error) = 0;
  virtual void operationDidFinishScanningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) = 0;
  virtual void operationDidFinishCleaningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) = 0;
};

}  // namespace vozi
