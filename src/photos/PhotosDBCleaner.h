#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"
#include "platform/Value.h"
#include "platform/store/SQLiteConnection.h"

namespace vozi {

// The repair of one Photos library bundle after a clean deleted photos in
// it: the records of the deleted files go from the library's databases and
// the files derived from them (thumbnails, derivatives, model resources)
// are named for deletion. One object per library and repair; the format's
// subclass does the database work (PhotosNewDBCleaner, PhotosOldDBCleaner).
//
// Every database of the bundle is reached without a link, must be a regular
// file with one name owned by the bundle's owner, and is edited in one
// transaction: a failure anywhere leaves it as it was. Photos is asked to
// let go of the library before the edit (PhotosControl) and, when it was
// running, to come back afterwards, whatever the outcome.
//
// Runs on the caller's thread; only the opening of the database may run on
// "daz.ir.photosDBQueue", later by the open delay when Photos was running,
// while the caller waits.
class PhotosDBCleaner {
 public:
  static constexpr const char* kQueueLabel = "daz.ir.photosDBQueue";
  static constexpr std::string_view kLibraryExtension = ".photoslibrary";
  static constexpr std::string_view kMastersComponent = "/Masters/";
  static constexpr std::chrono::milliseconds kDefaultOpenDelay{10000};

  PhotosDBCleaner(std::string photoLibraryPath, std::vector<std::string> duplicatesPaths,
                  bool requireAdditionActionOnCleaningStart, bool requireAdditionActionOnCleaningFinish);
  virtual ~PhotosDBCleaner();
  PhotosDBCleaner(const PhotosDBCleaner&) = delete;
  PhotosDBCleaner& operator=(const PhotosDBCleaner&) = delete;

  // The whole repair; the paths of the extra files to delete (they may not
  // exist). Called once.
  platform::Result<std::vector<std::string>> startClean();

  // The cleaner of the library's format: the newer one when anything
  // stands at "database/photos.db", else the older one.
  static std::unique_ptr<PhotosDBCleaner> dbCleaner(const std::string& photoLibraryPath,
                                                    std::vector<std::string> duplicatesPaths,
                                                    bool requireAdditionActionOnCleaningStart,
                                                    bool requireAdditionActionOnCleaningFinish);

  // The entry for deleted Photos files (host paths): each library holding
  // some of them is repaired with its own paths, then the extra files its
  // repair names are deleted. A path where something still stands was not
  // deleted and is left out. With no answer given, whether Photos runs is
  // asked for each library.
  static void removeAdditionalInfoForPhotosIfNeeded(const std::vector<std::string>& photosPaths,
                                                    std::optional<bool> photosWasRunning = std::nullopt);
  // The library bundle a path lies in: the first component of its path in
  // the tree that ends with ".photoslibrary" (as written) and is a real
  // folder, as a host path; none for a path in no library.
  static std::optional<std::string> libraryRoot(const std::string& path);
  static bool photosRunning(const std::string& library);

  // Makes the entry the sanitizers' Photos repair.
  static void registerRepairHook();
  // How long the open waits after Photos was asked to quit (10 s).
  static void setOpenDelay(std::chrono::milliseconds delay);
  // How long a statement waits for a lock another program holds (5 s);
  // past it the repair fails and changes nothing.
  static void setBusyTimeout(std::chrono::milliseconds timeout);

  const std::string& photoLibraryPath() const { return photoLibraryPath_; }
  const std::vector<std::string>& duplicatesPaths() const { return duplicatesPaths_; }

 protected:
  // The format's database work on the open connection; the extra files.
  virtual platform::Result<std::vector<std::string>> cleanDatabases() = 0;

  void beforeStart();
  platform::Result<void> createConnection();
  void cleanIsFinished();

  // Opens a database of the bundle ("/database/…") as every one is opened.
  platform::Result<std::unique_ptr<platform::SQLiteConnection>> openDatabase(const std::string& relativePath) const;
  // The deleted paths below the first "/Masters/", "%20" read as a blank.
  std::vector<std::string> relativeMasterPaths() const;
  // Runs `work` between BEGIN IMMEDIATE and COMMIT; rolls back on any
  // failure, a failed COMMIT included.
  static platform::Result<void> inTransaction(platform::SQLiteConnection& connection,
                                              const std::function<platform::Result<void>()>& work);
  // Registers a no-op function on the connection (none: nothing).
  void stub(const std::string& name, int argumentCount);
  static std::vector<platform::Value> values(const std::vector<std::int64_t>& numbers);
  static std::vector<platform::Value> values(const std::vector<std::string>& texts);

  std::unique_ptr<platform::SQLiteConnection> dbConnection;
  std::string libraryDBPath;
  std::string photosAppName = "Photos";
  bool requireAdditionActionOnCleaningStart;
  bool requireAdditionActionOnCleaningFinish;

 private:
  std::string photoLibraryPath_;
  std::vector<std::string> duplicatesPaths_;
  uid_t owner_ = 0;
};

}  // namespace vozi
