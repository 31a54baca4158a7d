#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "photos/PhotosDBCleaner.h"

namespace vozi {

// The repair of a newer-format library ("database/photos.db"): the deleted
// masters' rows, with their notes, proxy states and scenes, their versions
// with theirs, and the moments left without a version go, in one
// transaction; the masters' derivative folders are named for deletion.
//
// The library's triggers call functions the database does not define; each
// is stubbed with a no-op before the first delete. For two of them the
// argument count differs between versions of the library: the deletes that
// need one are tried under each count of kSQLFinctionsConstants in turn,
// each try undone (a savepoint) before the next.
class PhotosNewDBCleaner : public PhotosDBCleaner {
 public:
  static constexpr const char* kLibraryDBPath = "/database/photos.db";
  static constexpr const char* kRKVersionFuncKey = "RKVersion_notifyRidIndexDelete";
  static constexpr const char* kRKMomentFuncKey = "RKMoment_notifyRidIndexDelete";
  static constexpr const char* kDerivativesFolder = "/resources/proxies/derivatives/00/00/";

  // The counts tried, in order, for the functions whose count varies.
  static const std::map<std::string, std::vector<int>>& kSQLFinctionsConstants();
  // The functions of fixed count, in the order they are stubbed.
  static const std::vector<std::pair<std::string, int>>& kFixedFunctions();

  PhotosNewDBCleaner(std::string photoLibraryPath, std::vector<std::string> duplicatesPaths,
                     bool requireAdditionActionOnCleaningStart, bool requireAdditionActionOnCleaningFinish);

  // Runs the block under each count of the key until one try succeeds;
  // the last failure when none does, no failure for a key not listed.
  platform::Result<void> prepareTableToClean(const std::string& key,
                                             const std::function<platform::Result<void>()>& executionBlock);

 protected:
  platform::Result<std::vector<std::string>> cleanDatabases() override;

 private:
  struct Masters {
    std::vector<std::int64_t> photoIDs;
    std::vector<std::string> thumbnailDirNames;  // modelId in lower-case hexadecimal
  };

  void stubDBFuctions();
  void prepareFunctionCouldChange(const std::string& key, int argsCount);
  platform::Result<Masters> cleanRKMasterTables(const std::vector<std::string>& filesPaths);
  platform::Result<void> cleanScenes(const std::vector<std::int64_t>& photoIDs);
  platform::Result<std::vector<std::string>> cleanVersionTables(const std::vector<std::int64_t>& photoIDs);
  platform::Result<void> cleanMomentsTables(const std::vector<std::string>& momentsUUIDs);
  platform::Result<void> deleteWhereIn(const std::string& table, const std::string& column,
                                       const std::vector<platform::Value>& list);
};

}  // namespace vozi
