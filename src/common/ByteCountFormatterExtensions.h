#pragma once

#include "platform/ByteCountFormatter.h"

namespace vozi {

class ByteCountFormatterExtensions {
 public:
  // One formatter for the whole process: memory count style (units of 1024),
  // adaptive display off. Made once, never changed.
  static const platform::ByteCountFormatter& shared();
};

}  // namespace vozi
