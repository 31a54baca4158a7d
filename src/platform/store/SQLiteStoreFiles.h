#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/Result.h"

namespace vozi::platform {

// The files of one SQLite store on disk: the database "<name>", its
// companions "<name>-wal", "<name>-shm" and "<name>-journal", and the mark
// "<name>-corrupt" left when SQLite reported the file damaged, which makes
// the next open run the full integrity check.
//
// A damaged store is kept as evidence, never deleted: moveAside renames the
// set to "<name>.corrupt-<UTC date>" (the database) and that name plus each
// companion's suffix, so the set still opens as one database. Only the last
// kKeptCorruptSets sets stay; older ones are removed. Everything works
// relative to the store's folder, opened without following a link; no
// rename, creation or removal follows one.
//
// The store must be closed during moveAside. Not synchronised: the
// coordinator opens and moves its store under its lock.
class SQLiteStoreFiles {
 public:
  static constexpr std::size_t kKeptCorruptSets = 3;
  static constexpr std::string_view kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};
  static constexpr std::string_view kCorruptMarkSuffix = "-corrupt";

  // Leaves (or renews) the mark, holding the reason (its first 1 KiB).
  static Result<void> markCorrupt(const std::string& storePath, std::string_view reason);
  // True when anything stands at the mark's name (a link counts too: the
  // cost of a wrong "yes" is one full check).
  static bool isMarkedCorrupt(const std::string& storePath);
  static void clearCorruptMark(const std::string& storePath);

  // Renames the set aside, dated `when` (a second number "-2", "-3", ...
  // when that name is taken), companions first so that a stop halfway never
  // leaves an old log beside a new database; then removes the mark and the
  // sets beyond the last kKeptCorruptSets. Gives the host path of the
  // database's new name.
  static Result<std::string> moveAside(const std::string& storePath, Date when);
  // The host paths of the databases of the sets moved aside, oldest first.
  static std::vector<std::string> corruptSets(const std::string& storePath);
};

}  // namespace vozi::platform
