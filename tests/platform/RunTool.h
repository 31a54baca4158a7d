#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace vozi::test {

// Runs a program with fixed arguments (no shell) and returns its standard
// output when it exits with status 0.
inline std::optional<std::string> runTool(const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  std::string output;
  if (spawned == 0) {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0) {
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      output.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(pipeEnds[0]);
  if (spawned != 0) return std::nullopt;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

}  // namespace vozi::test
