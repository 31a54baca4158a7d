#include "photos/PhotosNewDBCleaner.h"

#include <cstdio>
#include <unordered_map>

#include "platform/store/SQLiteShared.h"

namespace vozi {

const std::map<std::string, std::vector<int>>& PhotosNewDBCleaner::kSQLFinctionsConstants() {
  static const std::map<std::string, std::vector<int>> counts = [] {
    std::vector<int> versions;
    for (int count = 20; count <= 40; ++count) versions.push_back(count);
    return std::map<std::string, std::vector<int>>{{kRKVersionFuncKey, versions}, {kRKMomentFuncKey, {2, 3, 4}}};
  }();
  return counts;
}

const std::vector<std::pair<std::string, int>>& PhotosNewDBCleaner::kFixedFunctions() {
  static const std::vector<std::pair<std::string, int>> functions = {
      {"RKMaster_notifyRidIndexDelete", 18},
      {"RKImageProxyState_notifyRidIndexDelete", 11},
      {"RKSceneInVersion_notifyRidIndexDelete", 3},
      {"RKModelResource_notifyRidIndexDelete", 5},
      {"RKVersion_stringNote_notifySKIndexDelete", 2},
      {"RKImportGroup_notifyRidIndexDelete", 2},
      {"RKFace_notifyRidIndexDelete", 10},
      {"RKFaceGroup_notifyRidIndexDelete", 4},
      {"RKPerson_notifyRidIndexDelete", 8},
  };
  return functions;
}

PhotosNewDBCleaner::PhotosNewDBCleaner(std::string photoLibraryPath, std::vector<std::string> duplicatesPaths,
                                       bool start, bool finish)
    : PhotosDBCleaner(std::move(photoLibraryPath), std::move(duplicatesPaths), start, finish) {
  libraryDBPath = kLibraryDBPath;
}

void PhotosNewDBCleaner::stubDBFuctions() {
  for (const auto& [name, count] : kFixedFunctions()) stub(name, count);
}

void PhotosNewDBCleaner::prepareFunctionCouldChange(const std::string& key, int argsCount) { stub(key, argsCount); }

platform::Result<void> PhotosNewDBCleaner::prepareTableToClean(
    const std::string& key, const std::function<platform::Result<void>()>& executionBlock) {
  const auto& table = kSQLFinctionsConstants();
  const auto found = table.find(key);
  if (found == table.end() || found->second.empty()) return {};
  static constexpr const char* kAttempt = "arity_attempt";
  platform::Result<void> last;
  for (const int count : found->second) {
    prepareFunctionCouldChange(key, count);
    if (dbConnection) {
      if (auto saved = dbConnection->savepoint(kAttempt); !saved) return saved;
    }
    last = executionBlock();
    if (!dbConnection) {
      if (last) return last;
      continue;
    }
    if (last) return dbConnection->releaseSavepoint(kAttempt);
    // Undo what the try did before the next one.
    if (auto undone = dbConnection->rollbackToSavepoint(kAttempt); !undone) return undone;
    if (auto released = dbConnection->releaseSavepoint(kAttempt); !released) return released;
  }
  return last;
}

platform::Result<void> PhotosNewDBCleaner::deleteWhereIn(const std::string& table, const std::string& column,
                                                         const std::vector<platform::Value>& list) {
  if (!dbConnection) return {};
  return dbConnection->executeIn(
      "DELETE FROM " + platform::sqliteQuote(table) + " WHERE " + platform::sqliteQuote(column) + " IN ", list);
}

platform::Result<PhotosNewDBCleaner::Masters> PhotosNewDBCleaner::cleanRKMasterTables(
    const std::vector<std::string>& filesPaths) {
  Masters masters;
  if (!dbConnection) return masters;
  const auto paths = values(filesPaths);
  auto selected = dbConnection->executeIn(
      "SELECT \"modelId\" FROM \"RKMaster\" WHERE \"imagePath\" IN ", paths,
      [&masters](const platform::SQLiteConnection::Row& row) {
        const auto id = row.integer("modelId");
        if (!id) return;
        masters.photoIDs.push_back(*id);
        char hex[24];
        std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(*id));
        masters.thumbnailDirNames.emplace_back(hex);
      });
  if (!selected) return selected.error();
  const auto ids = values(masters.photoIDs);
  if (auto done = deleteWhereIn("RKMaster", "imagePath", paths); !done) return done.error();
  if (auto done = deleteWhereIn("RKMaster_dataNote", "attachedToId", ids); !done) return done.error();
  if (auto done = deleteWhereIn("RKImageProxyState", "modelId", ids); !done) return done.error();
  return masters;
}

platform::Result<void> PhotosNewDBCleaner::cleanScenes(const std::vector<std::int64_t>& photoIDs) {
  const auto ids = values(photoIDs);
  if (auto done = deleteWhereIn("RKSceneInVersion", "versionId", ids); !done) return done;
  return deleteWhereIn("RKSceneInVersion_versionId_RidIndex", "value", ids);
}

platform::Result<std::vector<std::string>> PhotosNewDBCleaner::cleanVersionTables(
    const std::vector<std::int64_t>& photoIDs) {
  std::vector<std::string> emptied;
  if (!dbConnection) return emptied;
  const auto ids = values(photoIDs);
  // How many versions of each moment go, and how many it has.
  std::unordered_map<std::string, std::size_t> going;
  std::vector<std::string> order;
  auto selected = dbConnection->executeIn("SELECT \"momentUuid\" FROM \"RKVersion\" WHERE \"masterId\" IN ", ids,
                                          [&](const platform::SQLiteConnection::Row& row) {
                                            if (auto uuid = row.text("momentUuid")) {
                                              if (going[*uuid]++ == 0) order.push_back(*uuid);
                                            }
                                          });
  if (!selected) return selected.error();
  std::unordered_map<std::string, std::size_t> all;
  auto counted = dbConnection->execute("SELECT \"momentUuid\" FROM \"RKVersion\"", {},
                                       [&all](const platform::SQLiteConnection::Row& row) {
                                         if (auto uuid = row.text("momentUuid")) ++all[*uuid];
                                       });
  if (!counted) return counted.error();
  if (auto done = deleteWhereIn("RKVersion", "masterId", ids); !done) return done.error();
  for (const char* table : {"RKVersion_dataNote", "RKVersion_dateNote", "RKVersion_integerNote",
                            "RKVersion_stringAtomNote", "RKVersion_stringNote"}) {
    if (auto done = deleteWhereIn(table, "attachedToId", ids); !done) return done.error();
  }
  for (const std::string& uuid : order) {
    if (all[uuid] == going[uuid]) emptied.push_back(uuid);
  }
  return emptied;
}

platform::Result<void> PhotosNewDBCleaner::cleanMomentsTables(const std::vector<std::string>& momentsUUIDs) {
  return deleteWhereIn("RKMoment", "uuid", values(momentsUUIDs));
}

platform::Result<std::vector<std::string>> PhotosNewDBCleaner::cleanDatabases() {
  std::vector<std::string> extra;
  if (!dbConnection) return extra;
  stubDBFuctions();
  const std::vector<std::string> filesPaths = relativeMasterPaths();
  Masters masters;
  auto done = inTransaction(*dbConnection, [&]() -> platform::Result<void> {
    auto cleaned = cleanRKMasterTables(filesPaths);
    if (!cleaned) return cleaned.error();
    masters = std::move(*cleaned);
    if (auto scenes = cleanScenes(masters.photoIDs); !scenes) return scenes;
    std::vector<std::string> moments;
    if (auto versions = prepareTableToClean(kRKVersionFuncKey,
                                            [&]() -> platform::Result<void> {
                                              auto emptied = cleanVersionTables(masters.photoIDs);
                                              if (!emptied) return emptied.error();
                                              moments = std::move(*emptied);
                                              return {};
                                            });
        !versions) {
      return versions;
    }
    return prepareTableToClean(kRKMomentFuncKey, [&] { return cleanMomentsTables(moments); });
  });
  if (!done) return done.error();
  for (const std::string& name : masters.thumbnailDirNames) extra.push_back(photoLibraryPath() + kDerivativesFolder + name);
  return extra;
}

}  // namespace vozi
