// The ways a receiver decodes records from an archive, each paired with the
// way the same record is archived again. A fuzz target picks one by a byte
// of its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/IModelItem.h"
#include "common/ItemGroup.h"
#include "common/RecordArchive.h"
#include "common/ZOLMApplicationState.h"
#include "common/ZOLMEvent.h"
#include "common/ZOLMItemGroupHistory.h"
#include "common/ZOLMPreferences.h"
#include "common/ZOLMTrackingData.h"
#include "common/ZOLMUserData.h"
#include "platform/Value.h"

namespace vozi::fuzz {

// The root as one record of the class, against the given class list
// (empty: the class itself and its subclasses).
template <class Record>
struct SingleRecord {
  const platform::AllowedClasses* allowed = nullptr;

  platform::Result<std::shared_ptr<Record>> decode(const platform::Data& archive) const {
    return allowed ? RecordArchive::unarchived<Record>(archive, *allowed) : RecordArchive::unarchived<Record>(archive);
  }
  platform::Result<platform::Data> encode(const std::shared_ptr<Record>& record) const {
    return RecordArchive::archived(record);
  }
};

// The root as an array of groups, every record within the item-tree classes.
struct GroupArray {
  platform::Result<std::vector<ItemGroupPtr>> decode(const platform::Data& archive) const {
    return RecordArchive::unarchivedGroups(archive);
  }
  platform::Result<platform::Data> encode(const std::vector<ItemGroupPtr>& groups) const {
    return RecordArchive::archivedGroups(groups);
  }
};

inline constexpr std::size_t kRecordDecoderCount = 10;

// Calls visit(decoder) with decoder number `selector % kRecordDecoderCount`.
template <class Visit>
void withRecordDecoder(std::uint8_t selector, Visit&& visit) {
  const auto* tree = &RecordArchive::itemTreeClasses();
  switch (selector % kRecordDecoderCount) {
    case 0: return visit(GroupArray{});
    case 1: return visit(SingleRecord<IModelItem>{tree});
    case 2: return visit(SingleRecord<ItemGroup>{tree});
    case 3: return visit(SingleRecord<ItemGroup>{});
    case 4: return visit(SingleRecord<ZOLMItemGroupHistory>{});
    case 5: return visit(SingleRecord<ZOLMPreferences>{});
    case 6: return visit(SingleRecord<ZOLMTrackingData>{});
    case 7: return visit(SingleRecord<ZOLMApplicationState>{});
    case 8: return visit(SingleRecord<ZOLMEvent>{});
    default: return visit(SingleRecord<ZOLMUserData>{});
  }
}

}  // namespace vozi::fuzz
