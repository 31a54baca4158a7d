#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace vozi::platform {

// Runs one program and waits for it: no shell, arguments passed as they
// are, optional bytes on its standard input, standard output and error
// collected (both read as they come, so a chatty child never stalls on a
// full pipe), the child reaped, and an optional time-out after which the
// child and its process group are killed.
class Task {
 public:
  enum class TerminationReason { exit, uncaughtSignal, launchFailed };

  struct Result {
    TerminationReason reason = TerminationReason::launchFailed;
    // The exit status for exit, the signal number for uncaughtSignal.
    int status = -1;
    bool timedOut = false;
    std::string standardOutput;
    std::string standardError;
    // Why the launch failed (launchFailed only).
    std::optional<Error> error;

    bool succeeded() const { return reason == TerminationReason::exit && status == 0 && !timedOut; }
  };

  // Receives the output as it arrives; once set, that stream is not kept in
  // the result.
  using OutputHandler = std::function<void(std::string_view chunk)>;

  Task(std::string executablePath, std::vector<std::string> arguments = {});

  // Bytes written to the child's standard input, which is then closed.
  // Without them the child reads from /dev/null.
  void setStandardInput(std::string data) { input_ = std::move(data); }
  // A zero or negative time-out waits for ever (the default).
  void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  // Replaces the environment ("NAME=value" entries); none inherits ours.
  void setEnvironment(std::vector<std::string> environment) { environment_ = std::move(environment); }
  void setCurrentDirectory(std::string path) { currentDirectory_ = std::move(path); }
  void setStandardOutputHandler(OutputHandler handler) { outputHandler_ = std::move(handler); }
  void setStandardErrorHandler(OutputHandler handler) { errorHandler_ = std::move(handler); }

  // Starts the program and blocks until it has ended and both streams are
  // drained (or the time-out has struck).
  Result run() const;

  // One-call form.
  static Result run(const std::string& executablePath, const std::vector<std::string>& arguments,
                    std::optional<std::string> input = std::nullopt,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

 private:
  std::string executablePath_;
  std::vector<std::string> arguments_;
  std::optional<std::string> input_;
  std::chrono::milliseconds timeout_{0};
  std::optional<std::vector<std::string>> environment_;
  std::optional<std::string> currentDirectory_;
  OutputHandler outputHandler_;
  OutputHandler errorHandler_;
};

}  // namespace vozi::platform
