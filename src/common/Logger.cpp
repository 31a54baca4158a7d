#include "common/Logger.h"

#include <mutex>

#include "common/ConsoleLogger.h"
#include "common/FileLogger.h"
#include "common/LogLine.h"
#include "common/MacroConstantsProvider.h"
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

void Logger::flushForTesting() {
  loggingQueue()->sync([] {});
}

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
  std::string text = LogLine::prefix(LogLine::threadLabel(), LogLine::sourceFileName(file), function, line);
  text.append(LogLine::debugRendering(message));
  Logger::output(std::move(text));
}

void MLogMessage(std::string_view message, const std::source_location& location) {
  MLogMessage(message, location.file_name(), LogLine::functionName(location.function_name()), location.line());
}

void MLogFormatted(std::string formattedMessage, std::string_view file, std::string_view function,
                   unsigned long line) {
  std::string text = LogLine::prefix(LogLine::threadLabel(), LogLine::sourceFileName(file), function, line);
  text.append(formattedMessage);
  Logger::output(std::move(text));
}

void MLogFormatted(std::string formattedMessage, const std::source_location& location) {
  MLogFormatted(std::move(formattedMessage), location.file_name(), LogLine::functionName(location.function_name()),
                location.line());
}

}  // namespace vozi
