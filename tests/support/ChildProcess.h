#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vozi::test {

// Starts the program at `path` with `arguments` (after its own name), this
// process's environment with `extraEnvironment` ("NAME=value") added or in
// place of the entries of the same names, as `uid`
// (and its group number) when one is given, which needs root. Only system
// calls run between fork and exec. The pid, or -1 when fork failed.
pid_t spawnProcess(const std::string& path, const std::vector<std::string>& arguments,
                   std::optional<uid_t> uid = std::nullopt, const std::vector<std::string>& extraEnvironment = {});

// Waits until every thread of process `pid` has stopped, for at most
// `bound`. A stop signal takes each thread as it next enters the kernel,
// which on a busy machine may be well after the sender went on. False when
// the bound passed or the process is gone.
bool waitUntilStopped(pid_t pid, std::chrono::milliseconds bound);

// Waits for the child and gives its wait status.
int reapProcess(pid_t pid);

}  // namespace vozi::test
