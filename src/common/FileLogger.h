#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/Logger.h"
#include "platform/FileDescriptor.h"

namespace vozi {

// Appends "<date>: <line>\n" to the process's log file
//   "/Library/Application Support/div.ez.iru/log/<process name>.log"
// (under the host root). The sink exists only when that file already exists
// as a regular file at the first log call: logging is switched on by creating
// the file and off by removing it, and the state found first holds for the
// life of the process. The daemon never creates the file or its folder.
// Once the write offset has passed maxFileSize the next write empties the
// file first (no rotation, no backup).
class FileLogger final : public Logger {
 public:
  static constexpr std::uint64_t maxFileSize = 52'428'800;  // 50 MiB

  // The process-wide sink, or nullptr; settled once, on first use, safely
  // under concurrent first use.
  static std::shared_ptr<FileLogger> shared();

  // The host path of the log file, computed once per process.
  static std::string logFileURL();

  // A sink on an existing regular file, opened for reading and writing and
  // positioned at its end; nullptr when the path is missing, a folder, a
  // symbolic link, a special file, a file with other hard links, or not
  // openable. Nothing is created or truncated.
  static std::shared_ptr<FileLogger> open(const std::string& path);

  ~FileLogger() override;
  FileLogger(const FileLogger&) = delete;
  FileLogger& operator=(const FileLogger&) = delete;

  void log(const std::string& line) override;

  // Forgets the settled shared sink and log path so that a test can settle
  // them again under its own host root. Production code never calls it.
  static void resetSharedForTesting();

 private:
  explicit FileLogger(platform::FileDescriptor file) : file_(std::move(file)) {}
  platform::FileDescriptor file_;
};

}  // namespace vozi
