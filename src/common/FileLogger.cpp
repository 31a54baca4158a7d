#include "common/FileLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/Date.h"
#include "platform/FileDescriptor.h"
#include "platform/HostRoot.h"
#include "platform/ProcessInfo.h"
#include "platform/Unicode.h"

namespace vozi {

namespace {

struct SharedState {
  std::mutex mutex;
  bool settled = false;
  std::shared_ptr<FileLogger> logger;
  bool pathComputed = false;
  std::string path;
};

SharedState& state() {
  // Never destroyed: the sink keeps its file open until the process ends.
  static auto* shared = new SharedState;
  return *shared;
}

std::string computeLogFileURL() {
  return platform::HostRoot::resolve("/Library/Application Support/div.ez.iru/log/" +
                                     platform::ProcessInfo::processName() + ".log");
}

}  // namespace

std::string FileLogger::logFileURL() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.pathComputed) {
    s.path = computeLogFileURL();
    s.pathComputed = true;
  }
  return s.path;
}

std::shared_ptr<FileLogger> FileLogger::shared() {
  const std::string path = logFileURL();
  auto& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.settled) {
    s.logger = open(path);
    s.settled = true;
  }
  return s.logger;
}

void FileLogger::resetSharedForTesting() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.settled = false;
  s.logger.reset();
  s.pathComputed = false;
  s.path.clear();
}

std::shared_ptr<FileLogger> FileLogger::open(const std::string& path) {
  // The daemon runs as root: look before opening so that a device or a pipe
  // put in the file's place is never opened, and open without following a
  // symbolic link.
  struct stat before{};
  if (::lstat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return nullptr;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  // What was opened must be the regular file looked at, and not a second name
  // of some other file (a hard link would let root write into it).
  struct stat opened{};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != before.st_dev ||
      opened.st_ino != before.st_ino || opened.st_nlink != 1 || ::lseek(fd, 0, SEEK_END) < 0) {
    ::close(fd);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::shared_ptr<FileLogger>(new FileLogger(fd));
}

FileLogger::~FileLogger() { ::close(fd_); }

void FileLogger::log(const std::string& line) {
  // The size test uses this handle's own offset, before the write: the write
  // that carries the file past the limit completes, and the next one starts
  // the file anew.
  const off_t offset = ::lseek(fd_, 0, SEEK_CUR);
  if (offset >= 0 && static_cast<std::uint64_t>(offset) > maxFileSize) {
    if (::ftruncate(fd_, 0) == 0) ::lseek(fd_, 0, SEEK_SET);
  }
  std::string record = platform::Date::now().description();
  record.append(": ");
  // Text from file names may hold bytes that are not UTF-8; the log stays
  // valid UTF-8 and the line is kept.
  record.append(platform::Unicode::repairedUTF8(line));
  record.push_back('\n');
  // A failing sink stays silent.
  (void)platform::FileDescriptor::writeAll(fd_, record.data(), record.size());
}

}  // namespace vozi
