#include "common/FileLogger.h"

#include <mutex>

#include "platform/CheckedOpen.h"
#include "platform/Date.h"
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
  // The daemon runs as root: a device or a pipe put in the file's place is
  // never opened, a symbolic link is not followed, and a second name of some
  // other file (a hard link) is refused, as root would write into that file.
  auto file = platform::CheckedOpen::existing(
      path, {.access = platform::CheckedOpen::Access::readWrite, .linkCount = 1});
  if (!file || !file->seek(0, platform::FileDescriptor::SeekFrom::end)) return nullptr;
  return std::shared_ptr<FileLogger>(new FileLogger(std::move(*file)));
}

FileLogger::~FileLogger() = default;

void FileLogger::log(const std::string& line) {
  // The size test uses this handle's own offset, before the write: the write
  // that carries the file past the limit completes, and the next one starts
  // the file anew.
  using SeekFrom = platform::FileDescriptor::SeekFrom;
  const auto offset = file_.seek(0, SeekFrom::current);
  if (offset && *offset > maxFileSize && file_.truncate(0)) (void)file_.seek(0, SeekFrom::start);
  std::string record = platform::Date::now().description();
  record.append(": ");
  // Text from file names may hold bytes that are not UTF-8; the log stays
  // valid UTF-8 and the line is kept.
  record.append(platform::Unicode::repairedUTF8(line));
  record.push_back('\n');
  // A failing sink stays silent.
  (void)file_.write(record.data(), record.size());
}

}  // namespace vozi
