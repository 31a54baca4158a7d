#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Error.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/ObjectKey.h"
#include "platform/store/StoreQuery.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vozi::platform {

// The SQLite file under a coordinator. Layout:
//  - Z_METADATA (key, value): the layout's format number;
//  - Z_ENTITIES (Z_ENT, Z_NAME, Z_ROOT, Z_MAX): a number per entity, the
//    root whose table holds it and, on root rows, the highest primary key
//    ever given (keys are never reused);
//  - one table "Z<root>" per inheritance tree: Z_PK, Z_ENT, then a column
//    "<entity>.<name>" per attribute and per to-one relationship (the
//    primary key of the destination) of every entity of the tree;
//  - one table "Z_<entity>.<name>" (src, dst) per many-to-many relationship.
// Columns carry no declared type, so values come back exactly as written.
// Not thread-safe: the coordinator serialises every call.
class SQLiteStore {
 public:
  struct Row {
    std::int64_t pk = 0;
    const EntityDescription* entity = nullptr;
    std::vector<Value> values;         // by attribute index
    std::vector<std::int64_t> toOne;   // by to-one index; 0: none
  };

  struct RowWrite {
    const EntityDescription* entity = nullptr;
    ObjectKey key;
    const std::vector<Value>* values = nullptr;
    const std::vector<ObjectKey>* toOne = nullptr;  // a null key: none
  };
  struct JoinWrite {
    const RelationshipDescription* owner = nullptr;  // the side that owns the join table
    ObjectKey source, destination;
    bool add = true;
  };
  struct Changes {
    std::vector<RowWrite> inserts, updates;
    std::vector<JoinWrite> joins;
    std::vector<std::pair<const EntityDescription*, ObjectKey>> deletes;
  };

  // Opens the file (created 0600 when missing; companions kept 0600), checks
  // it (PRAGMA quick_check, or the full integrity_check when the file is
  // marked, see SQLiteStoreFiles), lays out or extends the tables for the
  // model. A file SQLite reports damaged fails with ObjectStoreError::
  // corruptStore, before anything is written to it.
  //
  // Every failure with SQLITE_CORRUPT or SQLITE_NOTADB, at open or later,
  // marks the file and is a corruptStore error.
  static std::unique_ptr<SQLiteStore> open(const std::string& path, std::shared_ptr<const ManagedObjectModel> model,
                                           Error* error);
  ~SQLiteStore();
  SQLiteStore(const SQLiteStore&) = delete;
  SQLiteStore& operator=(const SQLiteStore&) = delete;

  const std::string& path() const { return path_; }

  bool fetch(const StoreQuery::Query& query, std::vector<Row>& rows, Error* error);
  bool count(const StoreQuery::Query& query, std::size_t& count, Error* error);
  // The first rows by an attribute (non-null values only), for aggregates:
  // primary key and database-form value.
  bool ordered(const std::vector<const EntityDescription*>& entities, const AttributeDescription& attribute,
               bool ascending, std::size_t limit, std::vector<std::pair<std::int64_t, Value>>& out, Error* error);
  bool loadRow(const EntityDescription& root, std::int64_t pk, std::optional<Row>& row, Error* error);
  // The destination rows of a to-many relationship of the object with pk.
  bool toManyRows(const RelationshipDescription& relationship, std::int64_t pk, std::vector<Row>& rows, Error* error);
  bool toManyKeys(const RelationshipDescription& relationship, std::int64_t pk, std::vector<std::int64_t>& keys,
                  Error* error);
  // Writes the changes in one transaction; gives the primary key of each
  // inserted (temporary) key.
  bool save(const Changes& changes, AssignedKeys& assigned, Error* error);
  // Deletes the matching rows (and what cascades from them) in one
  // transaction; gives the keys of the rows deleted.
  bool batchDelete(const StoreQuery::Query& query, std::vector<std::pair<const EntityDescription*, ObjectKey>>& deleted,
                   Error* error);

 private:
  struct Table {
    const EntityDescription* root = nullptr;
    std::string name;
    std::vector<std::string> columns;  // after Z_PK, Z_ENT
    std::string selectList;            // "Z_PK","Z_ENT",<columns>
    std::unordered_map<const void*, int> position;  // attribute or to-one relationship -> result column
  };
  class Statement;

  SQLiteStore(std::string path, std::shared_ptr<const ManagedObjectModel> model);
  bool checkIntegrity(Error* error);
  bool prepareSchema(Error* error);
  bool exec(const std::string& sql, Error* error);
  sqlite3_stmt* statement(const std::string& sql, Error* error);
  Error sqliteError(const std::string& what) const;
  void noteDamage(const std::string& reason) const;
  const Table& table(const EntityDescription& entity) const;
  std::string entityList(const std::vector<const EntityDescription*>& entities) const;
  std::string whereClause(const StoreQuery::Query& query, std::vector<Value>& binds) const;
  void conditionSQL(const StoreQuery::Condition& c, std::string& sql, std::vector<Value>& binds) const;
  bool readRows(sqlite3_stmt* stmt, const Table& table, std::vector<Row>& rows, Error* error);
  bool deleteRow(const EntityDescription& entity, std::int64_t pk, Error* error);
  bool entityOf(const EntityDescription& root, std::int64_t pk, const EntityDescription*& entity, Error* error);

  std::string path_;
  std::shared_ptr<const ManagedObjectModel> model_;
  sqlite3* db_ = nullptr;
  std::unordered_map<const EntityDescription*, Table> tables_;  // by root
  std::unordered_map<const EntityDescription*, std::int64_t> entityIds_;
  std::unordered_map<std::int64_t, const EntityDescription*> entitiesById_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace vozi::platform
