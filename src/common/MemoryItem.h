#pragma once

#include <cstdint>
#include <string>

#include "common/IModelItem.h"

namespace vozi {

// A reading of the memory the memory clean freed.
class MemoryItem : public IModelItem {
 public:
  static constexpr std::string_view kClassName = "MemoryItem";

  MemoryItem(std::uint64_t size, std::uint64_t installedMemorySize, std::optional<std::string> identifier,
             std::optional<std::string> name)
      : size_(size), installedMemorySize_(installedMemorySize), identifier_(std::move(identifier)), name_(std::move(name)) {}
  explicit MemoryItem(platform::KeyedUnarchiver& unarchiver);

  std::optional<std::string> identifier() const override { return identifier_; }
  std::optional<std::string> name() const override { return name_; }
  std::uint64_t size() const override { return size_; }
  std::uint64_t installedMemorySize() const { return installedMemorySize_; }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<MemoryItem>(*this); }
  std::string_view className() const override { return kClassName; }
  std::string description() const override;
  void encode(platform::KeyedArchiver& archiver) const override;

 private:
  std::uint64_t size_;
  std::uint64_t installedMemorySize_;
  std::optional<std::string> identifier_;
  std::optional<std::string> name_;
};

}  // namespace vozi
