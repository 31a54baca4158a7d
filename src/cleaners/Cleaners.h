#pragma once

#include "sanitizers/SanitizerChoice.h"

namespace vozi {

// Registers the sanitizers of the cleaning modules (duplicates, memory, the
// Trash, the shredder) with a processor's choice.
void registerCleaners(SanitizerChoice& choice);

}  // namespace vozi
