#include "photos/PhotosOldDBCleaner.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "common/FileManager.h"
#include "common/MLog.h"
#include "platform/PathComponents.h"
#include "platform/store/SQLiteShared.h"

namespace vozi {

namespace {

using platform::SQLiteConnection;

platform::Result<void> deleteWhereIn(SQLiteConnection& connection, const std::string& table, const std::string& column,
                                     const std::vector<platform::Value>& list) {
  return connection.executeIn(
      "DELETE FROM " + platform::sqliteQuote(table) + " WHERE " + platform::sqliteQuote(column) + " IN ", list);
}

// True when every component of a relative path stands for itself.
bool isPlainRelativePath(std::string_view path) {
  if (path.empty()) return true;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (!platform::PathComponents::isSingleComponent(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

const std::vector<std::pair<std::string, int>>& PhotosOldDBCleaner::kLibraryFunctions() {
  static const std::vector<std::pair<std::string, int>> functions = {
      {"RKMaster_notifyRidIndexDelete", 17},          {"RKVersion_notifyRidIndexDelete", 20},
      {"RKVersion_stringNote_notifySKIndexDelete", 2}, {"RKAlbumVersion_notifyRidIndexDelete", 4},
      {"RKMoment_notifyRidIndexDelete", 2},           {"RKMomentCollection_notifyRidIndexDelete", 2},
  };
  return functions;
}

const std::vector<std::pair<std::string, int>>& PhotosOldDBCleaner::kProxiesFunctions() {
  static const std::vector<std::pair<std::string, int>> functions = {
      {"RKImageProxyState_notifyRidIndexDelete", 11},
      {"RKModelResource_notifyRidIndexDelete", 5},
  };
  return functions;
}

PhotosOldDBCleaner::PhotosOldDBCleaner(std::string photoLibraryPath, std::vector<std::string> duplicatesPaths,
                                       bool start, bool finish)
    : PhotosDBCleaner(std::move(photoLibraryPath), std::move(duplicatesPaths), start, finish) {
  libraryDBPath = kLibraryDBPath;
}

void PhotosOldDBCleaner::prepareTables() {
  libraryTables = {"RKMaster",           "RKVersion",           "RKMaster_dataNote",      "RKVersion_dataNote",
                   "RKVersion_dateNote", "RKVersion_integerNote", "RKVersion_stringAtomNote", "RKVersion_stringNote"};
  imageProxyTables = {"RKImageProxyState", "RKModelResource", "RKModelResource_integerNote",
                      "RKModelResource_stringNote"};
}

void PhotosOldDBCleaner::connectToLibrary() {
  for (const auto& [name, count] : kLibraryFunctions()) stub(name, count);
}

platform::Result<std::unique_ptr<SQLiteConnection>> PhotosOldDBCleaner::connectToProxies() {
  auto proxies = openDatabase(kImageProxiesDBPath);
  if (!proxies) return proxies.error();
  for (const auto& [name, count] : kProxiesFunctions()) (void)(*proxies)->registerNoOpFunction(name, count);
  return proxies;
}

platform::Result<void> PhotosOldDBCleaner::clearLibrary(const std::vector<std::int64_t>& photosIDs) {
  const auto ids = values(photosIDs);
  for (std::size_t position = 0; position < libraryTables.size(); ++position) {
    const char* column = position < 2 ? "modelId" : "attachedToId";
    if (auto done = deleteWhereIn(*dbConnection, libraryTables[position], column, ids); !done) return done;
  }
  return deleteWhereIn(*dbConnection, "RKAlbumVersion", "versionId", ids);
}

platform::Result<std::vector<std::string>> PhotosOldDBCleaner::clearProxies(SQLiteConnection& proxies,
                                                                            const std::vector<std::int64_t>& photosIDs) {
  std::vector<std::string> result;
  const auto ids = values(photosIDs);
  std::vector<std::int64_t> resourceIDs;
  for (std::size_t position = 0; position < imageProxyTables.size(); ++position) {
    const std::string& table = imageProxyTables[position];
    if (position == 0) {
      if (auto done = deleteWhereIn(proxies, table, "modelId", ids); !done) return done.error();
      continue;
    }
    if (position > 1) {
      if (auto done = deleteWhereIn(proxies, table, "attachedToId", values(resourceIDs)); !done) return done.error();
      continue;
    }
    // The resources of the photos, and their files: a file whose path ends
    // with a resource's identifier is one of them (once per identifier).
    std::unordered_map<std::string, std::size_t> uuids;
    std::set<std::size_t> lengths;
    auto selected = proxies.executeIn(
        "SELECT \"modelId\", \"resourceUuid\" FROM " + platform::sqliteQuote(table) + " WHERE \"attachedModelId\" IN ",
        ids, [&](const SQLiteConnection::Row& row) {
          const auto uuid = row.text("resourceUuid");
          const auto id = row.integer("modelId");
          if (id) resourceIDs.push_back(*id);
          // An empty identifier would name every file.
          if (uuid && !uuid->empty()) {
            ++uuids[*uuid];
            lengths.insert(uuid->size());
          }
        });
    if (!selected) return selected.error();
    FileManager().enumerate(
        {photoLibraryPath() + kModelResourcesFolder}, FileManager::Keys::FileSize,
        FileManager::Options::SkipsHiddenFiles | FileManager::Options::SkipsPackageDescendants,
        [&](const std::string& path, const std::optional<platform::ResourceValues>&) {
          for (const std::size_t length : lengths) {
            if (length > path.size()) continue;
            const auto found = uuids.find(path.substr(path.size() - length));
            if (found == uuids.end()) continue;
            for (std::size_t copy = 0; copy < found->second; ++copy) result.push_back(path);
          }
        });
    if (auto done = deleteWhereIn(proxies, table, "attachedModelId", ids); !done) return done.error();
  }
  return result;
}

platform::Result<std::vector<std::string>> PhotosOldDBCleaner::cleanDatabases() {
  std::vector<std::string> result;
  if (!dbConnection) return result;
  connectToLibrary();
  SQLiteConnection& library = *dbConnection;
  if (auto began = library.begin(); !began) return began.error();
  std::unique_ptr<SQLiteConnection> proxies;
  std::vector<std::string> thumbnails;
  auto edited = [&]() -> platform::Result<void> {
    const auto paths = values(relativeMasterPaths());
    std::vector<std::int64_t> masterIDs;
    std::vector<std::int64_t> dates;
    std::vector<std::string> imagePaths;
    auto masters = library.executeIn(
        "SELECT \"modelId\", \"fileModificationDate\", \"imagePath\" FROM \"RKMaster\" WHERE \"imagePath\" IN ", paths,
        [&](const SQLiteConnection::Row& row) {
          const auto id = row.integer("modelId");
          const auto date = row.integer("fileModificationDate");
          const auto path = row.text("imagePath");
          if (!id || !date || !path) return;
          masterIDs.push_back(*id);
          dates.push_back(*date);
          imagePaths.push_back(*path);
        });
    if (!masters) return masters;
    if (auto done = deleteWhereIn(library, "RKMaster", "imagePath", paths); !done) return done;

    // The moments of one version that hold a deleted master's date, both
    // ends included; the table is read once.
    if (!dates.empty()) {
      struct Moment {
        std::int64_t start, end, versionCount;
        std::string uuid;
      };
      std::vector<Moment> moments;
      auto read = library.execute("SELECT \"startDate\", \"endDate\", \"uuid\", \"versionCount\" FROM \"RKMoment\"", {},
                                  [&moments](const SQLiteConnection::Row& row) {
                                    const auto start = row.integer("startDate");
                                    const auto end = row.integer("endDate");
                                    const auto count = row.integer("versionCount");
                                    const auto uuid = row.text("uuid");
                                    if (start && end && count && uuid) moments.push_back({*start, *end, *count, *uuid});
                                  });
      if (!read) return read;
      // A moment goes when some deleted date lies in its range: the dates
      // sorted, one search per moment.
      std::vector<std::int64_t> sorted = dates;
      std::sort(sorted.begin(), sorted.end());
      std::vector<platform::Value> gone;
      std::set<std::string> seen;
      for (const Moment& moment : moments) {
        if (moment.versionCount - 1 > 0) continue;
        const auto first = std::lower_bound(sorted.begin(), sorted.end(), moment.start);
        if (first == sorted.end() || *first > moment.end) continue;
        if (seen.insert(moment.uuid).second) gone.emplace_back(moment.uuid);
      }
      if (auto done = deleteWhereIn(library, "RKMoment", "uuid", gone); !done) return done;
    }

    // Thumbnail folders, the versions paired with the masters by position.
    std::size_t position = 0;
    auto versions = library.executeIn(
        "SELECT \"uuid\" FROM \"RKVersion\" WHERE \"modelId\" IN ", values(masterIDs),
        [&](const SQLiteConnection::Row& row) {
          const std::size_t at = position++;
          const auto uuid = row.text("uuid");
          if (at >= imagePaths.size() || !uuid) return;
          const std::string_view image = imagePaths[at];
          const auto slash = image.rfind('/');
          const std::string_view folder = slash == std::string_view::npos ? std::string_view() : image.substr(0, slash);
          if (!isPlainRelativePath(folder) || !platform::PathComponents::isSingleComponent(*uuid)) {
            MLog("Thumbnail folder refused, it would leave the library: " + std::string(image) + ", " + *uuid);
            return;
          }
          thumbnails.push_back(photoLibraryPath() + "/Thumbnails" + (folder.empty() ? "" : "/" + std::string(folder)) +
                               "/" + *uuid);
        });
    if (!versions) return versions;

    prepareTables();
    if (auto done = clearLibrary(masterIDs); !done) return done;

    auto opened = connectToProxies();
    if (!opened) return opened.error();
    proxies = std::move(*opened);
    if (auto began = proxies->begin(); !began) return began;
    auto resources = clearProxies(*proxies, masterIDs);
    if (!resources) return resources.error();
    result = std::move(*resources);
    // Both edits are done: the library commits first, then the proxies.
    if (auto committed = library.commit(); !committed) return committed;
    return proxies->commit();
  }();
  if (!edited) {
    if (proxies) proxies->rollback();
    library.rollback();
    return edited.error();
  }
  result.insert(result.end(), thumbnails.begin(), thumbnails.end());
  return result;
}

}  // namespace vozi
