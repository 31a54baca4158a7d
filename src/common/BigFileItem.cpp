#include "common/BigFileItem.h"

namespace vozi {

long BigFileItem::fileSizeCategory() const {
  // The bounds are those the stored results and the interface were built
  // with; they are close to, but not exactly, 1 GiB, 500 MiB and 50 MiB.
  const std::uint64_t bytes = size();
  if (bytes > 1073741824ull) return 0;
  if (bytes > 524228000ull) return 1;
  if (bytes < 52422801ull) return 3;
  return 2;
}

std::string BigFileItem::description() const {
  return TypedFileItem::description() + " FileSizeCategory " + std::to_string(fileSizeCategory()) + ".";
}

}  // namespace vozi
