#include "store/FileItemCoreDataExtensions.h"

#include "platform/URL.h"
#include "store/StoredValues.h"

namespace vozi {

namespace {

template <class Item>
std::shared_ptr<Item> typed(const MOTypedFileItem& storedModel) {
  const auto path = storedModel.path();
  if (!path || path->empty()) return nullptr;
  return std::make_shared<Item>(platform::URL::fileURLWithPath(*path), StoredValues::runtimeSize(storedModel.size()),
                                storedModel.lastOpenDate(), storedModel.identifier().value_or(""),
                                StoredValues::runtimeFileType(storedModel.fileType()));
}

}  // namespace

std::shared_ptr<FileItem> FileItemCoreDataExtensions::fileItem(const MOFileItem& storedModel) {
  const auto path = storedModel.path();
  if (!path || path->empty()) return nullptr;
  return std::make_shared<FileItem>(platform::URL::fileURLWithPath(*path), StoredValues::runtimeSize(storedModel.size()),
                                    storedModel.lastOpenDate(), storedModel.identifier().value_or(""));
}

std::shared_ptr<TypedFileItem> FileItemCoreDataExtensions::typedFileItem(const MOTypedFileItem& storedModel) {
  return typed<TypedFileItem>(storedModel);
}

std::shared_ptr<BigFileItem> FileItemCoreDataExtensions::bigFileItem(const MOTypedFileItem& storedModel) {
  return typed<BigFileItem>(storedModel);
}

}  // namespace vozi
