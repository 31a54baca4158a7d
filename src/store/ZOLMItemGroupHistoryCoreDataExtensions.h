#pragma once

#include "common/ZOLMItemGroupHistory.h"
#include "store/MOItemGroupHistory.h"

namespace vozi {

// A history record rebuilt from its stored twin.
class ZOLMItemGroupHistoryCoreDataExtensions {
 public:
  // Null for an absent stored history; otherwise size = lastSize, total =
  // totalSize (a negative stored number reads as 0) and the stored date.
  static ItemGroupHistoryPtr history(const MOItemGroupHistory* storedModel);
};

}  // namespace vozi
