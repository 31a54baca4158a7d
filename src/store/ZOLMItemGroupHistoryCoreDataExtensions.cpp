#include "store/ZOLMItemGroupHistoryCoreDataExtensions.h"

#include "store/StoredValues.h"

namespace vozi {

ItemGroupHistoryPtr ZOLMItemGroupHistoryCoreDataExtensions::history(const MOItemGroupHistory* storedModel) {
  if (!storedModel) return nullptr;
  return std::make_shared<ZOLMItemGroupHistory>(StoredValues::runtimeSize(storedModel->lastSize()),
                                                StoredValues::runtimeSize(storedModel->totalSize()),
                                                storedModel->lastDate());
}

}  // namespace vozi
