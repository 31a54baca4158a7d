#pragma once

#include "common/GeneralItem.h"

namespace vozi {

// A plain removable item: a URL and a size.
class GeneralItemImp : public GeneralItem {
 public:
  GeneralItemImp(platform::URL url, std::uint64_t size) : url_(std::move(url)), size_(size) {}

  const platform::URL& url() const override { return url_; }
  std::uint64_t size() const override { return size_; }
  void setSize(std::uint64_t size) { size_ = size; }

 private:
  platform::URL url_;
  std::uint64_t size_;
};

}  // namespace vozi
