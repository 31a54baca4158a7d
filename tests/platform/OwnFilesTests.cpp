#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/AtomicFile.h"
#include "platform/CheckedOpen.h"
#include "platform/CocoaError.h"
#include "platform/FileDescriptor.h"
#include "platform/PosixError.h"
#include "support/TempRoot.h"

namespace vozi::platform {
namespace {

using test::TempRoot;
namespace fs = std::filesystem;

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// ---- FileDescriptor ---------------------------------------------------------

TEST(FileDescriptorMoveTest, OwnershipTravelsWithTheMoveAndIsClosedOnce) {
  TempRoot root;
  const std::string path = root.writeFile("/file", "abc");
  FileDescriptor first(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(first);
  const int fd = first.get();

  FileDescriptor second(std::move(first));
  EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
  EXPECT_EQ(second.get(), fd);

  // Assigning over a holder closes what it held before.
  FileDescriptor third(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  const int overwritten = third.get();
  third = std::move(second);
  EXPECT_FALSE(isOpen(overwritten));
  EXPECT_EQ(third.get(), fd);
  EXPECT_TRUE(isOpen(fd));

  // Self-assignment keeps the descriptor.
  FileDescriptor& alias = third;
  third = std::move(alias);
  EXPECT_TRUE(isOpen(fd));

  char buffer[8] = {};
  auto got = third.readSome(buffer, sizeof buffer);
  ASSERT_TRUE(got);
  EXPECT_EQ(std::string(buffer, *got), "abc");

  EXPECT_TRUE(third.close());
  EXPECT_FALSE(third);
  EXPECT_FALSE(isOpen(fd));
  EXPECT_EQ(third.close().error().code, EBADF);
}

TEST(FileDescriptorMoveTest, SeekTruncateAndWriteActOnTheOpenFile) {
  TempRoot root;
  const std::string path = root.writeFile("/file", "0123456789");
  FileDescriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_TRUE(file);
  EXPECT_EQ(*file.seek(0, FileDescriptor::SeekFrom::end), 10u);
  EXPECT_EQ(*file.seek(0, FileDescriptor::SeekFrom::current), 10u);
  ASSERT_TRUE(file.truncate(4));
  EXPECT_EQ(*file.seek(0, FileDescriptor::SeekFrom::start), 0u);
  ASSERT_TRUE(file.write("xy", 2));
  ASSERT_TRUE(file.sync());
  EXPECT_EQ(contentsOf(path), "xy23");
  EXPECT_FALSE(FileDescriptor().seek(0, FileDescriptor::SeekFrom::start));
}

// ---- CheckedOpen ------------------------------------------------------------

TEST(CheckedOpenTest, OpensTheDaemonsOwnFilesAndFolders) {
  TempRoot root;
  const std::string file = root.writeFile("/folder/file", "content");
  auto opened = CheckedOpen::existing(file, {.access = CheckedOpen::Access::readWrite, .owner = ::geteuid(),
                                             .linkCount = 1});
  ASSERT_TRUE(opened) << opened.error().localizedDescription();
  EXPECT_EQ(::fcntl(opened->get(), F_GETFL) & (O_ACCMODE | O_NONBLOCK), O_RDWR);

  auto folder = CheckedOpen::existing(root / "/folder", {.kind = CheckedOpen::Kind::folder});
  ASSERT_TRUE(folder);
  auto inside = CheckedOpen::existingIn(*folder, "file", {});
  ASSERT_TRUE(inside);
  char buffer[16] = {};
  EXPECT_EQ(std::string(buffer, *inside->readSome(buffer, sizeof buffer)), "content");
}

TEST(CheckedOpenTest, RefusesWhatIsNotWhatWasAskedFor) {
  TempRoot root;
  const std::string file = root.writeFile("/file", "x");
  const std::string folder = root.makeDirectory("/folder");
  const std::string link = root / "/link";
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  const std::string folderLink = root / "/folderLink";
  ASSERT_EQ(::symlink(folder.c_str(), folderLink.c_str()), 0);
  const std::string pipe = root / "/pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string twice = root.writeFile("/twice", "x");
  ASSERT_EQ(::link(twice.c_str(), (root / "/second name").c_str()), 0);

  using Kind = CheckedOpen::Kind;
  struct Case {
    const char* what;
    std::string path;
    CheckedOpen::Expect expect;
    int error;
  };
  const Case cases[] = {
      {"a link to a file", link, {}, ELOOP},
      {"a link to a folder", folderLink, {.kind = Kind::folder}, ELOOP},
      {"a folder for a file", folder, {}, EISDIR},
      {"a file for a folder", file, {.kind = Kind::folder}, ENOTDIR},
      // Never opened, so a pipe nobody writes to cannot hold the call up.
      {"a pipe for a file", pipe, {.access = CheckedOpen::Access::read}, EINVAL},
      {"a file with a second name", twice, {.linkCount = 1}, EMLINK},
      {"another owner", file, {.owner = ::geteuid() + 1}, EPERM},
      {"nothing", root / "/missing", {}, ENOENT},
  };
  for (const auto& c : cases) {
    auto opened = CheckedOpen::existing(c.path, c.expect);
    ASSERT_FALSE(opened) << c.what;
    EXPECT_EQ(opened.error().domain, PosixError::kDomain) << c.what;
    EXPECT_EQ(opened.error().code, c.error) << c.what << ": " << opened.error().localizedDescription();
  }
  // The same refusals inside an open folder; a name must be one component.
  auto top = CheckedOpen::existing(root.path(), {.kind = Kind::folder});
  ASSERT_TRUE(top);
  EXPECT_EQ(CheckedOpen::existingIn(*top, "link", {}).error().code, ELOOP);
  EXPECT_EQ(CheckedOpen::existingIn(*top, "twice", {.linkCount = 1}).error().code, EMLINK);
  EXPECT_EQ(CheckedOpen::existingIn(*top, "folder/../file", {}).error().code, EINVAL);
  EXPECT_EQ(CheckedOpen::existingIn(*top, "..", {.kind = Kind::folder}).error().code, EINVAL);
}

TEST(CheckedOpenTest, CreatesWithExactlyTheModeAndNeverThroughALink) {
  TempRoot root;
  const mode_t oldMask = ::umask(077);
  const std::string path = root / "/new";
  auto made = CheckedOpen::created(path, 0644, CheckedOpen::Access::write);
  ASSERT_TRUE(made) << made.error().localizedDescription();
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(CheckedOpen::created(path, 0644, CheckedOpen::Access::write).error().code, EEXIST);

  // A link planted at the name is refused, and its target stays as it was.
  const std::string target = root.writeFile("/target", "keep");
  const std::string planted = root / "/planted";
  ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
  EXPECT_EQ(CheckedOpen::created(planted, 0600, CheckedOpen::Access::write).error().code, EEXIST);
  EXPECT_EQ(CheckedOpen::existingOrCreated(planted, 0600, {.access = CheckedOpen::Access::readWrite}).error().code,
            ELOOP);
  EXPECT_EQ(contentsOf(target), "keep");

  // Found or made, the file ends with the mode asked for.
  const std::string store = root.writeFile("/store", "data");
  ASSERT_EQ(::chmod(store.c_str(), 0666), 0);
  for (const std::string& name : {store, root / "/fresh"}) {
    auto opened = CheckedOpen::existingOrCreated(name, 0600, {.access = CheckedOpen::Access::readWrite});
    ASSERT_TRUE(opened) << name;
    ASSERT_EQ(::stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
  }
  EXPECT_EQ(contentsOf(store), "data");

  const std::string folder = root / "/made";
  auto madeFolder = CheckedOpen::createdFolder(folder, 0755);
  ASSERT_TRUE(madeFolder);
  ASSERT_EQ(::stat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  EXPECT_EQ(CheckedOpen::createdFolder(folder, 0755).error().code, EEXIST);
  ::umask(oldMask);
}

// ---- AtomicFile -------------------------------------------------------------

TEST(AtomicFileTest, ReplacesTheFileWholeWithTheModeAskedFor) {
  TempRoot root;
  const std::string folder = root.makeDirectory("/folder");
  const std::string path = folder + "/file";
  for (const std::string& text : {std::string("first"), std::string("second, longer")}) {
    ASSERT_TRUE(AtomicFile::write(path, text, 0600));
    EXPECT_EQ(contentsOf(path), text);
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"file"});
  }
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(AtomicFile::write(folder + "/", "x").error().code, CocoaError::fileWriteUnknown);
}

// Which step fails, with which errno; the rest are the system's own.
struct FailingStep {
  const char* step;
  std::function<void(AtomicFile::Calls&)> breakStep;
  int error;
  long code;
};

// Set from inside the broken call, which cannot capture.
int injectedError = 0;

TEST(AtomicFileTest, AFailingStepLeavesTheFileAsItWasAndNoTemporaryBehind) {
  const FailingStep steps[] = {
      {"create", [](auto& c) { c.makeTemporary = [](char*) { return errno = injectedError, -1; }; }, EACCES,
       CocoaError::fileWriteNoPermission},
      {"mode", [](auto& c) { c.setMode = [](int, mode_t) { return errno = injectedError, -1; }; }, EPERM,
       CocoaError::fileWriteNoPermission},
      {"write", [](auto& c) { c.writeAll = [](int, const void*, std::size_t) { return injectedError; }; }, ENOSPC,
       CocoaError::fileWriteOutOfSpace},
      {"file sync", [](auto& c) { c.syncFile = [](int) { return errno = injectedError, -1; }; }, EIO,
       CocoaError::fileWriteUnknown},
      {"close", [](auto& c) { c.close = [](int fd) { return ::close(fd), errno = injectedError, -1; }; }, EIO,
       CocoaError::fileWriteUnknown},
      {"folder open", [](auto& c) { c.openFolder = [](const char*) { return errno = injectedError, -1; }; }, EMFILE,
       CocoaError::fileWriteUnknown},
      {"keeping the old file", [](auto& c) { c.link = [](const char*, const char*) { return errno = injectedError, -1; }; },
       EMLINK, CocoaError::fileWriteUnknown},
      {"rename", [](auto& c) { c.rename = [](const char*, const char*) { return errno = injectedError, -1; }; }, EXDEV,
       CocoaError::fileWriteUnknown},
      {"folder sync", [](auto& c) { c.syncFolder = [](int) { return errno = injectedError, -1; }; }, EIO,
       CocoaError::fileWriteUnknown},
  };
  for (const auto& step : steps) {
    // Over an existing file and where there was none: either way the folder
    // holds afterwards exactly what it held before.
    for (const bool existed : {true, false}) {
      TempRoot root;
      const std::string folder = root.makeDirectory("/folder");
      const std::string path = folder + "/file";
      if (existed) root.writeFile("/folder/file", "old");
      const auto before = namesIn(folder);
      AtomicFile::Calls calls = AtomicFile::systemCalls();
      step.breakStep(calls);
      injectedError = step.error;
      auto written = AtomicFile::write(path, "new", 0644, calls);
      ASSERT_FALSE(written) << step.step;
      EXPECT_EQ(written.error().code, step.code) << step.step;
      EXPECT_EQ(written.error().userInfo.at("NSFilePath"), Value(path)) << step.step;
      EXPECT_EQ(namesIn(folder), before) << step.step << (existed ? " over a file" : " without one");
      if (existed) {
        EXPECT_EQ(contentsOf(path), "old") << step.step;
      }
    }
  }
}

}  // namespace
}  // namespace vozi::platform
