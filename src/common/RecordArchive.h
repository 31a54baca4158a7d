#pragma once

#include <memory>
#include <vector>

#include "common/ItemGroup.h"
#include "platform/AllowedClasses.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Result.h"

namespace vozi {

// The records' place in keyed archives: their class names and keys, and the
// class lists a receiver decodes them against.
class RecordArchive {
 public:
  // Registers every record class under its archive name, base classes
  // first. Safe to call from any thread, any number of times; every entry
  // below calls it, and so must code that archives records by itself.
  static void registerClasses();

  // What a request's or a reply's item-group tree may hold: the groups,
  // file items and memory items of every kind, their histories, and the
  // Foundation containers, URLs, dates and data in them.
  static const platform::AllowedClasses& itemTreeClasses();

  // An archive whose root is the array of groups.
  static platform::Result<platform::Data> archivedGroups(const std::vector<ItemGroupPtr>& groups);
  // The groups of such an archive; every record in it must be of a class
  // the list allows.
  static platform::Result<std::vector<ItemGroupPtr>> unarchivedGroups(
      const platform::Data& archive, const platform::AllowedClasses& allowed = itemTreeClasses());

  // An archive whose root is one record (a group, a history, or one of the
  // exchange records: preferences, tracking data, application state,
  // event, user data).
  template <class Record>
  static platform::Result<platform::Data> archived(const std::shared_ptr<Record>& record) {
    registerClasses();
    return platform::KeyedArchiver::archivedData(record);
  }
  // The same for a record held by value.
  template <class Record>
  static platform::Result<platform::Data> archived(const Record& record) {
    return archived(std::make_shared<Record>(record));
  }

  // The root record of an archive. With a list, every record in the archive
  // must be of a class it allows; without one, the root must be a Record
  // (its own class or a subclass).
  template <class Record>
  static platform::Result<std::shared_ptr<Record>> unarchived(const platform::Data& archive,
                                                              const platform::AllowedClasses& allowed = {}) {
    registerClasses();
    if (allowed.empty()) return platform::KeyedUnarchiver::unarchivedObject<Record>(archive);
    return platform::KeyedUnarchiver::unarchivedObjectWithinClasses<Record>(archive, allowed);
  }
};

}  // namespace vozi
