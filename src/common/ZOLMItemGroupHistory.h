#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Date.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

// The size of a group at its last scan or clean, with the running total the
// store keeps and the date of the last update.
class ZOLMItemGroupHistory {
 public:
  static constexpr std::string_view kClassName = "ZOLMItemGroupHistory";

  ZOLMItemGroupHistory() = default;
  ZOLMItemGroupHistory(std::uint64_t size, std::uint64_t total, std::optional<platform::Date> lastDate)
      : size_(size), total_(total), lastDate_(lastDate) {}
  explicit ZOLMItemGroupHistory(platform::KeyedUnarchiver& unarchiver);
  void encode(platform::KeyedArchiver& archiver) const;

  std::uint64_t size() const { return size_; }
  std::uint64_t total() const { return total_; }
  const std::optional<platform::Date>& lastDate() const { return lastDate_; }

  // Sets the size and stamps the update with the current date; the total is
  // left to the store.
  void updateWithNewSize(std::uint64_t size);

  std::shared_ptr<ZOLMItemGroupHistory> copy() const { return std::make_shared<ZOLMItemGroupHistory>(*this); }
  std::string description() const;

 private:
  std::uint64_t size_ = 0;
  std::uint64_t total_ = 0;
  std::optional<platform::Date> lastDate_;
};

using ItemGroupHistoryPtr = std::shared_ptr<ZOLMItemGroupHistory>;

}  // namespace vozi
