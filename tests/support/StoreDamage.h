#pragma once

#include <sqlite3.h>

#include <fstream>
#include <string>

namespace vozi::test {

// The answer of plain SQL on a store file (created when missing): the first
// column of each row, joined by "\n", or "error: <message>".
inline std::string plainSQL(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string out;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "error: cannot open " + path;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    out = "error: " + std::string(sqlite3_errmsg(db));
  } else {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      out += (out.empty() ? "" : "\n") + std::string(text ? text : "");
    }
    if (rc != SQLITE_DONE) out = "error: " + std::string(sqlite3_errmsg(db));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return out;
}

// Writes 64 garbage bytes over the start of a table's root page (found with
// plain SQL and the page size) of a closed store file, the way a failing disk
// or a stray write would. True when SQLite's own full check then says the
// file is damaged.
inline bool damageTablePage(const std::string& path, const std::string& table) {
  const std::string pageSize = plainSQL(path, "PRAGMA page_size");
  const std::string rootPage = plainSQL(path, "SELECT rootpage FROM sqlite_master WHERE type='table' AND name COLLATE NOCASE = '" +
                                                  table + "'");
  if (pageSize.empty() || rootPage.empty() || pageSize.starts_with("error") || rootPage.starts_with("error"))
    return false;
  const long long offset = (std::stoll(rootPage) - 1) * std::stoll(pageSize);
  if (offset <= 0) return false;
  {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(offset);
    const std::string garbage(64, '\xA5');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    if (!file) return false;
  }
  return plainSQL(path, "PRAGMA integrity_check") != "ok";
}

}  // namespace vozi::test
