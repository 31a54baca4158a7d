#include "common/Process.h"

#include "platform/HostRoot.h"
#include "platform/Task.h"
#include "platform/Utf8.h"

namespace vozi {

namespace {

std::optional<std::string> textOf(std::string bytes) {
  if (bytes.empty() || !platform::Utf8::isValid(bytes)) return std::nullopt;
  return bytes;
}

}  // namespace

Process::Output Process::execute(BashCommand command, const std::optional<std::vector<std::string>>& arguments) {
  const std::string path = platform::HostRoot::resolve(executablePath(command));
  platform::Task task(path, arguments.value_or(std::vector<std::string>{}));
  platform::Task::Result result = task.run();
  if (result.reason == platform::Task::TerminationReason::launchFailed) {
    std::string why = result.error ? result.error->localizedDescription() : std::string();
    return Output{std::nullopt, "could not launch " + path + (why.empty() ? std::string() : ": " + why)};
  }
  return Output{textOf(std::move(result.standardOutput)), textOf(std::move(result.standardError))};
}

}  // namespace vozi
