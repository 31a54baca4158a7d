#include "platform/Task.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/FileDescriptor.h"
#include "platform/PosixError.h"

extern char** environ;

namespace vozi::platform {

namespace {

using Clock = std::chrono::steady_clock;

bool makePipe(FileDescriptor& readEnd, FileDescriptor& writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  readEnd.reset(fds[0]);
  writeEnd.reset(fds[1]);
  return true;
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// SIGPIPE from writing to a child that has gone is held back on this
// thread for the run and discarded afterwards; the write sees EPIPE.
class PipeSignalGuard {
 public:
  PipeSignalGuard() {
    sigemptyset(&pipeSet_);
    sigaddset(&pipeSet_, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSet_, &previous_);
  }
  ~PipeSignalGuard() {
    sigset_t pending;
    sigemptyset(&pending);
    if (::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) && !sigismember(&previous_, SIGPIPE)) {
      const timespec zero{0, 0};
      ::sigtimedwait(&pipeSet_, nullptr, &zero);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  sigset_t pipeSet_;
  sigset_t previous_;
};

// Reads what is available; false once the stream has ended or failed.
bool drain(int fd, std::string& sink, const Task::OutputHandler& handler) {
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count > 0) {
      if (handler)
        handler(std::string_view(buffer, static_cast<std::size_t>(count)));
      else
        sink.append(buffer, static_cast<std::size_t>(count));
      continue;
    }
    if (count == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

// How the child ended, from its wait status (a child that could not be
// reaped was killed).
void recordEnd(Task::Result& result, bool reaped, int waitStatus) {
  if (reaped && WIFEXITED(waitStatus)) {
    result.reason = Task::TerminationReason::exit;
    result.status = WEXITSTATUS(waitStatus);
  } else if (reaped && WIFSIGNALED(waitStatus)) {
    result.reason = Task::TerminationReason::uncaughtSignal;
    result.status = WTERMSIG(waitStatus);
  } else {
    result.reason = Task::TerminationReason::uncaughtSignal;
    result.status = SIGKILL;
  }
}

// Waits for the child; false when it cannot be reaped (already reaped).
bool reapChild(pid_t pid, int& waitStatus, int flags) {
  for (;;) {
    const pid_t done = ::waitpid(pid, &waitStatus, flags);
    if (done == pid) return true;
    if (done < 0 && errno == EINTR) continue;
    return false;
  }
}

}  // namespace

Task::Task(std::string executablePath, std::vector<std::string> arguments)
    : executablePath_(std::move(executablePath)), arguments_(std::move(arguments)) {}

Task::Result Task::run(const std::string& executablePath, const std::vector<std::string>& arguments,
                       std::optional<std::string> input, std::chrono::milliseconds timeout) {
  Task task(executablePath, arguments);
  if (input) task.setStandardInput(std::move(*input));
  task.setTimeout(timeout);
  return task.run();
}

struct Task::Spawned {
  pid_t pid = -1;
  FileDescriptor exitWatch;  // a pidfd; none on kernels without one
  FileDescriptor input;      // write end; none when the child reads /dev/null
  FileDescriptor output;
  FileDescriptor error;
};

platform::Result<Task::Spawned> Task::spawn(bool inputPipe) const {
  if (executablePath_.empty()) return PosixError::make(ENOENT, executablePath_);

  FileDescriptor outRead, outWrite, errRead, errWrite, inRead, inWrite;
  if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite) || (inputPipe && !makePipe(inRead, inWrite)))
    return PosixError::make(errno, executablePath_);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawnattr_init(&attributes);
  if (inputPipe)
    ::posix_spawn_file_actions_adddup2(&actions, inRead.get(), STDIN_FILENO);
  else
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
  if (currentDirectory_) ::posix_spawn_file_actions_addchdir_np(&actions, currentDirectory_->c_str());

  // The child starts with no blocked signals, default dispositions and a
  // process group of its own, so that a time-out reaches its children too.
  sigset_t noSignals, allSignals;
  sigemptyset(&noSignals);
  sigfillset(&allSignals);
  ::posix_spawnattr_setsigmask(&attributes, &noSignals);
  ::posix_spawnattr_setsigdefault(&attributes, &allSignals);
  ::posix_spawnattr_setpgroup(&attributes, 0);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executablePath_.c_str()));
  for (const std::string& argument : arguments_) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  if (environment_) {
    for (const std::string& entry : *environment_) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
  }

  Spawned child;
  const int spawned = ::posix_spawn(&child.pid, executablePath_.c_str(), &actions, &attributes, argv.data(),
                                    environment_ ? envp.data() : environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return PosixError::make(spawned, executablePath_);

  child.exitWatch.reset(static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0)));
  child.input = std::move(inWrite);
  child.output = std::move(outRead);
  child.error = std::move(errRead);
  return child;
}

Task::Result Task::run() const {
  auto spawned = spawn(input_.has_value());
  if (!spawned) {
    Result failed;
    failed.error = spawned.error();
    return failed;
  }
  const pid_t pid = spawned->pid;
  FileDescriptor outRead = std::move(spawned->output);
  FileDescriptor errRead = std::move(spawned->error);
  FileDescriptor inWrite = std::move(spawned->input);
  FileDescriptor exitWatch = std::move(spawned->exitWatch);
  setNonBlocking(outRead.get());
  setNonBlocking(errRead.get());
  if (inWrite) setNonBlocking(inWrite.get());

  PipeSignalGuard pipeGuard;
  Result result;
  bool exited = false;
  int waitStatus = 0;
  std::size_t written = 0;
  if (input_ && input_->empty()) inWrite.reset();

  const bool limited = timeout_.count() > 0;
  auto deadline = Clock::now() + timeout_;
  bool killed = false;

  auto reap = [&](int flags) { return reapChild(pid, waitStatus, flags); };

  // Without a pollable exit handle the loop ends with the streams and the
  // child is reaped by a blocking wait below.
  while (outRead || errRead || (!exited && exitWatch)) {
    pollfd fds[4];
    int count = 0;
    int outIndex = -1, errIndex = -1, inIndex = -1, exitIndex = -1;
    if (outRead) fds[outIndex = count++] = {outRead.get(), POLLIN, 0};
    if (errRead) fds[errIndex = count++] = {errRead.get(), POLLIN, 0};
    if (inWrite) fds[inIndex = count++] = {inWrite.get(), POLLOUT, 0};
    if (!exited && exitWatch) fds[exitIndex = count++] = {exitWatch.get(), POLLIN, 0};

    int waitMs = -1;
    if (limited) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      waitMs = left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
    }
    const int ready = ::poll(fds, static_cast<nfds_t>(count), waitMs);
    if (ready < 0 && errno != EINTR) break;
    if (ready == 0 && limited && Clock::now() >= deadline) {
      if (killed) break;  // something outside the group still holds the pipes
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      killed = true;
      result.timedOut = true;
      deadline = Clock::now() + std::chrono::seconds(1);
      continue;
    }
    if (ready <= 0) continue;

    if (outIndex >= 0 && fds[outIndex].revents && !drain(outRead.get(), result.standardOutput, outputHandler_))
      outRead.reset();
    if (errIndex >= 0 && fds[errIndex].revents && !drain(errRead.get(), result.standardError, errorHandler_))
      errRead.reset();
    if (inIndex >= 0 && fds[inIndex].revents) {
      if (fds[inIndex].revents & (POLLERR | POLLHUP | POLLNVAL)) {
        inWrite.reset();
      } else {
        const ssize_t count = ::write(inWrite.get(), input_->data() + written, input_->size() - written);
        if (count > 0) written += static_cast<std::size_t>(count);
        if ((count < 0 && errno != EAGAIN && errno != EINTR) || written == input_->size()) inWrite.reset();
      }
    }
    if (exitIndex >= 0 && fds[exitIndex].revents) exited = reap(WNOHANG);
  }
  inWrite.reset();
  outRead.reset();
  errRead.reset();
  if (!exited) {
    if (killed) ::kill(pid, SIGKILL);
    exited = reap(0);
  }

  recordEnd(result, exited, waitStatus);
  return result;
}

platform::Result<std::unique_ptr<RunningTask>> Task::start() const {
  auto spawned = spawn(true);
  if (!spawned) return spawned.error();
  return std::unique_ptr<RunningTask>(new RunningTask(spawned->pid, std::move(spawned->exitWatch),
                                                      std::move(spawned->input), std::move(spawned->output),
                                                      std::move(spawned->error), outputHandler_, errorHandler_));
}

struct RunningTask::Reader {
  std::thread thread;
};

RunningTask::RunningTask(pid_t pid, FileDescriptor exitWatch, FileDescriptor input, FileDescriptor output,
                         FileDescriptor error, Task::OutputHandler outputHandler, Task::OutputHandler errorHandler)
    : pid_(pid),
      exitWatch_(std::move(exitWatch)),
      outputHandler_(std::move(outputHandler)),
      errorHandler_(std::move(errorHandler)),
      input_(std::move(input)),
      reader_(std::make_unique<Reader>()) {
  setNonBlocking(output.get());
  setNonBlocking(error.get());
  reader_->thread = std::thread([this, output = std::move(output), error = std::move(error)]() mutable {
    readLoop(std::move(output), std::move(error));
  });
}

RunningTask::~RunningTask() {
  {
    std::lock_guard lock(mutex_);
    if (!reaped_) {
      ::kill(-pid_, SIGKILL);
      signalLocked(SIGKILL);
    }
  }
  closeStandardInput();
  wait();
  reader_->thread.join();
}

void RunningTask::readLoop(FileDescriptor output, FileDescriptor error) {
  std::string outChunk, errChunk;
  // The streams first: the child's end is waited for once they are drained,
  // so that nothing it wrote is lost. A child whose own children keep the
  // pipes open is still reaped through its process descriptor.
  bool exited = false;
  int waitStatus = 0;
  while (output || error || (!exited && exitWatch_)) {
    pollfd fds[3];
    int count = 0;
    int outIndex = -1, errIndex = -1, exitIndex = -1;
    if (output) fds[outIndex = count++] = {output.get(), POLLIN, 0};
    if (error) fds[errIndex = count++] = {error.get(), POLLIN, 0};
    if (!exited && exitWatch_) fds[exitIndex = count++] = {exitWatch_.get(), POLLIN, 0};
    if (::poll(fds, static_cast<nfds_t>(count), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    outChunk.clear();
    errChunk.clear();
    if (outIndex >= 0 && fds[outIndex].revents && !drain(output.get(), outChunk, outputHandler_)) output.reset();
    if (errIndex >= 0 && fds[errIndex].revents && !drain(error.get(), errChunk, errorHandler_)) error.reset();
    if (exitIndex >= 0 && fds[exitIndex].revents) exited = true;
    std::lock_guard lock(mutex_);
    result_.standardOutput += outChunk;
    result_.standardError += errChunk;
    if (!output) outputEnded_ = true;
    changed_.notify_all();
  }
  // A child that has exited stays a zombie until reaped, so its number (and
  // its group's) cannot be reused while the lock is held here: signals sent
  // under the lock before reaped_ is set reach it or nobody.
  std::unique_lock lock(mutex_);
  bool reaped = exited && reapChild(pid_, waitStatus, WNOHANG);
  if (!reaped) {
    lock.unlock();
    reaped = reapChild(pid_, waitStatus, 0);
    lock.lock();
  }
  recordEnd(result_, reaped, waitStatus);
  outputEnded_ = true;
  reaped_ = true;
  changed_.notify_all();
}

bool RunningTask::write(std::string_view bytes) {
  std::lock_guard lock(inputMutex_);
  PipeSignalGuard pipeGuard;
  while (!bytes.empty()) {
    if (!input_) return false;
    const ssize_t count = ::write(input_.get(), bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      input_.reset();
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

void RunningTask::closeStandardInput() {
  std::lock_guard lock(inputMutex_);
  input_.reset();
}

std::string RunningTask::standardOutput() const {
  std::lock_guard lock(mutex_);
  return result_.standardOutput;
}

std::string RunningTask::standardError() const {
  std::lock_guard lock(mutex_);
  return result_.standardError;
}

bool RunningTask::waitForStandardOutput(const std::function<bool(std::string_view)>& satisfied,
                                        std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return satisfied(result_.standardOutput) || outputEnded_; });
  return satisfied(result_.standardOutput);
}

bool RunningTask::signal(int signalNumber) const {
  std::lock_guard lock(mutex_);
  return signalLocked(signalNumber);
}

bool RunningTask::signalLocked(int signalNumber) const {
  if (reaped_) return false;
  if (exitWatch_) return ::syscall(SYS_pidfd_send_signal, exitWatch_.get(), signalNumber, nullptr, 0) == 0;
  return ::kill(pid_, signalNumber) == 0;
}

bool RunningTask::terminate() const { return signal(SIGTERM); }

Task::Result RunningTask::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return reaped_; });
  return result_;
}

}  // namespace vozi::platform
