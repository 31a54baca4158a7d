// vozi-client: the stand-in UI of the daemon, for the demo and by hand.
//
//   vozi-client [--json] [--timeout SECONDS] [--folder PATH]... COMMAND [ARGUMENT...]
//     scan GROUP...|all        scans, with a progress bar on stderr; the groups
//                              searched in chosen folders (duplicates, big
//                              files) search the --folder paths
//     clean GROUP...           cleans what the stored scan result of each group holds
//     results [GROUP...]       the stored scan results (all groups when none is named)
//     preferences [KEY=VALUE...]  reads, or changes and reads, the preferences
//     history                  the cleaning history (socket "getCleaningHistory")
//     request JSON             sends one socket request and prints the reply, if one comes
//     shutdown                 asks the daemon to end (socket "shutdown")
//
// Exit status: 0 done; 1 refused or failed; 2 bad usage; 3 the daemon cannot
// be reached; 4 no answer within the time-out.

#include <chrono>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "client/VoziClient.h"
#include "common/IURLsRelated.h"
#include "common/ItemGroupName.h"
#include "ipc/IPCShared.h"
#include "platform/Json.h"
#include "platform/ProcessInfo.h"

using namespace vozi;
using namespace vozi::client;

namespace {

enum Status { ok = 0, failed = 1, usage = 2, unreachable = 3, timedOut = 4 };

struct Arguments {
  bool json = false;
  std::chrono::milliseconds timeout{600000};
  std::vector<platform::URL> folders;
  std::string command;
  std::vector<std::string> rest;
};

int usageError(const std::string& why) {
  std::fprintf(stderr,
               "vozi-client: %s\n"
               "usage: vozi-client [--json] [--timeout SECONDS] [--folder PATH]... scan GROUP...|all | clean GROUP... | results [GROUP...]"
               " | preferences [KEY=VALUE...] | history | request JSON | shutdown\n",
               why.c_str());
  return usage;
}

int failure(const platform::Error& error) {
  const std::string text = error.localizedDescription();
  std::fprintf(stderr, "vozi-client: %s\n", text.c_str());
  if (text.rfind("no answer", 0) == 0) return timedOut;
  if (text.rfind("cannot reach", 0) == 0) return unreachable;
  return failed;
}

void print(const std::vector<ItemGroupPtr>& groups, const Arguments& arguments, bool withItems) {
  if (arguments.json) return writeJson(groups, stdout);
  const std::string text = table(groups, withItems);
  std::fwrite(text.data(), 1, text.size(), stdout);
}

std::vector<std::string> listOf(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto end = std::min(text.find(',', start), text.size());
    if (end > start) out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::optional<std::string> apply(ZOLMPreferences& preferences, const std::string& setting) {
  const auto equals = setting.find('=');
  if (equals == std::string::npos) return "expected KEY=VALUE: " + setting;
  const std::string key = setting.substr(0, equals);
  const std::string value = setting.substr(equals + 1);
  try {
    if (key == "bigFilesMinSize") {
      preferences.setBigFilesMinSize(std::stoull(value));
    } else if (key == "bigFilesLastOpenMoreThan") {
      preferences.setBigFilesLastOpenMoreThan(std::stoll(value));
    } else if (key == "minTrashSizeToClean") {
      preferences.setMinTrashSizeToClean(std::stoull(value));
    } else if (key == "bigFilesSearchKinds") {
      preferences.setBigFilesSearchKinds(listOf(value));
    } else if (key == "excludeFromDuplicatesSearch") {
      preferences.setExcludeFromDuplicatesSearch(listOf(value));
    } else if (key == "useZOLToCompletelyRemoveApps") {
      preferences.setUseZOLToCompletelyRemoveApps(value == "true" || value == "1");
    } else {
      return "unknown preference: " + key;
    }
  } catch (const std::exception&) {
    return "not a number: " + value;
  }
  return std::nullopt;
}

int socketRequest(const Arguments& arguments, const platform::Value::Dictionary& request, bool expectReply) {
  auto client = SocketClient::connect(UnixSocketIPCServerConstant::Path());
  if (!client) return failure(client.error());
  if (auto sent = (*client)->send(request); !sent) return failure(sent.error());
  if (!expectReply) {
    // The daemon closes the connection when it goes.
    auto closed = (*client)->receive(arguments.timeout);
    if (!closed) return failure(closed.error());
    if (!(*client)->closed()) {
      std::fprintf(stderr, "vozi-client: the daemon did not end within the time-out\n");
      return timedOut;
    }
    return ok;
  }
  auto reply = (*client)->receive(arguments.timeout);
  if (!reply) return failure(reply.error());
  if (!*reply) {
    std::fprintf(stderr, "vozi-client: no reply\n");
    return timedOut;
  }
  auto text = platform::Json::serialize(platform::Value(**reply));
  if (!text) return failure(text.error());
  std::printf("%s\n", arguments.json ? text->c_str() : nlohmann::json::parse(*text).dump(2).c_str());
  return ok;
}

int run(const Arguments& arguments) {
  const bool interactive = !arguments.json;
  auto bar = std::make_shared<ProgressBar>();
  auto progress = [interactive, bar](double fraction) {
    if (interactive) bar->update(fraction);
  };
  auto endProgress = [interactive, bar] {
    if (interactive) bar->finish();
  };
  const std::string& command = arguments.command;
  if (command == "scan" || command == "clean" || command == "results" || command == "preferences") {
    auto service = ServiceClient::make(arguments.timeout);
    if (command == "scan") {
      if (arguments.rest.empty()) return usageError("scan needs group names or all");
      auto groups = groupsNamed(arguments.rest);
      if (!groups) return usageError(groups.error().localizedDescription());
      for (const auto& group : *groups) {
        if (auto* searched = dynamic_cast<IURLsRelated*>(group.get())) searched->setScanningURLs(arguments.folders);
      }
      auto scanned = service->scan(*groups, progress);
      endProgress();
      if (!scanned) return failure(scanned.error());
      print(*scanned, arguments, false);
      return ok;
    }
    if (command == "clean") {
      if (arguments.rest.empty()) return usageError("clean needs group names");
      auto named = groupsNamed(arguments.rest);
      if (!named) return usageError(named.error().localizedDescription());
      std::vector<std::string> names;
      for (const auto& group : *named) names.push_back(group->name().value_or(""));
      auto stored = service->results(names);
      if (!stored) return failure(stored.error());
      auto cleaned = service->clean(*stored, progress);
      endProgress();
      if (!cleaned) return failure(cleaned.error());
      print(*cleaned, arguments, false);
      return ok;
    }
    if (command == "results") {
      std::vector<std::string> names = arguments.rest;
      if (names.empty())
        for (const ItemGroupName each : kAllItemGroupNames) names.emplace_back(rawValue(each));
      auto stored = service->results(names);
      if (!stored) return failure(stored.error());
      print(*stored, arguments, true);
      return ok;
    }
    auto current = service->preferences();
    if (!current) return failure(current.error());
    if (!arguments.rest.empty()) {
      ZOLMPreferences changed = *current;
      for (const auto& setting : arguments.rest)
        if (auto why = apply(changed, setting)) return usageError(*why);
      current = service->updatePreferences(changed);
      if (!current) return failure(current.error());
    }
    std::printf("%s\n", current->description().c_str());
    return ok;
  }
  if (command == "history") return socketRequest(arguments, {{"method", platform::Value(std::string("getCleaningHistory"))}}, true);
  if (command == "shutdown") return socketRequest(arguments, {{"method", platform::Value(std::string("shutdown"))}}, false);
  if (command == "request") {
    if (arguments.rest.size() != 1) return usageError("request needs one JSON object");
    auto parsed = platform::Json::parse(arguments.rest.front());
    if (!parsed || !parsed->asDictionary()) return usageError("not a JSON object: " + arguments.rest.front());
    return socketRequest(arguments, *parsed->asDictionary(), true);
  }
  return usageError("unknown command: " + command);
}

}  // namespace

int main(int argc, char** argv) {
  // One command and out: a scan's large answer, and the many objects read
  // from it, may come in large pages instead of one fault per small page.
  platform::ProcessInfo::allowLargePages(true);
  platform::ProcessInfo::reserveHeap(std::size_t{128} << 20);
  Arguments arguments;
  int index = 1;
  for (; index < argc; ++index) {
    const std::string option = argv[index];
    if (option == "--json") {
      arguments.json = true;
    } else if (option == "--timeout" && index + 1 < argc) {
      char* end = nullptr;
      const double seconds = std::strtod(argv[++index], &end);
      if (end == argv[index] || *end != '\0' || !(seconds > 0)) return usageError("bad time-out");
      arguments.timeout = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    } else if (option == "--folder" && index + 1 < argc) {
      const std::string folder = argv[++index];
      if (folder.empty() || folder.front() != '/') return usageError("a folder is a full path: " + folder);
      arguments.folders.push_back(platform::URL::fileURLWithPath(folder, true));
    } else {
      break;
    }
  }
  if (index >= argc) return usageError("no command");
  arguments.command = argv[index++];
  for (; index < argc; ++index) arguments.rest.emplace_back(argv[index]);
  return run(arguments);
}
