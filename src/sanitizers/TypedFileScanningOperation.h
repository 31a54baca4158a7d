#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/FileKinds.h"
#include "common/IFileTypedGroup.h"
#include "common/TypedFileItem.h"
#include "platform/FilePackage.h"
#include "sanitizers/FileSystemScanningOperation.h"

namespace vozi {

// The scan of a group that wants files of some kinds (music, films, photos,
// archives, documents): the generic walk, keeping a candidate only when its
// kind, told by its type identifier and extension, is among the group's
// fileItemTypes() (31: every kind; 0: none). A candidate whose type
// identifier could not be read has no kind and is left out. Each kept file
// becomes an Item (TypedFileItem or a subclass) named "fileIdentifier",
// carrying its kind, and its last-use date only under a last-use limit.
template <typename Group, typename Item = TypedFileItem>
class TypedFileScanningOperation : public FileSystemScanningOperation<Group> {
  static_assert(std::is_base_of_v<IFileTypedGroup, Group>, "the group must carry file kinds");

 public:
  // The generic scan's own items are never made here.
  using Base = FileSystemScanningOperation<Group>;
  using typename Base::Completion;
  using typename Base::GroupPtr;
  using typename Base::ProgressHandler;

  static constexpr const char* kFileIdentifier = "fileIdentifier";
  static constexpr std::uint64_t kEveryKind = 31;

  TypedFileScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                             platform::DirectoryEnumerationOptions options = Base::kDefaultOptions,
                             platform::ResourceKeys propertyKeys = platform::ResourceKeys::None)
      : Base(std::move(itemGroup), std::move(completion), std::move(progressHandler), options,
             propertyKeys | platform::ResourceKeys::TypeIdentifier) {}

 protected:
  void addFileIfNeeded(const std::string& path, const std::optional<platform::ResourceValues>& values,
                       const std::optional<platform::Date>& lastAccessDate, std::uint64_t fileSize,
                       bool shouldAddFile) override {
    const std::optional<std::string> typeIdentifier = values ? values->typeIdentifier : std::nullopt;
    const auto kind = FileKinds::fileType(typeIdentifier, platform::FilePackage::extension(path));
    if (!kind || !shouldAddFile) return;
    const std::uint64_t wanted = this->itemGroup()->fileItemTypes();
    if (wanted != kEveryKind && (wanted & static_cast<std::uint64_t>(*kind)) == 0) return;
    this->itemGroup()->addItem(std::make_shared<Item>(platform::URL::fileURLWithPath(path), fileSize, lastAccessDate,
                                                      kFileIdentifier, static_cast<std::uint64_t>(*kind)));
  }
};

}  // namespace vozi
