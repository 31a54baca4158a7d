#pragma once

#include <string>

#include "platform/Error.h"

namespace vozi::platform {

// The errors of the object store, in the domain "VOZiObjectStoreErrorDomain".
class ObjectStoreError {
 public:
  static constexpr const char* kDomain = "VOZiObjectStoreErrorDomain";
  enum Code : long {
    sqlite = 1,         // the database reported a failure ("SQLiteCode" holds its code)
    file = 2,           // the store file or its folder could not be made or opened
    incompatibleStore,  // the file is not a store of this kind, or cannot take this model
    invalidRequest,     // unknown entity or key, a value of the wrong type
    objectNotFound,     // the object was deleted or never saved
    conflict,           // a row changed under the context
    noStore,            // the coordinator has no open store
    corruptStore,       // SQLite reports the file damaged: a check that does not say "ok", or
                        // SQLITE_CORRUPT / SQLITE_NOTADB ("SQLiteCode" holds its code, when it gave one)
  };

  static Error make(Code code, const std::string& description);
  // True for corruptStore only: busy, locked, I/O and full-disk failures
  // say nothing about the file's contents.
  static bool isCorruption(const Error& error);
  // The full text form: Error Domain=<domain> Code=<code> "<description>".
  static std::string describe(const Error& error);
};

}  // namespace vozi::platform
