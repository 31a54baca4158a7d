#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/Logger.h"

namespace vozi::test {

// Collects the log lines written while it lives.
class LogCapture {
 public:
  LogCapture() { Logger::setSinkForTesting(sink_); }
  ~LogCapture() {
    Logger::flushForTesting();
    Logger::setSinkForTesting(nullptr);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const {
    Logger::flushForTesting();
    return sink_->lines();
  }
  // The lines written since the last take (or since the capture began).
  std::vector<std::string> take() {
    Logger::flushForTesting();
    return sink_->take();
  }
  // The lines without their "<thread> file function[line]: " prefix.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& line : lines()) {
      const auto end = line.find("]: ");
      out.push_back(end == std::string::npos ? line : line.substr(end + 3));
    }
    return out;
  }
  // How many lines contain `text`, counting everything logged before the call.
  std::size_t count(const std::string& text) const { return linesContaining(text).size(); }
  // Waits until some line contains `text`; false when the patience ran out
  // (a safety net against a hang, not a timing).
  bool waitForLine(const std::string& text, std::chrono::seconds patience = std::chrono::seconds(60)) const {
    return sink_->waitFor(text, patience);
  }
  // Lines that contain `text`.
  std::vector<std::string> linesContaining(const std::string& text) const {
    std::vector<std::string> found;
    for (const auto& line : lines())
      if (line.find(text) != std::string::npos) found.push_back(line);
    return found;
  }

 private:
  class Sink : public Logger {
   public:
    void log(const std::string& line) override {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
      changed_.notify_all();
    }
    bool waitFor(const std::string& text, std::chrono::seconds patience) {
      std::unique_lock lock(mutex_);
      return changed_.wait_for(lock, patience, [&] {
        for (const auto& line : lines_)
          if (line.find(text) != std::string::npos) return true;
        return false;
      });
    }
    std::vector<std::string> lines() {
      std::lock_guard lock(mutex_);
      return lines_;
    }
    std::vector<std::string> take() {
      std::lock_guard lock(mutex_);
      return std::exchange(lines_, {});
    }

   private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
  };
  std::shared_ptr<Sink> sink_ = std::make_shared<Sink>();
};

}  // namespace vozi::test
