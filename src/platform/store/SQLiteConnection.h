#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"
#include "platform/Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vozi::platform {

// A connection to an existing SQLite database whose contents are not ours
// to trust (another program's library): opened read-write without ever
// creating the file or following a link in its place, in defensive mode
// with the schema untrusted, so that what the file holds cannot make the
// connection write elsewhere or call functions it did not mark innocuous.
// Values always go in bound. One thread at a time.
//
//   auto db = SQLiteConnection::open(path);
//   db->begin();
//   db->execute("DELETE FROM t WHERE id IN ", ids);   // the list is added
//   db->commit();
class SQLiteConnection {
 public:
  static constexpr std::chrono::milliseconds kDefaultBusyTimeout{5000};

  // A row of a result, read by column name.
  class Row {
   public:
    std::optional<std::int64_t> integer(const std::string& column) const;
    std::optional<std::string> text(const std::string& column) const;

   private:
    friend class SQLiteConnection;
    int index(const std::string& column) const;
    sqlite3_stmt* statement_ = nullptr;
  };
  using RowHandler = std::function<void(const Row&)>;

  // ENOENT-like SQLite errors for a missing file; never creates one.
  static Result<std::unique_ptr<SQLiteConnection>> open(const std::string& path,
                                                        std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);
  ~SQLiteConnection();
  SQLiteConnection(const SQLiteConnection&) = delete;
  SQLiteConnection& operator=(const SQLiteConnection&) = delete;

  // Runs one statement with its values bound, handing every row over.
  Result<void> execute(const std::string& sql, const std::vector<Value>& values = {}, const RowHandler& rows = {});
  // Runs `sqlBeforeList` + "(?, ?, …)" + `sqlAfterList` once per slice of
  // the list that fits the connection's variable limit (an empty list: once,
  // with "(NULL)", which matches nothing), rows handed over slice by slice.
  Result<void> executeIn(const std::string& sqlBeforeList, const std::vector<Value>& list,
                         const RowHandler& rows = {}, const std::string& sqlAfterList = {});

  // BEGIN IMMEDIATE: the write lock now, or a busy error past the timeout.
  Result<void> begin();
  Result<void> commit();
  // Never fails in a way the caller could mend: a failure is only logged.
  void rollback();
  Result<void> savepoint(const std::string& name);
  Result<void> releaseSavepoint(const std::string& name);
  Result<void> rollbackToSavepoint(const std::string& name);

  // A deterministic, innocuous function of exactly `argumentCount`
  // arguments that answers the integer 0 (triggers may call it). Another
  // count under the same name adds a second function.
  Result<void> registerNoOpFunction(const std::string& name, int argumentCount);

  // The most values one statement may bind.
  int variableLimit() const;
  sqlite3* handle() const { return db_; }

 private:
  explicit SQLiteConnection(sqlite3* db) : db_(db) {}
  sqlite3* db_;
};

}  // namespace vozi::platform
