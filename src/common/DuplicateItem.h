#pragma once

#include "common/ItemGroup.h"
#include "common/ModelItemOrderedSet.h"
#include "platform/Value.h"

namespace vozi {

// One set of files with equal contents. The set takes its first file
// unchecked and afterwards only files whose content hash equals the set's.
class DuplicateItem : public ItemGroup {
 public:
  static constexpr std::string_view kClassName = "DuplicateItem";

  using ItemGroup::ItemGroup;
  DuplicateItem(std::optional<std::string> name, std::uint64_t size,
                const std::shared_ptr<IZOLModelItemCollection>& items, std::optional<std::string> identifier,
                ItemGroupHistoryPtr scanningHistory, ItemGroupHistoryPtr cleaningHistory,
                std::optional<platform::Data> storedHash)
      : ItemGroup(std::move(name), size, items, std::move(identifier), std::move(scanningHistory),
                  std::move(cleaningHistory)),
        storedHash_(std::move(storedHash)) {}
  explicit DuplicateItem(platform::KeyedUnarchiver& unarchiver);

  // The content hash written as "<xxxxxxxx-xxxxxxxx-...>" (groups of four
  // bytes in lower-case hex); absent while the set has no hash.
  std::optional<std::string> identifier() const override;
  // The name of the first file, kept once read; while the set is empty, the
  // name it was made with.
  std::optional<std::string> name() const override;

  // Admits the item when the set is empty or when its content hash matches.
  void addItem(const ModelItemPtr& item) override;

  // The set's content hash: absent when it is empty; otherwise the stored
  // hash, first taken from the first file when absent.
  std::optional<platform::Data> fileDataHash() const;
  // A set of two files or more.
  bool isValid() const { return count() > 1; }

  const std::optional<platform::Data>& storedHash() const { return storedHash_; }
  void setStoredHash(std::optional<platform::Data> hash) { storedHash_ = std::move(hash); }
  const std::optional<std::string>& duplicateName() const { return duplicateName_; }
  void setDuplicateName(std::optional<std::string> name) { duplicateName_ = std::move(name); }
  const std::optional<std::string>& hashDescription() const { return hashDescription_; }
  void setHashDescription(std::optional<std::string> text) { hashDescription_ = std::move(text); }

  std::shared_ptr<IZOLModelItemMutableCollection> emptyItems() const override {
    return std::make_shared<ModelItemOrderedSet>();
  }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<DuplicateItem>(*this); }
  std::string_view className() const override { return kClassName; }
  void encode(platform::KeyedArchiver& archiver) const override;

 private:
  mutable std::optional<platform::Data> storedHash_;
  mutable std::optional<std::string> duplicateName_;
  mutable std::optional<std::string> hashDescription_;
};

}  // namespace vozi
