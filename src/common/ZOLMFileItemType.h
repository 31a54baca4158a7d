#pragma once

#include <cstdint>

namespace vozi {

// The five kinds the file scans sort files into. Each kind is one bit, so a
// set of kinds travels as a plain unsigned mask (the OR of its members); the
// operations on kinds are in FileKinds.h.
enum class ZOLMFileItemType : std::uint64_t {
  tracks = 1,
  movies = 2,
  photos = 4,
  archives = 8,
  documents = 16,
};

}  // namespace vozi
