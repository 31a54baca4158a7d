#pragma once

#include <cstdint>

namespace vozi {

// A group that scans for some file kinds.
class IFileTypedGroup {
 public:
  virtual ~IFileTypedGroup() = default;
  // Mask of file-kind bits; 31 means every kind.
  virtual std::uint64_t fileItemTypes() const = 0;
  virtual void setFileItemTypes(std::uint64_t types) = 0;
};

}  // namespace vozi
