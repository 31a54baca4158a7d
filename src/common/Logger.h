#pragma once

#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "platform/DispatchQueue.h"

namespace vozi {

void MLogMessage(std::string_view message, std::string_view file, std::string_view function, unsigned long line);
void MLogMessage(std::string_view message, const std::source_location& location);
void MLogFormatted(std::string formattedMessage, std::string_view file, std::string_view function,
                   unsigned long line);
void MLogFormatted(std::string formattedMessage, const std::source_location& location);

// A log sink. Every line of the process goes through MLog (common/MLog.h) to
// the serial queue "daz.ir.Logger.loggingQueue", which hands it to the first
// sink type of a fixed list that has a shared instance: FileLogger, then
// ConsoleLogger. log() only ever runs on that queue, so a sink needs no lock.
// The logger also takes the message of every fatal stop (platform/Fatal.h)
// from the start of the process: it is logged after the lines before it and
// written out before the process aborts.
class Logger {
 public:
  virtual ~Logger() = default;
  // Writes one finished line (no date, no line terminator).
  virtual void log(const std::string& line) = 0;

  // The process-wide serial queue every line is written on; made on first use
  // and never destroyed.
  static platform::DispatchQueuePtr loggingQueue();

  // The start banner the daemon logs first:
  //   "started <process name> varsion:Optional(\"<version>\")", or "...varsion:nil".
  static std::string startBanner();
  static std::string startBanner(std::string_view processName, const std::optional<std::string>& version);

  // Returns once every line queued before the call has been handed to its
  // sink: the daemon calls it before it ends the process.
  static void flush();

  // Test support. flushForTesting() returns once every line queued before it
  // has been handed to its sink. setSinkForTesting() puts a sink before the
  // fixed list (nullptr takes it away again); production code never calls it.
  static void flushForTesting();
  static void setSinkForTesting(std::shared_ptr<Logger> sink);

 private:
  friend void MLogMessage(std::string_view, std::string_view, std::string_view, unsigned long);
  friend void MLogFormatted(std::string, std::string_view, std::string_view, unsigned long);

  // Picks the sink on the calling thread and queues the line for it without
  // waiting; with no sink the line is dropped.
  static void output(std::string line);
};

}  // namespace vozi
