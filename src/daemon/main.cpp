// The daemon's entry: starts the kit runtime, opens the agent's service,
// watches the application bundle, then makes the server and runs it.

#include <cstdio>
#include <cstdlib>

#include "common/Logger.h"
#include "common/MLog.h"
#include "common/MacroConstantsProvider.h"
#include "ipc/UserAgentManger.h"
#include "kit/Varkit.h"
#include "photos/PhotosDBCleaner.h"
#include "platform/DispatchQueue.h"
#include "platform/HostRoot.h"
#include "platform/ProcessInfo.h"
#include "server/UnixSocketIPCServer.h"
#include "services/StandInApplicationIntegrityManager.h"

using namespace vozi;

int main() {
  // Scans and cleans come in runs: their memory is reused, not faulted in
  // again each time; the server hands it back once idle.
  platform::ProcessInfo::keepFreedMemoryForReuse();
  Varkit::with({"Zestor"});
  MLog(Logger::startBanner(platform::ProcessInfo::processName(), MacroConstantsProvider::zolVersionString()));

  const auto queue = platform::DispatchQueue::serial("did.oz.arurServiceManagerQueue");
  queue->async([] {
    if (auto listening = UserAgentManger::shared()->startListening(); !listening)
      MLog("Can't listen for the user agent: " + listening.error().localizedDescription());
  });

  // A clean that deletes photos inside a Photos library repairs it.
  PhotosDBCleaner::registerRepairHook();

  static const auto integrityManager = std::make_shared<StandInApplicationIntegrityManager>();
  integrityManager->startWatching("/Applications/ZOL.app");

  UnixSocketIPCServer::Options options;
  options.exitProcess = [](int status) {
    UserAgentManger::shared()->stopListening();
    Logger::flush();
    std::_Exit(status);
  };
  auto server = UnixSocketIPCServer::make(UnixSocketIPCServer::Factories::standIns(), std::move(options));
  if (!server) {
    // No service definition relies on a quiet failure: say it with the status.
    Logger::flush();
    std::fprintf(stderr, "VOZi: %s\n", server.error().localizedDescription().c_str());
    return 1;
  }
  (*server)->run();
}
