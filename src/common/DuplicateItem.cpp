#include "common/DuplicateItem.h"

#include "common/IFileItem.h"
#include "platform/Hex.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

namespace {

std::optional<platform::Data> contentHashOf(const ModelItemPtr& item) {
  if (const auto* file = dynamic_cast<const IFileItem*>(item.get())) return file->fileDataHash();
  if (const auto* set = dynamic_cast<const DuplicateItem*>(item.get())) return set->fileDataHash();
  return std::nullopt;
}

// "<0a1b2c3d 4e5f...>" with every blank turned into "-".
std::string describeHash(const platform::Data& hash) {
  std::string text = "<";
  for (std::size_t i = 0; i < hash.size(); ++i) {
    if (i > 0 && i % 4 == 0) text.push_back('-');
    platform::Hex::appendByte(text, hash[i]);
  }
  return text + ">";
}

}  // namespace

DuplicateItem::DuplicateItem(platform::KeyedUnarchiver& unarchiver)
    : ItemGroup(unarchiver),
      storedHash_(unarchiver.decodeDataForKey("storedHash")),
      // The archived name is the one this record answered.
      duplicateName_(ItemGroup::name()) {}

void DuplicateItem::encode(platform::KeyedArchiver& archiver) const {
  ItemGroup::encode(archiver);
  archiver.encode("storedHash", storedHash_);
}

std::optional<platform::Data> DuplicateItem::fileDataHash() const {
  const ModelItemPtr first = anyItem();
  if (!first) return std::nullopt;
  if (!storedHash_) storedHash_ = contentHashOf(first);
  return storedHash_;
}

std::optional<std::string> DuplicateItem::identifier() const {
  if (!hashDescription_) {
    if (const auto hash = fileDataHash()) hashDescription_ = describeHash(*hash);
  }
  return hashDescription_;
}

std::optional<std::string> DuplicateItem::name() const {
  if (!duplicateName_) {
    if (const ModelItemPtr first = anyItem()) duplicateName_ = first->name();
  }
  // An empty set answers the name it was made with.
  return duplicateName_ ? duplicateName_ : ItemGroup::name();
}

void DuplicateItem::addItem(const ModelItemPtr& item) {
  if (!item) return;
  if (count() > 0) {
    const auto setHash = fileDataHash();
    const auto itemHash = contentHashOf(item);
    if (!setHash || !itemHash || *setHash != *itemHash) return;
  }
  ItemGroup::addItem(item);
}

}  // namespace vozi
