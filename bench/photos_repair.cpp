// The Photos repair beside the least a repair must do: one transaction
// running the same deletes with the ids already known. Each iteration works
// on a fresh copy of the databases, made outside the timing.
//
// Newer format: 100,000 masters with a version, notes, a proxy state and
// scene rows each, 5,000 moments; 10,000 masters (seeded) are deleted. The
// triggers call their functions with 18 ("RKMaster"), 23 ("RKVersion":
// three failed tries first) and 3 ("RKMoment") arguments.
// Older format: the same masters in its two databases, and a 100,000-file
// "resources/modelresources" folder that both sides walk.
//
// Five interleaved repetitions; the ratios of the medians are printed.

#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include "MedianRatios.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <unordered_set>

#include "photos/PhotosNewDBCleaner.h"
#include "photos/PhotosOldDBCleaner.h"
#include "support/PhotosLibraryFixture.h"
#include "support/TempRoot.h"

namespace {

using namespace vozi;
namespace fs = std::filesystem;
using Fixture = test::PhotosLibraryFixture;

constexpr int kMasters = 100'000;
constexpr int kMoments = 5'000;
constexpr int kDeleted = 10'000;
constexpr int kResources = 100'000;

test::TempRoot* root = nullptr;
std::string newTemplate, newBundle, oldTemplate, oldBundle;
std::vector<int> deleted;  // master ids
std::vector<std::string> deletedPathsNew, deletedPathsOld;

std::string imagePath(int id) { return "2020/" + std::to_string(id % 100) + "/IMG_" + std::to_string(id) + ".JPG"; }

void fill(const std::string& db, const std::string& sql) { Fixture::execute(db, "BEGIN;" + sql + "COMMIT;"); }

void makeNewTemplate() {
  newTemplate = *root / "/templates/new.photoslibrary";
  const std::string db = Fixture::makeNew(newTemplate);
  std::string sql;
  for (int id = 1; id <= kMasters; ++id) {
    const std::string i = std::to_string(id);
    sql += "INSERT INTO RKMaster VALUES (" + i + ",'" + imagePath(id) + "');";
    sql += "INSERT INTO RKMaster_dataNote VALUES (" + i + ");INSERT INTO RKImageProxyState VALUES (" + i + ");";
    sql += "INSERT INTO RKSceneInVersion VALUES (" + i + ");INSERT INTO RKSceneInVersion_versionId_RidIndex VALUES (" +
           i + ");";
    sql += "INSERT INTO RKVersion VALUES (" + i + "," + i + ",'m" + std::to_string(id % kMoments) + "');";
    for (const char* note : {"RKVersion_dataNote", "RKVersion_dateNote", "RKVersion_integerNote",
                             "RKVersion_stringAtomNote", "RKVersion_stringNote"}) {
      sql += "INSERT INTO " + std::string(note) + " VALUES (" + i + ");";
    }
  }
  for (int moment = 0; moment < kMoments; ++moment) sql += "INSERT INTO RKMoment VALUES ('m" + std::to_string(moment) + "');";
  sql +=
      "CREATE INDEX a ON RKMaster(imagePath); CREATE INDEX b ON RKMaster_dataNote(attachedToId);"
      "CREATE INDEX c ON RKImageProxyState(modelId); CREATE INDEX d ON RKSceneInVersion(versionId);"
      "CREATE INDEX e ON RKSceneInVersion_versionId_RidIndex(value); CREATE INDEX f ON RKVersion(masterId);"
      "CREATE INDEX g ON RKMoment(uuid);";
  for (const char* note : {"RKVersion_dataNote", "RKVersion_dateNote", "RKVersion_integerNote",
                           "RKVersion_stringAtomNote", "RKVersion_stringNote"}) {
    sql += "CREATE INDEX i_" + std::string(note) + " ON " + note + "(attachedToId);";
  }
  fill(db, sql);
}

void makeOldTemplate() {
  oldTemplate = *root / "/templates/old.photoslibrary";
  const std::string db = Fixture::makeOld(oldTemplate);
  std::string sql;
  std::string proxies;
  for (int id = 1; id <= kMasters; ++id) {
    const std::string i = std::to_string(id);
    sql += "INSERT INTO RKMaster VALUES (" + i + "," + i + ",'" + imagePath(id) + "');";
    sql += "INSERT INTO RKVersion VALUES (" + i + ",'v" + i + "');INSERT INTO RKMaster_dataNote VALUES (" + i + ");";
    sql += "INSERT INTO RKAlbumVersion VALUES (" + i + ");";
    for (const char* note : {"RKVersion_dataNote", "RKVersion_dateNote", "RKVersion_integerNote",
                             "RKVersion_stringAtomNote", "RKVersion_stringNote"}) {
      sql += "INSERT INTO " + std::string(note) + " VALUES (" + i + ");";
    }
    proxies += "INSERT INTO RKImageProxyState VALUES (" + i + ");INSERT INTO RKModelResource VALUES (" +
               std::to_string(kMasters + id) + "," + i + ",'r" + i + "');";
    proxies += "INSERT INTO RKModelResource_integerNote VALUES (" + std::to_string(kMasters + id) + ");";
  }
  for (int moment = 0; moment < kMoments; ++moment) {
    const int start = moment * (kMasters / kMoments) + 1;
    sql += "INSERT INTO RKMoment VALUES ('m" + std::to_string(moment) + "'," + std::to_string(start) + "," +
           std::to_string(start + kMasters / kMoments - 1) + "," + std::to_string(moment % 2 == 0 ? 1 : 20) + ");";
  }
  sql +=
      "CREATE INDEX a ON RKMaster(imagePath); CREATE INDEX b ON RKVersion(modelId); CREATE INDEX c ON "
      "RKMaster_dataNote(attachedToId); CREATE INDEX d ON RKAlbumVersion(versionId); CREATE INDEX e ON RKMoment(uuid);";
  for (const char* note : {"RKVersion_dataNote", "RKVersion_dateNote", "RKVersion_integerNote",
                           "RKVersion_stringAtomNote", "RKVersion_stringNote"}) {
    sql += "CREATE INDEX i_" + std::string(note) + " ON " + note + "(attachedToId);";
  }
  proxies +=
      "CREATE INDEX a ON RKImageProxyState(modelId); CREATE INDEX b ON RKModelResource(attachedModelId);"
      "CREATE INDEX c ON RKModelResource_integerNote(attachedToId); CREATE INDEX d ON "
      "RKModelResource_stringNote(attachedToId);";
  fill(db, sql);
  fill(oldTemplate + "/database/ImageProxies.apdb", proxies);
}

void makeLibraries() {
  std::mt19937 random(20261211);
  std::set<int> chosen;
  while (static_cast<int>(chosen.size()) < kDeleted) chosen.insert(static_cast<int>(random() % kMasters) + 1);
  deleted.assign(chosen.begin(), chosen.end());
  makeNewTemplate();
  makeOldTemplate();
  newBundle = *root / "/Users/bench/Pictures/New.photoslibrary";
  oldBundle = *root / "/Users/bench/Pictures/Old.photoslibrary";
  fs::create_directories(newBundle + "/database");
  fs::create_directories(oldBundle + "/database");
  for (int id = 1; id <= kResources; ++id) {
    const std::string folder = oldBundle + "/resources/modelresources/" + std::to_string(id % 256);
    if (id <= 256) fs::create_directories(folder);
    std::ofstream(folder + "/r" + std::to_string(id));
  }
  for (const int id : deleted) {
    deletedPathsNew.push_back(newBundle + "/Masters/" + imagePath(id));
    deletedPathsOld.push_back(oldBundle + "/Masters/" + imagePath(id));
  }
}

void copyDatabases(const std::string& from, const std::string& to) {
  for (const auto& entry : fs::directory_iterator(from + "/database"))
    fs::copy_file(entry.path(), to + "/database/" + entry.path().filename().string(), fs::copy_options::overwrite_existing);
}

sqlite3* openPlain(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  return db;
}

void noOp(sqlite3* db, const char* name, int count) {
  sqlite3_create_function_v2(
      db, name, count, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
      [](sqlite3_context* context, int, sqlite3_value**) { sqlite3_result_int(context, 0); }, nullptr, nullptr, nullptr);
}

std::string idList() {
  std::string list = "(";
  for (std::size_t i = 0; i < deleted.size(); ++i) list += (i ? "," : "") + std::to_string(deleted[i]);
  return list + ")";
}

void run(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::fprintf(stderr, "plain transaction failed: %s\n", message ? message : "");
    std::abort();
  }
}

void BM_NewFormatRepair(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    copyDatabases(newTemplate, newBundle);
    PhotosNewDBCleaner cleaner(newBundle, deletedPathsNew, false, false);
    state.ResumeTiming();
    const auto extra = cleaner.startClean();
    if (!extra || extra->size() != deleted.size()) state.SkipWithError("the repair failed");
  }
}

void BM_NewFormatPlainTransaction(benchmark::State& state) {
  const std::string ids = idList();
  for (auto _ : state) {
    state.PauseTiming();
    copyDatabases(newTemplate, newBundle);
    state.ResumeTiming();
    sqlite3* db = openPlain(newBundle + "/database/photos.db");
    noOp(db, "RKMaster_notifyRidIndexDelete", 18);
    noOp(db, "RKVersion_notifyRidIndexDelete", 23);
    noOp(db, "RKMoment_notifyRidIndexDelete", 3);
    std::string sql = "BEGIN IMMEDIATE; DELETE FROM RKMaster WHERE modelId IN " + ids + ";";
    for (const auto& [table, column] : std::vector<std::pair<std::string, std::string>>{
             {"RKMaster_dataNote", "attachedToId"}, {"RKImageProxyState", "modelId"},
             {"RKSceneInVersion", "versionId"}, {"RKSceneInVersion_versionId_RidIndex", "value"},
             {"RKVersion", "masterId"}, {"RKVersion_dataNote", "attachedToId"}, {"RKVersion_dateNote", "attachedToId"},
             {"RKVersion_integerNote", "attachedToId"}, {"RKVersion_stringAtomNote", "attachedToId"},
             {"RKVersion_stringNote", "attachedToId"}}) {
      sql += "DELETE FROM " + table + " WHERE " + column + " IN " + ids + ";";
    }
    sql += "DELETE FROM RKMoment WHERE uuid NOT IN (SELECT momentUuid FROM RKVersion WHERE momentUuid IS NOT NULL);";
    run(db, sql + "COMMIT;");
    sqlite3_close(db);
  }
}

void BM_OldFormatRepair(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    copyDatabases(oldTemplate, oldBundle);
    PhotosOldDBCleaner cleaner(oldBundle, deletedPathsOld, false, false);
    state.ResumeTiming();
    const auto extra = cleaner.startClean();
    if (!extra || extra->size() != 2 * deleted.size()) state.SkipWithError("the repair failed");
  }
}

void BM_OldFormatPlainTransaction(benchmark::State& state) {
  const std::string ids = idList();
  std::unordered_set<std::string> wanted;
  for (const int id : deleted) wanted.insert("r" + std::to_string(id));
  std::set<int> going;
  for (const int id : deleted) {
    const int moment = (id - 1) / (kMasters / kMoments);
    if (moment % 2 == 0) going.insert(moment);
  }
  std::string momentsGoing = "(";
  for (const int moment : going) momentsGoing += (momentsGoing.size() > 1 ? ",'m" : "'m") + std::to_string(moment) + "'";
  momentsGoing += ")";
  for (auto _ : state) {
    state.PauseTiming();
    copyDatabases(oldTemplate, oldBundle);
    state.ResumeTiming();
    sqlite3* library = openPlain(oldBundle + "/database/Library.apdb");
    for (const auto& [name, count] : PhotosOldDBCleaner::kLibraryFunctions()) noOp(library, name.c_str(), count);
    // The moments to go are known too: those of one version holding a
    // deleted master's date.
    std::string sql = "BEGIN IMMEDIATE; DELETE FROM RKMoment WHERE uuid IN " + momentsGoing + ";";
    sql += "DELETE FROM RKMaster WHERE modelId IN " + ids + ";";
    for (const char* table : {"RKVersion"}) sql += "DELETE FROM " + std::string(table) + " WHERE modelId IN " + ids + ";";
    for (const char* note : {"RKMaster_dataNote", "RKVersion_dataNote", "RKVersion_dateNote", "RKVersion_integerNote",
                             "RKVersion_stringAtomNote", "RKVersion_stringNote"}) {
      sql += "DELETE FROM " + std::string(note) + " WHERE attachedToId IN " + ids + ";";
    }
    sql += "DELETE FROM RKAlbumVersion WHERE versionId IN " + ids + ";";
    run(library, sql);
    sqlite3* proxies = openPlain(oldBundle + "/database/ImageProxies.apdb");
    for (const auto& [name, count] : PhotosOldDBCleaner::kProxiesFunctions()) noOp(proxies, name.c_str(), count);
    run(proxies, "BEGIN IMMEDIATE; DELETE FROM RKImageProxyState WHERE modelId IN " + ids +
                     "; DELETE FROM RKModelResource_integerNote WHERE attachedToId IN (SELECT modelId FROM "
                     "RKModelResource WHERE attachedModelId IN " +
                     ids + "); DELETE FROM RKModelResource WHERE attachedModelId IN " + ids + ";");
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(oldBundle + "/resources/modelresources"))
      files += wanted.contains(entry.path().filename().string()) ? 1 : 0;
    run(library, "COMMIT;");
    run(proxies, "COMMIT;");
    sqlite3_close(library);
    sqlite3_close(proxies);
    if (files != deleted.size()) state.SkipWithError("the walk found other files");
  }
}

BENCHMARK(BM_NewFormatRepair)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_NewFormatPlainTransaction)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OldFormatRepair)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OldFormatPlainTransaction)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!bench::initializeInterleaved(argc, argv)) return 1;
  test::TempRoot temporary;
  root = &temporary;
  makeLibraries();
  bench::MedianRatioReporter reporter({{"BM_NewFormatRepair", "BM_NewFormatPlainTransaction", "<= 2"},
                                 {"BM_OldFormatRepair", "BM_OldFormatPlainTransaction", "<= 2"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
