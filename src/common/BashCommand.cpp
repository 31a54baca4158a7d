#include "common/BashCommand.h"

#include "common/RawValue.h"

namespace vozi {

std::string_view executablePath(BashCommand command) {
  switch (command) {
    case BashCommand::launchctl:
      return "/bin/launchctl";
    case BashCommand::killAll:
      return "/usr/bin/killAll";
    case BashCommand::defaults:
      return "/usr/bin/defaults";
  }
  return {};
}

std::string_view rawValue(BashCommandLaunchctl value) {
  switch (value) {
    case BashCommandLaunchctl::load:
      return "load";
    case BashCommandLaunchctl::unload:
      return "unload";
    case BashCommandLaunchctl::list:
      return "list";
    case BashCommandLaunchctl::remove:
      return "remove";
  }
  return {};
}

std::optional<BashCommandLaunchctl> launchctlFromRawValue(std::string_view raw) {
  return caseWithRawValue({BashCommandLaunchctl::load, BashCommandLaunchctl::unload, BashCommandLaunchctl::list,
                           BashCommandLaunchctl::remove},
                          raw);
}

std::string_view rawValue(BashCommandDefaults value) {
  switch (value) {
    case BashCommandDefaults::read:
      return "read";
    case BashCommandDefaults::delete_:
      return "delete";
  }
  return {};
}

std::optional<BashCommandDefaults> defaultsFromRawValue(std::string_view raw) {
  return caseWithRawValue({BashCommandDefaults::read, BashCommandDefaults::delete_}, raw);
}

}  // namespace vozi
