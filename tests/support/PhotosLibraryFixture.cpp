#include "support/PhotosLibraryFixture.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace vozi::test {

namespace {

std::string arguments(int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list += (i == 0 ? "" : ",") + std::to_string(i);
  return list;
}

// A trigger after each delete from the table that calls the function with
// `arity` arguments; a negative arity aborts the delete.
std::string trigger(const std::string& table, const std::string& function, int arity) {
  if (arity == 0) return {};
  const std::string body =
      arity < 0 ? "SELECT RAISE(ABORT, 'refused');" : "SELECT " + function + "(" + arguments(arity) + ");";
  return "CREATE TRIGGER \"" + table + "_deleted\" AFTER DELETE ON \"" + table + "\" BEGIN " + body + " END;";
}

std::string makeDatabase(const std::string& path, const std::string& schema) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  PhotosLibraryFixture::execute(path, schema);
  return path;
}

}  // namespace

void PhotosLibraryFixture::execute(const std::string& database, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + database);
  }
  char* message = nullptr;
  const int status = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  const std::string why = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  if (status != SQLITE_OK) throw std::runtime_error(why + " in " + sql);
}

std::string PhotosLibraryFixture::dump(const std::string& database) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "cannot open " + database;
  }
  std::vector<std::string> tables;
  sqlite3_exec(
      db, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name",
      [](void* out, int, char** values, char**) {
        static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
        return 0;
      },
      &tables, nullptr);
  std::string text;
  for (const std::string& table : tables) {
    std::vector<std::string> rows;
    sqlite3_exec(
        db, ("SELECT * FROM \"" + table + "\"").c_str(),
        [](void* out, int count, char** values, char**) {
          std::string row;
          for (int i = 0; i < count; ++i) row += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
          static_cast<std::vector<std::string>*>(out)->push_back(row);
          return 0;
        },
        &rows, nullptr);
    std::sort(rows.begin(), rows.end());
    for (const std::string& row : rows) text += table + ": " + row + "\n";
  }
  sqlite3_close(db);
  return text;
}

std::string PhotosLibraryFixture::makeNew(const std::string& bundle, const NewFormat& format) {
  std::string schema =
      "CREATE TABLE RKMaster (modelId INTEGER PRIMARY KEY, imagePath TEXT);"
      "CREATE TABLE RKMaster_dataNote (attachedToId INTEGER);"
      "CREATE TABLE RKImageProxyState (modelId INTEGER);"
      "CREATE TABLE RKSceneInVersion (versionId INTEGER);"
      "CREATE TABLE RKSceneInVersion_versionId_RidIndex (value INTEGER);"
      "CREATE TABLE RKVersion (modelId INTEGER PRIMARY KEY, masterId INTEGER, momentUuid TEXT);"
      "CREATE TABLE RKMoment (uuid TEXT);";
  for (const char* note : {"RKVersion_dataNote", "RKVersion_dateNote", "RKVersion_integerNote",
                           "RKVersion_stringAtomNote", "RKVersion_stringNote"}) {
    schema += "CREATE TABLE " + std::string(note) + " (attachedToId INTEGER);";
  }
  schema += trigger("RKMaster", "RKMaster_notifyRidIndexDelete", format.masterArity);
  schema += trigger("RKVersion", "RKVersion_notifyRidIndexDelete", format.versionArity);
  schema += trigger("RKMoment", "RKMoment_notifyRidIndexDelete", format.momentArity);
  return makeDatabase(bundle + "/database/photos.db", schema);
}

std::string PhotosLibraryFixture::makeOld(const std::string& bundle, const OldFormat& format) {
  std::string schema =
      "CREATE TABLE RKMaster (modelId INTEGER, fileModificationDate INTEGER, imagePath TEXT);"
      "CREATE TABLE RKVersion (modelId INTEGER, uuid TEXT);"
      "CREATE TABLE RKAlbumVersion (versionId INTEGER);"
      "CREATE TABLE RKMoment (uuid TEXT, startDate INTEGER, endDate INTEGER, versionCount INTEGER);";
  for (const char* note : {"RKMaster_dataNote", "RKVersion_dataNote", "RKVersion_dateNote", "RKVersion_integerNote",
                           "RKVersion_stringAtomNote", "RKVersion_stringNote"}) {
    schema += "CREATE TABLE " + std::string(note) + " (attachedToId INTEGER);";
  }
  schema += trigger("RKMaster", "RKMaster_notifyRidIndexDelete", format.masterArity);
  schema += trigger("RKVersion", "RKVersion_notifyRidIndexDelete", format.versionArity);
  schema += trigger("RKMoment", "RKMoment_notifyRidIndexDelete", format.momentArity);
  const std::string library = makeDatabase(bundle + "/database/Library.apdb", schema);
  if (format.withProxies) {
    std::string proxies =
        "CREATE TABLE RKImageProxyState (modelId INTEGER);"
        "CREATE TABLE RKModelResource (modelId INTEGER, attachedModelId INTEGER, resourceUuid TEXT);"
        "CREATE TABLE RKModelResource_integerNote (attachedToId INTEGER);"
        "CREATE TABLE RKModelResource_stringNote (attachedToId INTEGER);";
    proxies += trigger("RKModelResource", "RKModelResource_notifyRidIndexDelete", format.modelResourceArity);
    makeDatabase(bundle + "/database/ImageProxies.apdb", proxies);
  }
  return library;
}

}  // namespace vozi::test
