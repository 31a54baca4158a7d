#include "common/Logger.h"

#include <chrono>
#include <mutex>

#include "common/ConsoleLogger.h"
#include "common/FileLogger.h"
#include "common/LogLine.h"
#include "common/MacroConstantsProvider.h"
#include "platform/DispatchSemaphore.h"
#include "platform/Fatal.h"
#include "platform/ProcessInfo.h"

namespace vozi {

namespace {

std::mutex& testSinkMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::shared_ptr<Logger>& testSink() {
  static auto* sink = new std::shared_ptr<Logger>;
  return *sink;
}

std::shared_ptr<Logger> chosenSink() {
  {
    std::lock_guard lock(testSinkMutex());
    if (testSink()) return testSink();
  }
  // The fixed sink list, in order; the first type with an instance wins.
  if (auto sink = FileLogger::shared()) return sink;
  if (auto sink = ConsoleLogger::shared()) return sink;
  return nullptr;
}

// A line of the format form: the call site's prefix, then the text as it is.
std::string formattedLine(std::string_view message, std::string_view file, std::string_view function,
                          unsigned long line) {
  std::string text = LogLine::prefix(LogLine::threadLabel(), LogLine::sourceFileName(file), function, line);
  text.append(message);
  return text;
}

// How long a fatal stop waits for its line to be written: the lines queued
// before it go first, and a wedged sink must not turn the stop into a hang.
constexpr std::chrono::seconds kFatalLinePatience{10};

// The fatal stop's hook: the message goes through the sink after every line
// queued before it, and the stop waits until it is written (FileLogger
// writes straight to its file, so a written line survives the abort).
void logFatalStop(std::string_view message, const std::source_location& location) {
  std::shared_ptr<Logger> sink = chosenSink();
  if (!sink) return;
  std::string line = formattedLine(message, location.file_name(), LogLine::functionName(location.function_name()),
                                   location.line());
  const platform::DispatchQueuePtr queue = Logger::loggingQueue();
  if (queue->isCurrent()) {
    // Stopping on the logging queue itself: nothing queued would ever run.
    sink->log(line);
    return;
  }
  auto written = std::make_shared<platform::DispatchSemaphore>(0);
  queue->async([sink, line = std::move(line), written] {
    sink->log(line);
    written->signal();
  });
  written->wait(kFatalLinePatience);
}

// The logger starts with the process: from then on every fatal stop is logged.
[[maybe_unused]] const bool kFatalHookSet = (platform::setFatalHook(&logFatalStop), true);

}  // namespace

platform::DispatchQueuePtr Logger::loggingQueue() {
  // Never destroyed: lines may be logged while the process winds down.
  static auto* queue = new platform::DispatchQueuePtr(platform::DispatchQueue::serial("daz.ir.Logger.loggingQueue"));
  return *queue;
}

void Logger::output(std::string line) {
  std::shared_ptr<Logger> sink = chosenSink();
  if (!sink) return;  // nothing would run: the line is lost either way
  loggingQueue()->async([sink = std::move(sink), line = std::move(line)] { sink->log(line); });
}

void Logger::flush() { loggingQueue()->sync([] {}); }

void Logger::flushForTesting() { flush(); }

void Logger::setSinkForTesting(std::shared_ptr<Logger> sink) {
  std::lock_guard lock(testSinkMutex());
  testSink() = std::move(sink);
}

std::string Logger::startBanner() {
  return startBanner(platform::ProcessInfo::processName(), MacroConstantsProvider::zolVersionString());
}

std::string Logger::startBanner(std::string_view processName, const std::optional<std::string>& version) {
  std::string banner = "started ";
  banner.append(processName).append(" varsion:");
  if (version)
    banner.append("Optional(\"").append(*version).append("\")");
  else
    banner.append("nil");
  return banner;
}

void MLogMessage(std::string_view message, std::string_view file, std::string_view function, unsigned long line) {
  Logger::output(formattedLine(LogLine::debugRendering(message), file, function, line));
}

void MLogMessage(std::string_view message, const std::source_location& location) {
  MLogMessage(message, location.file_name(), LogLine::functionName(location.function_name()), location.line());
}

void MLogFormatted(std::string formattedMessage, std::string_view file, std::string_view function,
                   unsigned long line) {
  Logger::output(formattedLine(formattedMessage, file, function, line));
}

void MLogFormatted(std::string formattedMessage, const std::source_location& location) {
  MLogFormatted(std::move(formattedMessage), location.file_name(), LogLine::functionName(location.function_name()),
                location.line());
}

}  // namespace vozi
