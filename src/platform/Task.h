#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/FileDescriptor.h"
#include "platform/Result.h"

namespace vozi::platform {

class RunningTask;

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

  // Starts the program and returns at once with the running child, whose
  // standard input stays open for the caller (setStandardInput is ignored).
  // The time-out does not apply: the caller ends the child.
  platform::Result<std::unique_ptr<RunningTask>> start() const;

  // One-call form.
  static Result run(const std::string& executablePath, const std::vector<std::string>& arguments,
                    std::optional<std::string> input = std::nullopt,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

 private:
  friend class RunningTask;
  struct Spawned;
  platform::Result<Spawned> spawn(bool inputPipe) const;

  std::string executablePath_;
  std::vector<std::string> arguments_;
  std::optional<std::string> input_;
  std::chrono::milliseconds timeout_{0};
  std::optional<std::vector<std::string>> environment_;
  std::optional<std::string> currentDirectory_;
  OutputHandler outputHandler_;
  OutputHandler errorHandler_;
};

// A child that runs while the caller talks to it (Task::start): the caller
// writes to its standard input as it likes; a thread of its own reads the
// child's output as it comes (into the handlers of the Task, or kept here)
// and notices its end. Signals go through a process descriptor, so they
// never reach another process that took the number after the child ended.
//
//   auto child = Task("/usr/bin/agent", {"--user", "bob"}).start();
//   (*child)->write("hello\n");
//   (*child)->waitForStandardOutput([](std::string_view out) { return out.find("ready\n") != out.npos; }, 5s);
//   (*child)->terminate();
//   const Task::Result end = (*child)->wait();
//
// Every method may be called from any thread. Destruction kills a child
// still running (SIGKILL to its process group) and reaps it.
class RunningTask {
 public:
  ~RunningTask();
  RunningTask(const RunningTask&) = delete;
  RunningTask& operator=(const RunningTask&) = delete;

  pid_t pid() const { return pid_; }

  // Writes all of `bytes` to the child's standard input, blocking while the
  // pipe is full; false when the input is closed or the child stopped
  // reading it for good.
  bool write(std::string_view bytes);
  void closeStandardInput();

  // What the child wrote so far (empty for a stream a handler takes).
  std::string standardOutput() const;
  std::string standardError() const;
  // Waits until `satisfied` holds for the standard output so far, the
  // output has ended, or the time-out has passed; whether it holds.
  bool waitForStandardOutput(const std::function<bool(std::string_view output)>& satisfied,
                             std::chrono::milliseconds timeout) const;

  // Sends the signal to the child alone; false once it has been reaped.
  bool signal(int signalNumber) const;
  // SIGTERM.
  bool terminate() const;
  // Waits for the child to end and its output to drain. The same result
  // every time.
  Task::Result wait();

 private:
  friend class Task;
  RunningTask(pid_t pid, FileDescriptor exitWatch, FileDescriptor input, FileDescriptor output,
              FileDescriptor error, Task::OutputHandler outputHandler, Task::OutputHandler errorHandler);
  void readLoop(FileDescriptor output, FileDescriptor error);
  bool signalLocked(int signalNumber) const;

  const pid_t pid_;
  const FileDescriptor exitWatch_;
  const Task::OutputHandler outputHandler_;
  const Task::OutputHandler errorHandler_;

  std::mutex inputMutex_;
  FileDescriptor input_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Task::Result result_;
  bool outputEnded_ = false;
  bool reaped_ = false;
  struct Reader;
  std::unique_ptr<Reader> reader_;
};

}  // namespace vozi::platform
