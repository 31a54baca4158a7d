#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/BashCommand.h"

namespace vozi {

// Runs one of the fixed system tools (BashCommand) as a child process.
class Process {
 public:
  struct Output {
    // What the tool wrote to standard output, none when it wrote nothing or
    // bytes that are not UTF-8.
    std::optional<std::string> output;
    // The same for standard error; also the reason when the tool could not
    // be started at all.
    std::optional<std::string> errorDescription;
  };

  // Runs the tool at its fixed path in the macOS tree, resolved against the
  // host root, with the arguments given as they are (no shell is involved)
  // and waits for it. Without arguments the tool runs with none. Standard
  // input is /dev/null, the environment and the working directory are
  // inherited. The exit status is not looked at: a failing tool shows only
  // through what it wrote to standard error.
  static Output execute(BashCommand command, const std::optional<std::vector<std::string>>& arguments = std::nullopt);
};

}  // namespace vozi
