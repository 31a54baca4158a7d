#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vozi {

// The system tools the daemon may run, and nothing else: each case names one
// fixed executable. There is deliberately no case for a shell, so no command
// line is ever put together from data.
enum class BashCommand { launchctl, killAll, defaults };

// The tool's path in the macOS tree ("/usr/bin/defaults"); run it through the
// host root.
std::string_view executablePath(BashCommand command);

// Sub-commands of launchctl.
enum class BashCommandLaunchctl { load, unload, list, remove };
std::string_view rawValue(BashCommandLaunchctl value);
std::optional<BashCommandLaunchctl> launchctlFromRawValue(std::string_view raw);

// Sub-commands of defaults.
enum class BashCommandDefaults { read, delete_ };
std::string_view rawValue(BashCommandDefaults value);
std::optional<BashCommandDefaults> defaultsFromRawValue(std::string_view raw);

}  // namespace vozi
