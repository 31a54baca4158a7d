#include "common/ConsoleLogger.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "common/StringExtensions.h"
#include "platform/ProcessInfo.h"

namespace vozi {

namespace {

void writeToStandardError(const std::string& text) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  char ids[96];
  std::snprintf(ids, sizeof ids, ".%03lld ", static_cast<long long>(millis));
  std::string out = date;
  out.append(ids);
  out.append(platform::ProcessInfo::processName());
  std::snprintf(ids, sizeof ids, "[%ld:%ld] ", platform::ProcessInfo::processIdentifier(),
                platform::ProcessInfo::threadIdentifier());
  out.append(ids);
  out.append(text);
  if (out.empty() || out.back() != '\n') out.push_back('\n');
  std::fwrite(out.data(), 1, out.size(), stderr);
}

}  // namespace

std::shared_ptr<ConsoleLogger> ConsoleLogger::shared() { return nullptr; }

ConsoleLogger::ConsoleLogger() : writer_(writeToStandardError) {}

ConsoleLogger::ConsoleLogger(Writer writer) : writer_(std::move(writer)) {}

void ConsoleLogger::log(const std::string& line) {
  const std::vector<std::string> pieces = chunks(line, pieceLength);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i + 1 < pieces.size())
      writer_(pieces[i]);
    else
      writer_(pieces[i] + "\n");
  }
}

}  // namespace vozi
