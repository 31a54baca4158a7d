#include "platform/store/SQLiteConnection.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/store/SQLiteShared.h"

namespace vozi::platform {

namespace {

void answerZero(sqlite3_context* context, int, sqlite3_value**) { sqlite3_result_int64(context, 0); }

}  // namespace

int SQLiteConnection::Row::index(const std::string& column) const {
  const int count = sqlite3_column_count(statement_);
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(statement_, i);
    if (name && column == name) return i;
  }
  return -1;
}

std::optional<std::int64_t> SQLiteConnection::Row::integer(const std::string& column) const {
  const int at = index(column);
  if (at < 0 || sqlite3_column_type(statement_, at) != SQLITE_INTEGER) return std::nullopt;
  return sqlite3_column_int64(statement_, at);
}

std::optional<std::string> SQLiteConnection::Row::text(const std::string& column) const {
  const int at = index(column);
  if (at < 0 || sqlite3_column_type(statement_, at) != SQLITE_TEXT) return std::nullopt;
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, at));
  return std::string(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement_, at)));
}

Result<std::unique_ptr<SQLiteConnection>> SQLiteConnection::open(const std::string& path,
                                                                 std::chrono::milliseconds busyTimeout) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    Error error = sqliteError(db, "open " + path);
    sqlite3_close_v2(db);
    return error;
  }
  std::unique_ptr<SQLiteConnection> connection(new SQLiteConnection(db));
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_busy_timeout(db, static_cast<int>(busyTimeout.count()));
  // A file that is not a database fails here, not at the first statement.
  if (auto checked = connection->execute("SELECT count(*) FROM sqlite_schema"); !checked) return checked.error();
  return connection;
}

SQLiteConnection::~SQLiteConnection() { sqlite3_close_v2(db_); }

Result<void> SQLiteConnection::execute(const std::string& sql, const std::vector<Value>& values,
                                       const RowHandler& rows) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK) {
    return sqliteError(db_, sql);
  }
  for (std::size_t i = 0; i < values.size(); ++i) sqliteBindValue(statement, static_cast<int>(i + 1), values[i]);
  Row row;
  row.statement_ = statement;
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    if (rows) rows(row);
  }
  Result<void> outcome;
  if (step != SQLITE_DONE) outcome = sqliteError(db_, sql);
  sqlite3_finalize(statement);
  return outcome;
}

Result<void> SQLiteConnection::executeIn(const std::string& sqlBeforeList, const std::vector<Value>& list,
                                         const RowHandler& rows, const std::string& sqlAfterList) {
  if (list.empty()) return execute(sqlBeforeList + "(NULL)" + sqlAfterList, {}, rows);
  const std::size_t slice = static_cast<std::size_t>(std::max(1, std::min(variableLimit(), 30000)));
  for (std::size_t start = 0; start < list.size(); start += slice) {
    const std::size_t count = std::min(slice, list.size() - start);
    std::string placeholders = "(";
    for (std::size_t i = 0; i < count; ++i) placeholders += i == 0 ? "?" : ",?";
    placeholders += ")";
    const std::vector<Value> values(list.begin() + static_cast<std::ptrdiff_t>(start),
                                    list.begin() + static_cast<std::ptrdiff_t>(start + count));
    if (auto done = execute(sqlBeforeList + placeholders + sqlAfterList, values, rows); !done) return done;
  }
  return {};
}

Result<void> SQLiteConnection::begin() { return execute("BEGIN IMMEDIATE"); }
Result<void> SQLiteConnection::commit() { return execute("COMMIT"); }
void SQLiteConnection::rollback() {
  if (sqlite3_get_autocommit(db_) == 0) (void)execute("ROLLBACK");
}
Result<void> SQLiteConnection::savepoint(const std::string& name) { return execute("SAVEPOINT " + sqliteQuote(name)); }
Result<void> SQLiteConnection::releaseSavepoint(const std::string& name) {
  return execute("RELEASE SAVEPOINT " + sqliteQuote(name));
}
Result<void> SQLiteConnection::rollbackToSavepoint(const std::string& name) {
  return execute("ROLLBACK TO SAVEPOINT " + sqliteQuote(name));
}

Result<void> SQLiteConnection::registerNoOpFunction(const std::string& name, int argumentCount) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  if (sqlite3_create_function_v2(db_, name.c_str(), argumentCount, flags, nullptr, &answerZero, nullptr, nullptr,
                                 nullptr) != SQLITE_OK) {
    return sqliteError(db_, "function " + name);
  }
  return {};
}

int SQLiteConnection::variableLimit() const { return sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, -1); }

}  // namespace vozi::platform
