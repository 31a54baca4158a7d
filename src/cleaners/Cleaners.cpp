#include "cleaners/Cleaners.h"

#include "cleaners/DuplicatesSanitizer.h"
#include "cleaners/MemorySanitizer.h"
#include "cleaners/ShredderGroupSanitizer.h"
#include "cleaners/TrashBinGroupSanitizer.h"

namespace vozi {

void registerCleaners(SanitizerChoice& choice) {
  using Row = SanitizerChoice::Row;
  choice.registerSanitizer(Row::duplicates, &DuplicatesSanitizer::make<DuplicatesSanitizer>);
  choice.registerSanitizer(Row::memory, &RAMMemorySanitizer::make<RAMMemorySanitizer>);
  choice.registerSanitizer(Row::trashBin, &TrashBinGroupSanitizer::make<TrashBinGroupSanitizer>);
  choice.registerSanitizer(Row::shredder, &ShredderGroupSanitizer::make<ShredderGroupSanitizer>);
}

}  // namespace vozi
