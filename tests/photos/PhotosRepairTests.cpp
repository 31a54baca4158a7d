#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "common/FileRepresentableGroup.h"
#include "common/TypedFileItem.h"
#include "photos/PhotosControl.h"
#include "photos/PhotosDBCleaner.h"
#include "photos/PhotosNewDBCleaner.h"
#include "platform/PosixError.h"
#include "platform/OperationQueue.h"
#include "sanitizers/FileSystemCleaningOperation.h"
#include "support/LogCapture.h"
#include "support/MacTree.h"
#include "support/PhotosLibraryFixture.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Fixture = test::PhotosLibraryFixture;

// Records every call, per library, and answers "running" as told.
class RecordingControl : public PhotosControl {
 public:
  explicit RecordingControl(bool running) : running_(running) {}
  bool isRunning(const std::string& library, uid_t) override {
    add("isRunning " + library);
    return running_;
  }
  void quit(const std::string& library, uid_t) override { add("quit " + library); }
  void releaseLibrary(const std::string& library, uid_t) override { add("release " + library); }
  void relaunch(const std::string& library, uid_t) override { add("relaunch " + library); }
  std::vector<std::string> calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  void add(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  bool running_;
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

class PhotosRepairTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  test::MacTree tree{root};
  std::shared_ptr<RecordingControl> control = std::make_shared<RecordingControl>(false);
  const std::string library = tree.host("/Users/bob/Pictures/Photos Library.photoslibrary");

  PhotosRepairTest() {
    tree.addUser("bob");
    PhotosControl::setShared(control);
  }
  ~PhotosRepairTest() override {
    PhotosControl::setShared(nullptr);
    PhotosDBCleaner::setOpenDelay(PhotosDBCleaner::kDefaultOpenDelay);
    PhotosDBCleaner::setBusyTimeout(platform::SQLiteConnection::kDefaultBusyTimeout);
  }

  void file(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "x";
  }
  static bool exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

  // A newer-format library: masters 3054 and 3055 are deleted, 10 stays.
  // Moment M has only their versions, S one more, K only 10's.
  std::string newLibrary(const std::string& bundle, Fixture::NewFormat format = {}) {
    const std::string db = Fixture::makeNew(bundle, format);
    Fixture::execute(db,
                     "INSERT INTO RKMaster VALUES (3054, 'a/b/My Photo.JPG'), (3055, 'c/two.jpg'), (10, 'keep.jpg');"
                     "INSERT INTO RKMaster_dataNote VALUES (3054), (10);"
                     "INSERT INTO RKImageProxyState VALUES (3055), (10);"
                     "INSERT INTO RKSceneInVersion VALUES (3054), (10);"
                     "INSERT INTO RKSceneInVersion_versionId_RidIndex VALUES (3055), (10);"
                     "INSERT INTO RKVersion VALUES (1, 3054, 'M'), (2, 3055, 'M'), (3, 3054, NULL), (4, 10, 'K'),"
                     " (5, 3055, 'S'), (6, 10, 'S');"
                     "INSERT INTO RKVersion_dataNote VALUES (3054), (10);"
                     "INSERT INTO RKVersion_dateNote VALUES (3055), (10);"
                     "INSERT INTO RKVersion_integerNote VALUES (3054);"
                     "INSERT INTO RKVersion_stringAtomNote VALUES (10);"
                     "INSERT INTO RKVersion_stringNote VALUES (3055), (10);"
                     "INSERT INTO RKMoment VALUES ('M'), ('S'), ('K');");
    for (const char* name : {"bee", "bef", "a"}) file(bundle + "/resources/proxies/derivatives/00/00/" + name + "/d.jpg");
    return db;
  }
  std::vector<std::string> deletedOf(const std::string& bundle) const {
    return {bundle + "/Masters/a/b/My%20Photo.JPG", bundle + "/Masters/c/two.jpg", bundle + "/Previews/p.jpg"};
  }
  static std::string newLibraryAfterRepair() {
    return "RKImageProxyState: 10\n"
           "RKMaster: 10|keep.jpg\n"
           "RKMaster_dataNote: 10\n"
           "RKMoment: K\nRKMoment: S\n"
           "RKSceneInVersion: 10\n"
           "RKSceneInVersion_versionId_RidIndex: 10\n"
           "RKVersion: 4|10|K\nRKVersion: 6|10|S\n"
           "RKVersion_dataNote: 10\n"
           "RKVersion_dateNote: 10\n"
           "RKVersion_stringAtomNote: 10\n"
           "RKVersion_stringNote: 10\n";
  }
};

TEST_F(PhotosRepairTest, ANewerLibraryLosesTheDeletedMastersRecordsAndDerivatives) {
  const std::string db = newLibrary(library);
  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(deletedOf(library));
  EXPECT_EQ(Fixture::dump(db), newLibraryAfterRepair());
  const std::string derivatives = library + "/resources/proxies/derivatives/00/00/";
  EXPECT_FALSE(exists(derivatives + "bee"));
  EXPECT_FALSE(exists(derivatives + "bef"));
  EXPECT_TRUE(exists(derivatives + "a/d.jpg"));
  EXPECT_EQ(control->calls(), (std::vector<std::string>{"isRunning " + library, "release " + library}));
}

TEST_F(PhotosRepairTest, AFailedRepairChangesNothingAndDeletesNothing) {
  struct Case {
    const char* name;
    Fixture::NewFormat format;
  };
  Fixture::NewFormat noArity;
  noArity.versionArity = 41;
  Fixture::NewFormat aborts;
  aborts.momentArity = -1;
  for (const Case& failing : {Case{"no count fits the versions' trigger", noArity},
                              Case{"the moments' trigger aborts", aborts}}) {
    SCOPED_TRACE(failing.name);
    const std::string bundle = tree.host("/Users/bob/Pictures/" + std::string(failing.name) + ".photoslibrary");
    const std::string db = newLibrary(bundle, failing.format);
    const std::string before = Fixture::dump(db);
    test::LogCapture log;
    PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(deletedOf(bundle));
    EXPECT_EQ(Fixture::dump(db), before);
    EXPECT_TRUE(exists(bundle + "/resources/proxies/derivatives/00/00/bee/d.jpg"));
    EXPECT_EQ(log.count("Error on cleaning photos library duplicates"), 1u);
  }
}

TEST_F(PhotosRepairTest, AnOlderLibraryLosesItsRecordsResourcesAndThumbnails) {
  const std::string db = Fixture::makeOld(library);
  const std::string proxies = library + "/database/ImageProxies.apdb";
  Fixture::execute(db,
                   "INSERT INTO RKMaster VALUES (1, 100, 'a/b/x.jpg'), (2, 200, 'y.jpg'), (3, 300, 'keep.jpg'),"
                   " (4, 500, '../../../outside/z.jpg');"
                   "INSERT INTO RKVersion VALUES (1, 'v1'), (2, 'v2'), (3, 'v3'), (4, 'v4');"
                   "INSERT INTO RKMaster_dataNote VALUES (1), (3);"
                   "INSERT INTO RKVersion_stringNote VALUES (2), (3);"
                   "INSERT INTO RKAlbumVersion VALUES (1), (3);"
                   "INSERT INTO RKMoment VALUES ('starts', 100, 150, 1), ('ends', 150, 200, 1), ('two', 50, 250, 2),"
                   " ('kept', 300, 400, 1), ('none', 600, 700, 0);");
  Fixture::execute(proxies,
                   "INSERT INTO RKImageProxyState VALUES (1), (3);"
                   "INSERT INTO RKModelResource VALUES (11, 1, 'R1'), (12, 2, ''), (13, 3, 'R3'), (14, 2, NULL);"
                   "INSERT INTO RKModelResource_integerNote VALUES (11), (13);"
                   "INSERT INTO RKModelResource_stringNote VALUES (12);");
  for (const char* name : {"resources/modelresources/q/R1", "resources/modelresources/q/R3",
                           "resources/modelresources/other", "Thumbnails/a/b/v1/t.jpg", "Thumbnails/v2/t.jpg",
                           "Thumbnails/v3/t.jpg"}) {
    file(library + "/" + name);
  }
  const std::string sentinel = tree.host("/Users/bob/outside/v4/precious");
  file(sentinel);
  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(
      {library + "/Masters/a/b/x.jpg", library + "/Masters/y.jpg", library + "/Masters/../../../outside/z.jpg"});

  EXPECT_EQ(Fixture::dump(db),
            "RKAlbumVersion: 3\n"
            "RKMaster: 3|300|keep.jpg\n"
            "RKMaster_dataNote: 3\n"
            "RKMoment: kept|300|400|1\nRKMoment: none|600|700|0\nRKMoment: two|50|250|2\n"
            "RKVersion: 3|v3\n"
            "RKVersion_stringNote: 3\n");
  EXPECT_EQ(Fixture::dump(proxies),
            "RKImageProxyState: 3\n"
            "RKModelResource: 13|3|R3\n"
            "RKModelResource_integerNote: 13\n");
  EXPECT_FALSE(exists(library + "/resources/modelresources/q/R1"));
  EXPECT_TRUE(exists(library + "/resources/modelresources/q/R3"));
  EXPECT_TRUE(exists(library + "/resources/modelresources/other"));  // an empty identifier names nothing
  EXPECT_FALSE(exists(library + "/Thumbnails/a/b/v1"));
  EXPECT_FALSE(exists(library + "/Thumbnails/v2"));
  EXPECT_TRUE(exists(library + "/Thumbnails/v3/t.jpg"));
  EXPECT_TRUE(exists(sentinel));
}

TEST_F(PhotosRepairTest, AnOlderLibraryWithoutItsProxiesIsLeftAsItWas) {
  Fixture::OldFormat format;
  format.withProxies = false;
  const std::string db = Fixture::makeOld(library, format);
  Fixture::execute(db, "INSERT INTO RKMaster VALUES (1, 100, 'x.jpg'); INSERT INTO RKVersion VALUES (1, 'v1');");
  const std::string before = Fixture::dump(db);
  test::LogCapture log;
  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded({library + "/Masters/x.jpg"});
  EXPECT_EQ(Fixture::dump(db), before);
  EXPECT_FALSE(exists(library + "/database/ImageProxies.apdb"));
  EXPECT_EQ(log.count("Error on cleaning photos library duplicates"), 1u);
}

// Which paths reach which library: each its own; a library in name only,
// a linked bundle and a file still on disk get nothing.
TEST_F(PhotosRepairTest, EachLibraryIsRepairedWithItsOwnDeletedFiles) {
  const std::string other = tree.host("/Users/bob/Pictures/q'; touch pwned; '.photoslibrary");
  const std::string dbA = newLibrary(library);
  const std::string dbB = newLibrary(other);
  const std::string oldNamed = tree.host("/Users/bob/Pictures/x.photoslibraryold");
  const std::string linkedTarget = tree.host("/Users/bob/Elsewhere/real.photoslibrary");
  const std::string dbLinked = newLibrary(linkedTarget);
  fs::create_directory_symlink(linkedTarget, tree.host("/Users/bob/Pictures/linked.photoslibrary"));
  const std::string beforeB = Fixture::dump(dbB);
  const std::string beforeLinked = Fixture::dump(dbLinked);
  file(library + "/Masters/c/two.jpg");  // not deleted after all

  test::LogCapture log;
  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(
      {library + "/Masters/a/b/My%20Photo.JPG", library + "/Masters/c/two.jpg", oldNamed + "/Masters/c/two.jpg",
       tree.host("/Users/bob/Pictures/linked.photoslibrary/Masters/c/two.jpg"), other + "/Masters/c/two.jpg",
       tree.host("/Users/bob/Pictures/plain.jpg")});

  // A: only "My Photo" (3054) went; two.jpg is still on disk.
  const std::string dumpA = Fixture::dump(dbA);
  EXPECT_EQ(dumpA.find("3054|a/b/My Photo.JPG"), std::string::npos);
  EXPECT_NE(dumpA.find("3055|c/two.jpg"), std::string::npos);
  // B: only two.jpg (3055) went.
  const std::string dumpB = Fixture::dump(dbB);
  EXPECT_NE(dumpB, beforeB);
  EXPECT_NE(dumpB.find("3054|a/b/My Photo.JPG"), std::string::npos);
  EXPECT_EQ(dumpB.find("3055|c/two.jpg"), std::string::npos);
  EXPECT_EQ(Fixture::dump(dbLinked), beforeLinked);
  EXPECT_EQ(log.count("Still on disk, its records are kept: "), 1u);
  EXPECT_FALSE(exists(tree.host("/pwned")));
  EXPECT_FALSE(exists(tree.host("/Users/bob/Pictures/pwned")));
  EXPECT_FALSE(exists("pwned"));
  const auto calls = control->calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "release " + library), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "release " + other), 1);
  EXPECT_EQ(calls.size(), 4u);
}

TEST_F(PhotosRepairTest, WhilePhotosRunsItQuitsTheOpenWaitsAndItComesBackEvenAfterAFailure) {
  auto running = std::make_shared<RecordingControl>(true);
  PhotosControl::setShared(running);
  PhotosDBCleaner::setOpenDelay(200ms);
  const std::string db = newLibrary(library);
  file(library + "/private/com.apple.Photos/appPrivateData.plist");
  test::LogCapture log;
  const auto start = std::chrono::steady_clock::now();
  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(deletedOf(library));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
  EXPECT_EQ(Fixture::dump(db), newLibraryAfterRepair());
  EXPECT_FALSE(exists(library + "/private/com.apple.Photos/appPrivateData.plist"));
  EXPECT_EQ(log.count("on daz.ir.photosDBQueue"), 1u);
  EXPECT_EQ(running->calls(), (std::vector<std::string>{"isRunning " + library, "quit " + library, "release " + library,
                                                        "relaunch " + library}));

  // A library whose database is missing fails, and Photos still comes back.
  const std::string broken = tree.host("/Users/bob/Pictures/Broken.photoslibrary");
  fs::create_directories(broken + "/database");
  auto again = std::make_shared<RecordingControl>(true);
  PhotosControl::setShared(again);
  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded({broken + "/Masters/x.jpg"});
  EXPECT_EQ(again->calls(), (std::vector<std::string>{"isRunning " + broken, "quit " + broken, "release " + broken,
                                                      "relaunch " + broken}));
  EXPECT_FALSE(exists(broken + "/database/Library.apdb"));
}

TEST_F(PhotosRepairTest, ABusyDatabaseIsLeftAsItWasUntilItIsFree) {
  PhotosDBCleaner::setBusyTimeout(100ms);
  const std::string db = newLibrary(library);
  const std::string before = Fixture::dump(db);
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE; INSERT INTO RKMoment VALUES ('W');", nullptr, nullptr, nullptr),
            SQLITE_OK);
  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(deletedOf(library));
  EXPECT_TRUE(exists(library + "/resources/proxies/derivatives/00/00/bee/d.jpg"));
  ASSERT_EQ(sqlite3_exec(writer, "ROLLBACK;", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(writer);
  EXPECT_EQ(Fixture::dump(db), before);

  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(deletedOf(library));
  EXPECT_EQ(Fixture::dump(db), newLibraryAfterRepair());
}

// The clean of photo items runs the repair once, with the files it removed.
TEST_F(PhotosRepairTest, ACleanOfPhotosRepairsTheirLibraryOnce) {
  PhotosDBCleaner::registerRepairHook();
  const std::string db = newLibrary(library);
  const std::string mine = library + "/Masters/a/b/My Photo.JPG";
  const std::string kept = library + "/Masters/c/two.jpg";
  file(mine);
  file(kept);
  auto group = std::make_shared<FileRepresentableGroup>("photos", 0, nullptr, "photos", nullptr, nullptr);
  auto scope = std::make_shared<CleaningScope>();
  scope->roots = {library};
  scope->storedPaths = {mine};  // two.jpg is not the clean's to delete
  for (const std::string& path : {mine, kept}) {
    group->addItem(std::make_shared<TypedFileItem>(platform::URL::fileURLWithPath(path), 1, std::nullopt,
                                                   "fileIdentifier", 4));
  }
  auto queue = std::make_shared<platform::OperationQueue>("photos clean");
  auto clean = std::make_shared<FileSystemCleaningOperation<FileRepresentableGroup>>(
      group, nullptr, nullptr, SanitizerEnvironment{queue, nullptr, scope});
  test::LogCapture log;
  queue->addOperation(clean);
  clean->waitUntilFinished();
  AdditionalUpdates::setPhotosRepairHook(nullptr);
  EXPECT_FALSE(exists(mine));
  EXPECT_TRUE(exists(kept));
  EXPECT_EQ(log.count("--> enter remove additional info for photos"), 1u);
  const std::string dump = Fixture::dump(db);
  EXPECT_EQ(dump.find("3054|a/b/My Photo.JPG"), std::string::npos);
  EXPECT_NE(dump.find("3055|c/two.jpg"), std::string::npos);
}

// The counts are tried in order until one fits; the last failure comes
// back when none does; a name not listed runs nothing.
TEST_F(PhotosRepairTest, ArityProbingTriesEachCountInTurn) {
  PhotosNewDBCleaner cleaner(library, {}, false, false);
  int attempts = 0;
  const auto failUntil = [&attempts](int succeeding) {
    return [&attempts, succeeding]() -> platform::Result<void> {
      if (++attempts < succeeding) return platform::PosixError::make(EBUSY, std::to_string(attempts));
      return {};
    };
  };
  EXPECT_TRUE(cleaner.prepareTableToClean(PhotosNewDBCleaner::kRKVersionFuncKey, failUntil(4)));
  EXPECT_EQ(attempts, 4);  // 20, 21, 22, then 23
  attempts = 0;
  const auto never = cleaner.prepareTableToClean(PhotosNewDBCleaner::kRKMomentFuncKey, failUntil(100));
  ASSERT_FALSE(never);
  EXPECT_EQ(attempts, 3);
  EXPECT_NE(never.error().localizedDescription().find("3"), std::string::npos);
  attempts = 0;
  EXPECT_TRUE(cleaner.prepareTableToClean("RKUnknown_notifyRidIndexDelete", failUntil(100)));
  EXPECT_EQ(attempts, 0);
  EXPECT_EQ(PhotosNewDBCleaner::kSQLFinctionsConstants().at(PhotosNewDBCleaner::kRKVersionFuncKey).size(), 21u);
}

// As root, a repair of someone else's library leaves nothing of root's in it.
TEST_F(PhotosRepairTest, AsRootTheLibraryKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string db = newLibrary(library);
  for (const auto& entry : fs::recursive_directory_iterator(library)) ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chown(library.c_str(), 65534, 65534), 0);
  PhotosDBCleaner::removeAdditionalInfoForPhotosIfNeeded(deletedOf(library));
  EXPECT_EQ(Fixture::dump(db), newLibraryAfterRepair());
  for (const auto& entry : fs::recursive_directory_iterator(library)) {
    struct stat info {};
    ASSERT_EQ(::lstat(entry.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u) << entry.path();
  }
}

}  // namespace
}  // namespace vozi
