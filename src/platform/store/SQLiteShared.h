#pragma once

#include <sqlite3.h>

#include <string>

#include "platform/Error.h"
#include "platform/Value.h"

namespace vozi::platform {

// What every SQLite user of the platform writes the same way.

// A name as a quoted SQL identifier ("a""b" for a"b).
std::string sqliteQuote(const std::string& name);
// Binds a value to a statement's parameter: integers as integers, reals and
// dates (seconds since 2001) as reals, text, data (zero-length data as an
// empty blob), anything else as NULL.
// Text and data are copied, or with `inPlace` bound where they are: then the
// value must outlive the statement's next step, and the statement must be
// cleared or bound again before it goes.
enum class SQLiteBinding { copied, inPlace };
void sqliteBindValue(sqlite3_stmt* statement, int index, const Value& value,
                     SQLiteBinding binding = SQLiteBinding::copied);
// True for the codes that say a file's contents are damaged.
bool sqliteIsCorruptionCode(int code);
// The error of a failed call on the connection (none: could not open):
// ObjectStoreError sqlite, or corruptStore for damage, its description
// `what` and SQLite's message, "SQLiteCode" its extended code.
Error sqliteError(sqlite3* connection, const std::string& what);

}  // namespace vozi::platform
