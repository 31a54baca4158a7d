#pragma once

// A scan result of `count` file items, the shape of a large caches scan:
// shared by the benchmarks that archive or send one.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/FileItem.h"
#include "common/ItemGroup.h"
#include "common/ModelItemArray.h"

namespace vozi::bench {

inline ItemGroupPtr makeScanResult(std::size_t count) {
  auto group = ItemGroup::group(ItemGroupName::userCache);
  auto items = std::make_shared<ModelItemArray>();
  items->reserve(count);
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string path = "/Users/bob/Library/Caches/com.example.app" + std::to_string(i % 97) + "/Cache Data/f_" +
                             std::to_string(i) + ".cache";
    const std::uint64_t size = 4096 + i * 17;
    total += size;
    items->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), size,
                                              platform::Date(700000000.0 + static_cast<double>(i))));
  }
  group->setItems(items);
  group->setSize(total);
  group->updateScanningHistory();
  return group;
}

}  // namespace vozi::bench
