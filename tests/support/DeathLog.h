#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <string>

#include "common/FileLogger.h"
#include "common/Logger.h"
#include "platform/ProcessInfo.h"

namespace vozi::test {

// The daemon's log file under a temporary host root, for death tests that
// read after the death what the dying process logged. In the "threadsafe"
// style the child runs the test body again from its start in a new process,
// so the root cannot be a fresh folder per run: the parent makes it and hands
// it down through the environment, and the child finds it there and logs
// into the parent's file.
class DeathLog {
 public:
  DeathLog() {
    if (const char* inherited = std::getenv(kVariable)) {
      root_ = inherited;
    } else {
      std::string pattern = (std::filesystem::temp_directory_path() / "vozi-death-XXXXXX").string();
      if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
      root_ = pattern;
      owner_ = true;
      ::setenv(kVariable, root_.c_str(), 1);
    }
    path_ = root_ + "/Library/Application Support/div.ez.iru/log/" + platform::ProcessInfo::processName() + ".log";
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    if (owner_) std::ofstream(path_, std::ios::trunc).close();
    // The file logger settles its file once: settle it here, under this
    // root, so that a test may point the host root elsewhere afterwards.
    std::optional<std::string> previousRoot;
    if (const char* previous = std::getenv("VOZI_ROOT")) previousRoot = previous;
    ::setenv("VOZI_ROOT", root_.c_str(), 1);
    Logger::flushForTesting();
    FileLogger::resetSharedForTesting();
    const bool settled = FileLogger::shared() != nullptr;
    if (previousRoot)
      ::setenv("VOZI_ROOT", previousRoot->c_str(), 1);
    else
      ::unsetenv("VOZI_ROOT");
    EXPECT_TRUE(settled) << path_;
  }
  ~DeathLog() {
    Logger::flushForTesting();
    FileLogger::resetSharedForTesting();
    if (owner_) {
      ::unsetenv(kVariable);
      std::error_code ignored;
      std::filesystem::remove_all(root_, ignored);
    }
  }
  DeathLog(const DeathLog&) = delete;
  DeathLog& operator=(const DeathLog&) = delete;

  const std::string& path() const { return path_; }
  // The folder the log lies under: the same in the parent and in the child,
  // so it can also hold files the child leaves for the parent to look at.
  const std::string& root() const { return root_; }
  // What the file holds once every line logged so far is written out (the
  // logger writes on a queue of its own).
  std::string contents() const {
    Logger::flushForTesting();
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  // Empties the file between the cases of one test.
  void clear() const { std::ofstream(path_, std::ios::trunc).close(); }

 private:
  static constexpr const char* kVariable = "VOZI_TEST_DEATH_LOG_ROOT";
  std::string root_;
  std::string path_;
  bool owner_ = false;
};

}  // namespace vozi::test
