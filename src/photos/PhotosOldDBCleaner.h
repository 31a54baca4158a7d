#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "photos/PhotosDBCleaner.h"

namespace vozi {

// The repair of an older-format library: the deleted masters' rows, their
// versions, notes and album entries, and the moments of one version that
// held them go from "database/Library.apdb"; their proxy states and model
// resources from "database/ImageProxies.apdb". Each database is edited in
// one transaction and both commit only once both edits succeeded (the
// library first). The model-resource files and thumbnail folders of the
// deleted photos are named for deletion.
class PhotosOldDBCleaner : public PhotosDBCleaner {
 public:
  static constexpr const char* kLibraryDBPath = "/database/Library.apdb";
  static constexpr const char* kImageProxiesDBPath = "/database/ImageProxies.apdb";
  static constexpr const char* kModelResourcesFolder = "/resources/modelresources";

  static const std::vector<std::pair<std::string, int>>& kLibraryFunctions();
  static const std::vector<std::pair<std::string, int>>& kProxiesFunctions();

  PhotosOldDBCleaner(std::string photoLibraryPath, std::vector<std::string> duplicatesPaths,
                     bool requireAdditionActionOnCleaningStart, bool requireAdditionActionOnCleaningFinish);

  // Filled by prepareTables(), in the order deletes filter on.
  std::vector<std::string> libraryTables;
  std::vector<std::string> imageProxyTables;

 protected:
  platform::Result<std::vector<std::string>> cleanDatabases() override;

 private:
  void prepareTables();
  void connectToLibrary();
  platform::Result<std::unique_ptr<platform::SQLiteConnection>> connectToProxies();
  platform::Result<void> clearLibrary(const std::vector<std::int64_t>& photosIDs);
  platform::Result<std::vector<std::string>> clearProxies(platform::SQLiteConnection& proxies,
                                                          const std::vector<std::int64_t>& photosIDs);
};

}  // namespace vozi
