// vozi-agent: the per-user agent's stand-in. It connects to the daemon's
// agent service, answers the name and folders of the user it runs as (or of
// --user NAME), and prints every notification call it receives on standard
// output, one line each. Lines on standard input send the user's answers:
//   action <identifier>    the user took the notification's action
//   close <identifier>     the user closed it
// It runs until SIGTERM or SIGINT.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "agent/UserAgentStandIn.h"
#include "platform/FileSystemLayout.h"
#include "platform/ProcessUser.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: vozi-agent [--user NAME] [--silent]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string user = vozi::platform::ProcessUser::name();
  bool silent = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--user" && i + 1 < argc) {
      user = argv[++i];
    } else if (argument == "--silent") {
      silent = true;
    } else {
      return usage();
    }
  }
  if (!vozi::platform::FileSystemLayout::isValidUserName(user)) {
    std::fprintf(stderr, "vozi-agent: not a user name: %s\n", user.c_str());
    return 2;
  }

  // The signals are taken by one thread of ours, so none lands in a worker.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::mutex outputMutex;
  auto agent = vozi::agent::UserAgentStandIn::make(user, [&outputMutex](const std::string& line) {
    std::lock_guard lock(outputMutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  });
  agent->setSilent(silent);
  agent->start();
  std::fprintf(stderr, "vozi-agent: serving user %s\n", user.c_str());

  std::thread commands([&agent] {
    std::string line;
    while (std::getline(std::cin, line)) {
      const auto space = line.find(' ');
      const std::string verb = line.substr(0, space);
      const std::string identifier = space == std::string::npos ? "" : line.substr(space + 1);
      bool sent = false;
      if (verb == "action") {
        sent = agent->sendAction(identifier);
      } else if (verb == "close") {
        sent = agent->sendClose(identifier);
      }
      if (!sent) std::fprintf(stderr, "vozi-agent: nothing sent for: %s\n", line.c_str());
    }
  });
  commands.detach();

  int received = 0;
  sigwait(&stopSignals, &received);
  agent->stop();
  std::fflush(stdout);
  std::_Exit(0);
}
