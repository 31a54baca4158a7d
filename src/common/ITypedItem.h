#pragma once

#include <cstdint>

namespace vozi {

// A record that knows its file kind.
class ITypedItem {
 public:
  virtual ~ITypedItem() = default;
  // Mask of file-kind bits (1 Tracks, 2 Movies, 4 Photos, 8 Archives, 16 Documents).
  virtual std::uint64_t fileType() const = 0;
};

}  // namespace vozi
