#include "support/ChildProcess.h"

#include <string_view>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace vozi::test {

bool waitUntilStopped(pid_t pid, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  do {
    std::error_code error;
    bool all = true;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
      // The state is the first field after the command's closing parenthesis.
      std::ifstream stat(task.path() / "stat");
      std::string line;
      std::getline(stat, line);
      const auto close = line.rfind(')');
      const char state = close != std::string::npos && close + 2 < line.size() ? line[close + 2] : '?';
      any = true;
      all = all && (state == 'T' || state == 't');
    }
    if (error) return false;
    if (any && all) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

pid_t spawnProcess(const std::string& path, const std::vector<std::string>& arguments, std::optional<uid_t> uid,
                   const std::vector<std::string>& extraEnvironment) {
  // Everything the child needs is made before the fork.
  std::vector<std::string> texts = extraEnvironment;
  std::vector<char*> environment;
  // An extra entry replaces this process's entry of the same name.
  const auto overridden = [&](std::string_view entry) {
    const std::string_view name = entry.substr(0, entry.find('='));
    for (const std::string& extra : texts)
      if (std::string_view(extra).substr(0, extra.find('=')) == name) return true;
    return false;
  };
  for (char** entry = environ; *entry; ++entry)
    if (!overridden(*entry)) environment.push_back(*entry);
  for (std::string& entry : texts) environment.push_back(entry.data());
  environment.push_back(nullptr);
  std::vector<std::string> words = arguments;
  std::string program = path;
  std::vector<char*> argv{program.data()};
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(*uid) != 0 || ::setuid(*uid) != 0)) ::_exit(3);
    ::execve(program.c_str(), argv.data(), environment.data());
    ::_exit(4);
  }
  return pid;
}

int reapProcess(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace vozi::test
