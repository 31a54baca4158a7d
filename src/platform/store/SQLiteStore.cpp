#include "platform/store/SQLiteStore.h"

#include "platform/store/SQLiteShared.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <tuple>

#include "platform/CheckedOpen.h"
#include "platform/Hex.h"
#include "platform/PosixError.h"
#include "platform/store/ObjectStoreError.h"
#include "platform/store/SQLiteStoreFiles.h"

namespace vozi::platform {

namespace {

constexpr std::int64_t kFormat = 1;
constexpr std::size_t kStatementCacheLimit = 256;
// Rows of a check's report kept for the error text.
constexpr int kCheckReportRows = 8;

std::string quote(const std::string& name) { return sqliteQuote(name); }

std::string literal(const Value& value) {
  if (value.isNull()) return "NULL";
  if (value.isBool()) return *value.asBool() ? "1" : "0";
  if (value.isInteger()) return std::to_string(*value.asInt64());
  if (value.isReal() || value.isDate()) {
    const double d = value.isDate() ? value.asDate()->timeIntervalSinceReferenceDate() : *value.asDouble();
    if (!std::isfinite(d)) return "NULL";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17e", d);
    return buffer;
  }
  if (const auto* s = value.asString()) {
    std::string out = "'";
    for (char c : *s) {
      if (c == '\'') out += '\'';
      out += c;
    }
    return out + "'";
  }
  if (const auto* d = value.asData()) {
    return "X'" + Hex::encode(*d, Hex::Case::upper) + "'";
  }
  return "NULL";
}

void bindValue(sqlite3_stmt* stmt, int index, const Value& value) { sqliteBindValue(stmt, index, value); }

Value readAttribute(sqlite3_stmt* stmt, int column, const AttributeDescription& attribute) {
  const int type = sqlite3_column_type(stmt, column);
  const bool numeric = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
  Value absent = attribute.isScalar() ? attribute.defaultValue() : Value();
  if (type == SQLITE_NULL) return absent;
  switch (attribute.type()) {
    case AttributeType::string: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
      return std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
    }
    case AttributeType::data: {
      const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
      return Data(bytes, bytes + size);
    }
    case AttributeType::date:
      return numeric ? Value(Date(sqlite3_column_double(stmt, column))) : absent;
    case AttributeType::boolean:
      if (type == SQLITE_INTEGER) return sqlite3_column_int64(stmt, column) != 0;
      if (type == SQLITE_FLOAT) return sqlite3_column_double(stmt, column) != 0;
      return absent;
    case AttributeType::real:
      return numeric ? Value(sqlite3_column_double(stmt, column)) : absent;
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64:
      if (type == SQLITE_INTEGER) return sqlite3_column_int64(stmt, column);
      if (type == SQLITE_FLOAT) {
        const double d = sqlite3_column_double(stmt, column);
        if (d >= -9.2233720368547758e18 && d < 9.2233720368547758e18) return static_cast<std::int64_t>(d);
      }
      return absent;
  }
  return absent;
}

// Creates the file with mode 0600 (or tightens an existing one) without
// following a symbolic link; the journal companions are held to the same.
bool prepareFile(const std::string& path, Error* error) {
  auto fail = [&](const std::string& what, const Error& why) {
    if (error)
      *error = ObjectStoreError::make(ObjectStoreError::file,
                                      what + " " + path + ": " + PosixError::description(static_cast<int>(why.code)));
    return false;
  };
  const CheckedOpen::Expect storeFile{.access = CheckedOpen::Access::readWrite};
  if (auto file = CheckedOpen::existingOrCreated(path, 0600, storeFile); !file) {
    const auto code = file.error().code;
    if (code == EISDIR || code == EINVAL) return fail("store file is not a regular file:", file.error());
    return fail("cannot open store file", file.error());
  }
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    const std::string companion = path + suffix;
    auto file = CheckedOpen::existing(companion, {});
    if (!file) {
      const auto code = file.error().code;
      if (code == ENOENT) continue;
      if (code == EISDIR || code == EINVAL || code == ELOOP)
        return fail(std::string("store companion ") + suffix + " is not a regular file, beside", file.error());
      return fail("cannot open store companion of", file.error());
    }
    if (auto moded = file->setMode(0600); !moded) return fail("cannot set the mode of the companions of", moded.error());
  }
  return true;
}

}  // namespace

class SQLiteStore::Statement {
 public:
  Statement(SQLiteStore& store, const std::string& sql, Error* error) : stmt_(store.statement(sql, error)) {}
  ~Statement() {
    if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  void bind(int index, const Value& value) { bindValue(stmt_, index, value); }
  void bind(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
  void reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3_stmt* stmt_;
};

SQLiteStore::SQLiteStore(std::string path, std::shared_ptr<const ManagedObjectModel> model)
    : path_(std::move(path)), model_(std::move(model)) {}

SQLiteStore::~SQLiteStore() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  if (db_) sqlite3_close_v2(db_);
}

std::unique_ptr<SQLiteStore> SQLiteStore::open(const std::string& path, std::shared_ptr<const ManagedObjectModel> model,
                                               Error* error) {
  if (!prepareFile(path, error)) return nullptr;
  std::unique_ptr<SQLiteStore> store(new SQLiteStore(path, std::move(model)));
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
  if (sqlite3_open_v2(path.c_str(), &store->db_, flags, nullptr) != SQLITE_OK) {
    if (error) *error = store->sqliteError("cannot open store " + path);
    return nullptr;
  }
  sqlite3_extended_result_codes(store->db_, 1);
  sqlite3_busy_timeout(store->db_, 10000);
  // Write-ahead logging: a commit is atomic and a killed process leaves the
  // last committed state; FULL syncs the log at every commit. The log is
  // cut back after a checkpoint so that one large save does not leave it at
  // that size for good.
  if (!store->exec("PRAGMA journal_mode=WAL", error) || !store->exec("PRAGMA synchronous=FULL", error) ||
      !store->exec("PRAGMA journal_size_limit=4194304", error) || !store->checkIntegrity(error) ||
      !store->prepareSchema(error))
    return nullptr;
  return store;
}

bool SQLiteStore::checkIntegrity(Error* error) {
  // The quick check reads every page and tells a damaged b-tree or record
  // apart; after SQLite reported damage while running, the full check also
  // holds every index against its table.
  const bool marked = SQLiteStoreFiles::isMarkedCorrupt(path_);
  const std::string pragma = std::string(marked ? "integrity_check" : "quick_check") + "(" +
                             std::to_string(kCheckReportRows) + ")";
  std::vector<std::string> report;
  {
    Statement s(*this, "PRAGMA " + pragma, error);
    if (!s) return false;
    for (;;) {
      const int rc = sqlite3_step(s.get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) {
        if (error) *error = sqliteError("cannot run PRAGMA " + pragma);
        return false;
      }
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
      report.emplace_back(text ? text : "");
    }
  }
  if (report.size() == 1 && report.front() == "ok") {
    if (marked) SQLiteStoreFiles::clearCorruptMark(path_);
    return true;
  }
  std::string text = "PRAGMA " + pragma + " of " + path_ + " says:";
  for (const auto& line : report) text += " " + line + ";";
  noteDamage(text);
  if (error) *error = ObjectStoreError::make(ObjectStoreError::corruptStore, text);
  return false;
}

Error SQLiteStore::sqliteError(const std::string& what) const {
  Error e = platform::sqliteError(db_, what);
  if (e.code == ObjectStoreError::corruptStore) noteDamage(e.localizedDescription());
  return e;
}

void SQLiteStore::noteDamage(const std::string& reason) const {
  // The next open checks in full and moves the file aside if the check
  // agrees. Until then the file and its log stay as they are: closing must
  // not fold the log into a damaged file, nor delete the log.
  (void)SQLiteStoreFiles::markCorrupt(path_, reason);
  if (db_) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

bool SQLiteStore::exec(const std::string& sql, Error* error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  sqlite3_free(message);
  if (error) *error = sqliteError("cannot run " + sql);
  return false;
}

sqlite3_stmt* SQLiteStore::statement(const std::string& sql, Error* error) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  if (statements_.size() >= kStatementCacheLimit) {
    for (auto& [text, stmt] : statements_) sqlite3_finalize(stmt);
    statements_.clear();
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                         nullptr) != SQLITE_OK) {
    if (error) *error = sqliteError("cannot prepare " + sql);
    return nullptr;
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

bool SQLiteStore::prepareSchema(Error* error) {
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  auto rollback = [&] {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  };
  auto incompatible = [&](const std::string& text) {
    if (error) *error = ObjectStoreError::make(ObjectStoreError::incompatibleStore, text);
    return rollback();
  };
  // A database with tables but without our metadata belongs to something else.
  bool hasMetadata = false, hasTables = false;
  {
    Statement s(*this, "SELECT name FROM sqlite_master WHERE type='table'", error);
    if (!s) return rollback();
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
      hasTables = true;
      if (std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)), "Z_METADATA") == 0)
        hasMetadata = true;
    }
  }
  if (hasTables && !hasMetadata) return incompatible(path_ + " is not an object store");
  if (!exec("CREATE TABLE IF NOT EXISTS Z_METADATA (Z_KEY TEXT PRIMARY KEY, Z_VALUE)", error) ||
      !exec("CREATE TABLE IF NOT EXISTS Z_ENTITIES (Z_ENT INTEGER PRIMARY KEY, Z_NAME TEXT NOT NULL UNIQUE, "
            "Z_ROOT TEXT NOT NULL, Z_MAX INTEGER NOT NULL DEFAULT 0)",
            error))
    return rollback();
  {
    Statement s(*this, "SELECT Z_VALUE FROM Z_METADATA WHERE Z_KEY='format'", error);
    if (!s) return rollback();
    if (sqlite3_step(s.get()) == SQLITE_ROW) {
      if (sqlite3_column_int64(s.get(), 0) != kFormat) return incompatible(path_ + " has an unknown store format");
    } else {
      s.reset();
      if (!exec("INSERT INTO Z_METADATA (Z_KEY, Z_VALUE) VALUES ('format', " + std::to_string(kFormat) + ")", error))
        return rollback();
    }
  }
  // Entity numbers: kept for known entities, given to new ones.
  std::unordered_map<std::string, std::pair<std::int64_t, std::string>> known;
  std::int64_t highest = 0;
  {
    Statement s(*this, "SELECT Z_ENT, Z_NAME, Z_ROOT FROM Z_ENTITIES", error);
    if (!s) return rollback();
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
      const std::int64_t id = sqlite3_column_int64(s.get(), 0);
      known[reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1))] = {
          id, reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 2))};
      highest = std::max(highest, id);
    }
  }
  for (const EntityDescription* entity : model_->entities()) {
    auto it = known.find(entity->name());
    std::int64_t id;
    if (it != known.end()) {
      if (it->second.second != entity->root().name())
        return incompatible("entity " + entity->name() + " moved from the tree of " + it->second.second + " to that of " +
                            entity->root().name());
      id = it->second.first;
    } else {
      id = ++highest;
      Statement s(*this, "INSERT INTO Z_ENTITIES (Z_ENT, Z_NAME, Z_ROOT, Z_MAX) VALUES (?, ?, ?, 0)", error);
      if (!s) return rollback();
      s.bind(1, id);
      s.bind(2, Value(entity->name()));
      s.bind(3, Value(entity->root().name()));
      if (sqlite3_step(s.get()) != SQLITE_DONE) {
        if (error) *error = sqliteError("cannot record entity " + entity->name());
        return rollback();
      }
    }
    entityIds_[entity] = id;
    entitiesById_[id] = entity;
  }
  // Tables: created, or extended by the columns the model added.
  for (const EntityDescription* entity : model_->entities()) {
    if (entity->superentity()) continue;
    Table t;
    t.root = entity;
    t.name = entity->tableName();
    const std::string table = quote(t.name);
    if (!exec("CREATE TABLE IF NOT EXISTS " + table + " (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER NOT NULL)", error) ||
        !exec("CREATE INDEX IF NOT EXISTS " + quote(t.name + "_Z_ENT") + " ON " + table + " (Z_ENT)", error))
      return rollback();
    std::set<std::string> existing;
    {
      Statement s(*this, "PRAGMA table_info(" + table + ")", error);
      if (!s) return rollback();
      while (sqlite3_step(s.get()) == SQLITE_ROW)
        existing.insert(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1)));
    }
    t.selectList = "Z_PK, Z_ENT";
    auto addColumn = [&](const void* property, const std::string& column, const Value& defaultValue,
                         bool indexed) -> bool {
      if (!existing.count(column)) {
        std::string sql = "ALTER TABLE " + table + " ADD COLUMN " + quote(column);
        if (!defaultValue.isNull()) sql += " DEFAULT " + literal(defaultValue);
        if (!exec(sql, error)) return false;
      }
      if (indexed && !exec("CREATE INDEX IF NOT EXISTS " + quote(t.name + "_" + column) + " ON " + table + " (" +
                               quote(column) + ")",
                           error))
        return false;
      t.position[property] = static_cast<int>(t.columns.size()) + 2;
      t.columns.push_back(column);
      t.selectList += ", " + quote(column);
      return true;
    };
    for (const EntityDescription* member : entity->selfAndDescendants()) {
      for (const AttributeDescription* a : member->attributes()) {
        if (&a->entity() != member) continue;
        if (!addColumn(a, a->columnName(), a->isScalar() ? a->defaultValue() : Value(), a->isIndexed()))
          return rollback();
      }
      for (const RelationshipDescription* r : member->toOneRelationships()) {
        if (&r->entity() != member) continue;
        if (!addColumn(r, r->storageName(), Value(), true)) return rollback();
      }
    }
    // Never hand out a key a row ever had, even if the counter was lost.
    if (!exec("UPDATE Z_ENTITIES SET Z_MAX = max(Z_MAX, (SELECT ifnull(max(Z_PK), 0) FROM " + table +
                  ")) WHERE Z_NAME = " + literal(Value(entity->name())),
              error))
      return rollback();
    tables_[entity] = std::move(t);
  }
  for (const EntityDescription* entity : model_->entities()) {
    for (const RelationshipDescription* r : entity->toManyRelationships()) {
      if (&r->entity() != entity || !r->isManyToMany() || !r->ownsJoinTable()) continue;
      const std::string join = quote(r->storageName());
      if (!exec("CREATE TABLE IF NOT EXISTS " + join +
                    " (src INTEGER NOT NULL, dst INTEGER NOT NULL, PRIMARY KEY (src, dst)) WITHOUT ROWID",
                error) ||
          !exec("CREATE INDEX IF NOT EXISTS " + quote(r->storageName() + "_dst") + " ON " + join + " (dst, src)",
                error))
        return rollback();
    }
  }
  if (!exec("COMMIT", error)) return rollback();
  return true;
}

const SQLiteStore::Table& SQLiteStore::table(const EntityDescription& entity) const {
  return tables_.at(&entity.root());
}

std::string SQLiteStore::entityList(const std::vector<const EntityDescription*>& entities) const {
  std::string out;
  for (const EntityDescription* e : entities) out += (out.empty() ? "" : ", ") + std::to_string(entityIds_.at(e));
  return out;
}

void SQLiteStore::conditionSQL(const StoreQuery::Condition& c, std::string& sql, std::vector<Value>& binds) const {
  static const char* ops[] = {"=", "IS NOT", "<", "<=", ">", ">="};
  switch (c.kind) {
    case Predicate::Kind::constant:
    case Predicate::Kind::aggregateComparison:
      sql += c.truth && c.kind == Predicate::Kind::constant ? "1" : "0";
      return;
    case Predicate::Kind::comparison: {
      const std::string column = quote(c.attribute->columnName());
      if (c.value.isNull()) {
        if (c.op == Predicate::Operator::equal)
          sql += column + " IS NULL";
        else if (c.op == Predicate::Operator::notEqual)
          sql += column + " IS NOT NULL";
        else
          sql += "0";
        return;
      }
      if (c.op == Predicate::Operator::notEqual) {
        sql += column + " IS NOT ?";
      } else {
        // Two-valued: a null column gives 0, never NULL, so NOT agrees with
        // the evaluation in memory.
        sql += "(" + column + " IS NOT NULL AND " + column + " " + ops[static_cast<int>(c.op)] + " ?)";
      }
      binds.push_back(c.value);
      return;
    }
    case Predicate::Kind::in: {
      const std::string column = quote(c.attribute->columnName());
      std::string list;
      bool withNull = false;
      for (const Value& v : c.values) {
        if (v.isNull()) {
          withNull = true;
          continue;
        }
        list += list.empty() ? "?" : ", ?";
        binds.push_back(v);
      }
      sql += "(";
      sql += list.empty() ? "0" : "(" + column + " IS NOT NULL AND " + column + " IN (" + list + "))";
      if (withNull) sql += " OR " + column + " IS NULL";
      sql += ")";
      return;
    }
    case Predicate::Kind::conjunction:
    case Predicate::Kind::disjunction: {
      if (c.children.empty()) {
        sql += c.kind == Predicate::Kind::conjunction ? "1" : "0";
        return;
      }
      sql += "(";
      for (std::size_t i = 0; i < c.children.size(); ++i) {
        if (i) sql += c.kind == Predicate::Kind::conjunction ? " AND " : " OR ";
        conditionSQL(c.children[i], sql, binds);
      }
      sql += ")";
      return;
    }
    case Predicate::Kind::negation:
      sql += "NOT (";
      conditionSQL(c.children[0], sql, binds);
      sql += ")";
      return;
  }
}

std::string SQLiteStore::whereClause(const StoreQuery::Query& query, std::vector<Value>& binds) const {
  std::string sql = " WHERE Z_ENT IN (" + entityList(query.entities) + ")";
  if (query.condition) {
    sql += " AND ";
    conditionSQL(*query.condition, sql, binds);
  }
  return sql;
}

bool SQLiteStore::readRows(sqlite3_stmt* stmt, const Table& t, std::vector<Row>& rows, Error* error) {
  for (;;) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) {
      if (error) *error = sqliteError("cannot read " + t.name);
      return false;
    }
    auto found = entitiesById_.find(sqlite3_column_int64(stmt, 1));
    if (found == entitiesById_.end()) continue;  // an entity this model no longer has
    const EntityDescription* entity = found->second;
    Row row;
    row.pk = sqlite3_column_int64(stmt, 0);
    row.entity = entity;
    row.values.reserve(entity->attributes().size());
    for (const AttributeDescription* a : entity->attributes())
      row.values.push_back(readAttribute(stmt, t.position.at(a), *a));
    row.toOne.reserve(entity->toOneRelationships().size());
    for (const RelationshipDescription* r : entity->toOneRelationships()) {
      const int column = t.position.at(r);
      row.toOne.push_back(sqlite3_column_type(stmt, column) == SQLITE_INTEGER ? sqlite3_column_int64(stmt, column) : 0);
    }
    rows.push_back(std::move(row));
  }
}

bool SQLiteStore::fetch(const StoreQuery::Query& query, std::vector<Row>& rows, Error* error) {
  const Table& t = table(*query.entities.front());
  std::vector<Value> binds;
  std::string sql = "SELECT " + t.selectList + " FROM " + quote(t.name) + whereClause(query, binds) + " ORDER BY ";
  for (const auto& [attribute, ascending] : query.sort)
    sql += quote(attribute->columnName()) + (ascending ? " ASC, " : " DESC, ");
  sql += "Z_PK";
  if (query.limit > 0) sql += " LIMIT " + std::to_string(query.limit);
  Statement s(*this, sql, error);
  if (!s) return false;
  for (std::size_t i = 0; i < binds.size(); ++i) s.bind(static_cast<int>(i) + 1, binds[i]);
  return readRows(s.get(), t, rows, error);
}

bool SQLiteStore::count(const StoreQuery::Query& query, std::size_t& count, Error* error) {
  const Table& t = table(*query.entities.front());
  std::vector<Value> binds;
  Statement s(*this, "SELECT count(*) FROM " + quote(t.name) + whereClause(query, binds), error);
  if (!s) return false;
  for (std::size_t i = 0; i < binds.size(); ++i) s.bind(static_cast<int>(i) + 1, binds[i]);
  if (sqlite3_step(s.get()) != SQLITE_ROW) {
    if (error) *error = sqliteError("cannot count " + t.name);
    return false;
  }
  count = static_cast<std::size_t>(sqlite3_column_int64(s.get(), 0));
  return true;
}

bool SQLiteStore::ordered(const std::vector<const EntityDescription*>& entities, const AttributeDescription& attribute,
                          bool ascending, std::size_t limit, std::vector<std::pair<std::int64_t, Value>>& out,
                          Error* error) {
  const Table& t = table(*entities.front());
  const std::string column = quote(attribute.columnName());
  Statement s(*this,
              "SELECT Z_PK, " + column + " FROM " + quote(t.name) + " WHERE Z_ENT IN (" + entityList(entities) +
                  ") AND " + column + " IS NOT NULL ORDER BY " + column + (ascending ? " ASC" : " DESC") +
                  ", Z_PK LIMIT " + std::to_string(limit),
              error);
  if (!s) return false;
  for (;;) {
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) {
      if (error) *error = sqliteError("cannot read " + t.name);
      return false;
    }
    out.emplace_back(sqlite3_column_int64(s.get(), 0),
                     StoreQuery::databaseForm(attribute.type(), readAttribute(s.get(), 1, attribute)));
  }
}

bool SQLiteStore::loadRow(const EntityDescription& root, std::int64_t pk, std::optional<Row>& row, Error* error) {
  const Table& t = table(root);
  Statement s(*this, "SELECT " + t.selectList + " FROM " + quote(t.name) + " WHERE Z_PK = ?", error);
  if (!s) return false;
  s.bind(1, pk);
  std::vector<Row> rows;
  if (!readRows(s.get(), t, rows, error)) return false;
  row.reset();
  if (!rows.empty()) row = std::move(rows.front());
  return true;
}

bool SQLiteStore::toManyRows(const RelationshipDescription& r, std::int64_t pk, std::vector<Row>& rows, Error* error) {
  const Table& t = table(r.destination());
  std::string sql;
  if (r.isManyToMany()) {
    const char* mine = r.ownsJoinTable() ? "src" : "dst";
    const char* theirs = r.ownsJoinTable() ? "dst" : "src";
    std::string list;
    for (const auto& column : t.columns) list += ", t." + quote(column);
    sql = "SELECT t.Z_PK, t.Z_ENT" + list + " FROM " + quote(r.storageName()) + " j JOIN " + quote(t.name) +
          " t ON t.Z_PK = j." + theirs + " WHERE j." + mine + " = ? ORDER BY t.Z_PK";
  } else {
    sql = "SELECT " + t.selectList + " FROM " + quote(t.name) + " WHERE " + quote(r.inverse().storageName()) +
          " = ? ORDER BY Z_PK";
  }
  Statement s(*this, sql, error);
  if (!s) return false;
  s.bind(1, pk);
  return readRows(s.get(), t, rows, error);
}

bool SQLiteStore::toManyKeys(const RelationshipDescription& r, std::int64_t pk, std::vector<std::int64_t>& keys,
                             Error* error) {
  std::string sql;
  if (r.isManyToMany())
    sql = std::string("SELECT ") + (r.ownsJoinTable() ? "dst" : "src") + " FROM " + quote(r.storageName()) +
          " WHERE " + (r.ownsJoinTable() ? "src" : "dst") + " = ?";
  else
    sql = "SELECT Z_PK FROM " + quote(table(r.destination()).name) + " WHERE " + quote(r.inverse().storageName()) +
          " = ?";
  Statement s(*this, sql, error);
  if (!s) return false;
  s.bind(1, pk);
  for (;;) {
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) {
      if (error) *error = sqliteError("cannot read " + r.name());
      return false;
    }
    keys.push_back(sqlite3_column_int64(s.get(), 0));
  }
}

bool SQLiteStore::entityOf(const EntityDescription& root, std::int64_t pk, const EntityDescription*& entity,
                           Error* error) {
  Statement s(*this, "SELECT Z_ENT FROM " + quote(table(root).name) + " WHERE Z_PK = ?", error);
  if (!s) return false;
  s.bind(1, pk);
  entity = nullptr;
  const int rc = sqlite3_step(s.get());
  if (rc == SQLITE_ROW) {
    auto it = entitiesById_.find(sqlite3_column_int64(s.get(), 0));
    if (it != entitiesById_.end()) entity = it->second;
    return true;
  }
  if (rc == SQLITE_DONE) return true;
  if (error) *error = sqliteError("cannot read " + table(root).name);
  return false;
}

// Removes a row and every reference to it: join rows, and foreign keys in
// the rows that pointed at it.
bool SQLiteStore::deleteRow(const EntityDescription& entity, std::int64_t pk, Error* error) {
  auto run = [&](const std::string& sql) {
    Statement s(*this, sql, error);
    if (!s) return false;
    s.bind(1, pk);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
      if (error) *error = sqliteError("cannot delete from " + table(entity).name);
      return false;
    }
    return true;
  };
  if (!run("DELETE FROM " + quote(table(entity).name) + " WHERE Z_PK = ?")) return false;
  for (const RelationshipDescription* r : entity.toManyRelationships()) {
    if (r->isManyToMany()) {
      if (!run("DELETE FROM " + quote(r->storageName()) + " WHERE " + (r->ownsJoinTable() ? "src" : "dst") + " = ?"))
        return false;
    } else if (!run("UPDATE " + quote(table(r->destination()).name) + " SET " + quote(r->inverse().storageName()) +
                    " = NULL WHERE " + quote(r->inverse().storageName()) + " = ?")) {
      return false;
    }
  }
  for (const RelationshipDescription* r : entity.toOneRelationships()) {
    if (!r->isOneToOne()) continue;
    if (!run("UPDATE " + quote(table(r->destination()).name) + " SET " + quote(r->inverse().storageName()) +
             " = NULL WHERE " + quote(r->inverse().storageName()) + " = ?"))
      return false;
  }
  return true;
}

bool SQLiteStore::save(const Changes& changes, AssignedKeys& assigned, Error* error) {
  assigned.clear();
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  auto rollback = [&] {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    assigned.clear();
    return false;
  };
  // The error text is only put together when a step fails.
  auto stepDone = [&](Statement& s, const char* what, const std::string& name) {
    if (sqlite3_step(s.get()) == SQLITE_DONE) return true;
    if (error) *error = sqliteError(what + name);
    return false;
  };

  // Primary keys for the inserts, from each tree's never-decreasing counter.
  std::unordered_map<const EntityDescription*, std::int64_t> next;
  for (const RowWrite& w : changes.inserts) next.emplace(&w.entity->root(), 0);
  for (auto& [root, value] : next) {
    Statement s(*this, "SELECT Z_MAX FROM Z_ENTITIES WHERE Z_NAME = ?", error);
    if (!s) return rollback();
    s.bind(1, Value(root->name()));
    if (sqlite3_step(s.get()) != SQLITE_ROW) {
      if (error) *error = sqliteError("cannot read the key counter of " + root->name());
      return rollback();
    }
    value = sqlite3_column_int64(s.get(), 0);
  }
  std::int64_t lowest = std::numeric_limits<std::int64_t>::max(), highest = std::numeric_limits<std::int64_t>::min();
  for (const RowWrite& w : changes.inserts) {
    lowest = std::min(lowest, w.key.id);
    highest = std::max(highest, w.key.id);
  }
  assigned.prepare(lowest, highest, changes.inserts.size());
  for (const RowWrite& w : changes.inserts) {
    const EntityDescription* root = &w.entity->root();
    assigned.assign(w.key, ObjectKey{root, ++next[root], false});
  }
  for (auto& [root, value] : next) {
    Statement s(*this, "UPDATE Z_ENTITIES SET Z_MAX = ? WHERE Z_NAME = ?", error);
    if (!s) return rollback();
    s.bind(1, value);
    s.bind(2, Value(root->name()));
    if (!stepDone(s, "cannot advance the key counter of ", root->name())) return rollback();
  }
  bool dangling = false;
  auto pkOf = [&](const ObjectKey& key) -> std::int64_t {
    if (!key.temporary) return key.id;
    const std::optional<ObjectKey> permanent = assigned.find(key);
    if (!permanent) {
      dangling = true;
      return 0;
    }
    return permanent->id;
  };
  // Text and data are bound in place: the objects' values outlive the step,
  // and the statement lets go of them when it is put back.
  auto bindRow = [&](Statement& s, const RowWrite& w, int first) {
    int i = first;
    for (const AttributeDescription* a : w.entity->attributes()) {
      const Value& value = (*w.values)[a->index()];
      switch (a->type()) {
        case AttributeType::date:
        case AttributeType::real:
        case AttributeType::boolean:
          s.bind(i++, StoreQuery::databaseForm(a->type(), value));
          break;
        default:
          sqliteBindValue(s.get(), i++, value, SQLiteBinding::inPlace);
      }
    }
    for (const RelationshipDescription* r : w.entity->toOneRelationships()) {
      const ObjectKey& target = (*w.toOne)[r->index()];
      if (target)
        s.bind(i++, pkOf(target));
      else
        s.bind(i++, Value());
    }
    return i;
  };
  auto columnsOf = [](const EntityDescription& entity) {
    std::vector<std::string> columns;
    for (const AttributeDescription* a : entity.attributes()) columns.push_back(a->columnName());
    for (const RelationshipDescription* r : entity.toOneRelationships()) columns.push_back(r->storageName());
    return columns;
  };
  // The inserts go in key order, so every row appends to its table; a run
  // of rows of one entity goes through one statement.
  std::unordered_map<const EntityDescription*, std::string> insertSQL, updateSQL;
  for (std::size_t i = 0; i < changes.inserts.size() && !dangling;) {
    const EntityDescription* entity = changes.inserts[i].entity;
    auto& sql = insertSQL[entity];
    if (sql.empty()) {
      std::string names = "Z_PK, Z_ENT", marks = "?, ?";
      for (const auto& column : columnsOf(*entity)) {
        names += ", " + quote(column);
        marks += ", ?";
      }
      sql = "INSERT INTO " + quote(table(*entity).name) + " (" + names + ") VALUES (" + marks + ")";
    }
    Statement s(*this, sql, error);
    if (!s) return rollback();
    const std::int64_t entityId = entityIds_.at(entity);
    for (; i < changes.inserts.size() && changes.inserts[i].entity == entity; ++i) {
      const RowWrite& w = changes.inserts[i];
      s.bind(1, assigned.find(w.key)->id);
      s.bind(2, entityId);
      bindRow(s, w, 3);
      if (dangling) break;
      if (!stepDone(s, "cannot insert into ", table(*entity).name)) return rollback();
      sqlite3_reset(s.get());  // every parameter is bound again for the next row
    }
  }
  for (const RowWrite& w : changes.updates) {
    if (dangling) break;
    auto& sql = updateSQL[w.entity];
    if (sql.empty()) {
      std::string sets;
      for (const auto& column : columnsOf(*w.entity)) sets += (sets.empty() ? "" : ", ") + quote(column) + " = ?";
      sql = "UPDATE " + quote(table(*w.entity).name) + " SET " + sets + " WHERE Z_PK = ?";
    }
    Statement s(*this, sql, error);
    if (!s) return rollback();
    const int last = bindRow(s, w, 1);
    s.bind(last, w.key.id);
    if (!stepDone(s, "cannot update ", table(*w.entity).name)) return rollback();
    if (sqlite3_changes(db_) != 1) {
      if (error)
        *error = ObjectStoreError::make(ObjectStoreError::conflict, "the row of an updated " + w.entity->name() +
                                                                        " is no longer in the store");
      return rollback();
    }
  }
  // Join rows are written in key order: the join tables are keyed by (src,
  // dst), and rows that arrive in the context's hash order would land all
  // over the tree, each insert a page search of its own.
  struct ResolvedJoin {
    const RelationshipDescription* owner;
    std::int64_t source, destination;
    bool add;
  };
  std::vector<ResolvedJoin> joins;
  joins.reserve(changes.joins.size());
  for (const JoinWrite& j : changes.joins) {
    const std::int64_t source = pkOf(j.source), destination = pkOf(j.destination);
    if (dangling) break;
    joins.push_back({j.owner, source, destination, j.add});
  }
  std::sort(joins.begin(), joins.end(), [](const ResolvedJoin& a, const ResolvedJoin& b) {
    return std::tie(a.owner, a.add, a.source, a.destination) < std::tie(b.owner, b.add, b.source, b.destination);
  });
  for (std::size_t i = 0; i < joins.size() && !dangling;) {
    const RelationshipDescription* owner = joins[i].owner;
    const bool add = joins[i].add;
    const std::string join = quote(owner->storageName());
    Statement s(*this,
                add ? "INSERT OR IGNORE INTO " + join + " (src, dst) VALUES (?, ?)"
                    : "DELETE FROM " + join + " WHERE src = ? AND dst = ?",
                error);
    if (!s) return rollback();
    for (; i < joins.size() && joins[i].owner == owner && joins[i].add == add; ++i) {
      s.bind(1, joins[i].source);
      s.bind(2, joins[i].destination);
      if (!stepDone(s, "cannot write ", owner->storageName())) return rollback();
      s.reset();
    }
  }
  if (dangling) {
    if (error)
      *error = ObjectStoreError::make(ObjectStoreError::invalidRequest,
                                      "an object refers to an unsaved object of another context");
    return rollback();
  }
  for (const auto& [entity, key] : changes.deletes)
    if (!deleteRow(*entity, key.id, error)) return rollback();
  if (!exec("COMMIT", error)) return rollback();
  return true;
}

bool SQLiteStore::batchDelete(const StoreQuery::Query& query,
                              std::vector<std::pair<const EntityDescription*, ObjectKey>>& deleted, Error* error) {
  deleted.clear();
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  auto rollback = [&] {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    deleted.clear();
    return false;
  };
  std::vector<std::pair<const EntityDescription*, ObjectKey>> pending;
  std::unordered_map<ObjectKey, bool, ObjectKeyHash> seen;
  {
    const Table& t = table(*query.entities.front());
    std::vector<Value> binds;
    Statement s(*this, "SELECT Z_PK, Z_ENT FROM " + quote(t.name) + whereClause(query, binds), error);
    if (!s) return rollback();
    for (std::size_t i = 0; i < binds.size(); ++i) s.bind(static_cast<int>(i) + 1, binds[i]);
    for (;;) {
      const int rc = sqlite3_step(s.get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) {
        if (error) *error = sqliteError("cannot read " + t.name);
        return rollback();
      }
      auto it = entitiesById_.find(sqlite3_column_int64(s.get(), 1));
      if (it == entitiesById_.end()) continue;
      ObjectKey key{t.root, sqlite3_column_int64(s.get(), 0), false};
      seen[key] = true;
      pending.emplace_back(it->second, key);
    }
  }
  // Cascades: what the deleted rows own goes with them.
  for (std::size_t i = 0; i < pending.size(); ++i) {
    const auto [entity, key] = pending[i];
    std::vector<const RelationshipDescription*> cascades;
    for (const auto* r : entity->toOneRelationships())
      if (r->deleteRule() == DeleteRule::cascade) cascades.push_back(r);
    for (const auto* r : entity->toManyRelationships())
      if (r->deleteRule() == DeleteRule::cascade) cascades.push_back(r);
    for (const RelationshipDescription* r : cascades) {
      std::vector<std::int64_t> targets;
      if (r->isToMany()) {
        if (!toManyKeys(*r, key.id, targets, error)) return rollback();
      } else {
        std::optional<Row> row;
        if (!loadRow(entity->root(), key.id, row, error)) return rollback();
        if (row && row->toOne[r->index()]) targets.push_back(row->toOne[r->index()]);
      }
      for (std::int64_t pk : targets) {
        ObjectKey target{&r->destination().root(), pk, false};
        if (seen.count(target)) continue;
        const EntityDescription* targetEntity = nullptr;
        if (!entityOf(r->destination().root(), pk, targetEntity, error)) return rollback();
        if (!targetEntity) continue;
        seen[target] = true;
        pending.emplace_back(targetEntity, target);
      }
    }
  }
  for (const auto& [entity, key] : pending)
    if (!deleteRow(*entity, key.id, error)) return rollback();
  if (!exec("COMMIT", error)) return rollback();
  deleted = std::move(pending);
  return true;
}

}  // namespace vozi::platform
