#include "common/ByteCountFormatterExtensions.h"

namespace vozi {

const platform::ByteCountFormatter& ByteCountFormatterExtensions::shared() {
  static const platform::ByteCountFormatter formatter = [] {
    platform::ByteCountFormatter f;
    f.setCountStyle(platform::ByteCountFormatter::CountStyle::memory);
    f.setAdaptive(false);
    return f;
  }();
  return formatter;
}

}  // namespace vozi
