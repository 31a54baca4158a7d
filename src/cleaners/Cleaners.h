#pragma once

#include "sanitizers/SanitizerChoice.h"

namespace vozi {

// Registers the sanitizers of the cleaning modules (duplicates, memory, the
// Trash, the shredder, localisations, big files, mail attachments) with a
// processor's choice, and the file searches (registerFileSearches).
void registerCleaners(SanitizerChoice& choice);

// Makes the walking big-files search the file searcher's default mode for
// ModelFile records.
void registerFileSearches();

}  // namespace vozi
