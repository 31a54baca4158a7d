#include "platform/store/SQLiteShared.h"

#include "platform/store/ObjectStoreError.h"

namespace vozi::platform {

std::string sqliteQuote(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

void sqliteBindValue(sqlite3_stmt* stmt, int index, const Value& value, SQLiteBinding binding) {
  const auto destructor = binding == SQLiteBinding::inPlace ? SQLITE_STATIC : SQLITE_TRANSIENT;
  if (value.isNull()) {
    sqlite3_bind_null(stmt, index);
  } else if (value.isBool()) {
    sqlite3_bind_int64(stmt, index, *value.asBool() ? 1 : 0);
  } else if (value.isUnsigned() && !value.asInt64()) {
    sqlite3_bind_double(stmt, index, *value.asDouble());
  } else if (value.isInteger()) {
    sqlite3_bind_int64(stmt, index, *value.asInt64());
  } else if (value.isReal()) {
    sqlite3_bind_double(stmt, index, *value.asDouble());
  } else if (value.isDate()) {
    sqlite3_bind_double(stmt, index, value.asDate()->timeIntervalSinceReferenceDate());
  } else if (const auto* s = value.asString()) {
    sqlite3_bind_text64(stmt, index, s->data(), s->size(), destructor, SQLITE_UTF8);
  } else if (const auto* d = value.asData()) {
    if (d->empty())
      sqlite3_bind_zeroblob(stmt, index, 0);
    else
      sqlite3_bind_blob64(stmt, index, d->data(), d->size(), destructor);
  } else {
    sqlite3_bind_null(stmt, index);
  }
}

bool sqliteIsCorruptionCode(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

Error sqliteError(sqlite3* connection, const std::string& what) {
  const int code = connection ? sqlite3_extended_errcode(connection) : SQLITE_CANTOPEN;
  const char* message = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(code);
  Error error = ObjectStoreError::make(
      sqliteIsCorruptionCode(code) ? ObjectStoreError::corruptStore : ObjectStoreError::sqlite, what + ": " + message);
  error.userInfo["SQLiteCode"] = Value(code);
  return error;
}

}  // namespace vozi::platform
