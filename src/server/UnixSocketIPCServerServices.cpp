// The named services of the server: the connections' set-up, the data
// requests, and the hooks of the state manager and the background scan.

#include "common/MLog.h"
#include "common/RecordArchive.h"
#include "ipc/XPCServices.h"
#include "platform/Date.h"
#include "server/UnixSocketIPCServer.h"

namespace vozi {

namespace {

// A new transport record of the tracking data, with its flag as it is.
std::shared_ptr<ZOLMTrackingData> modelOf(const ZOLTrackingData& data) {
  return std::make_shared<ZOLMTrackingData>(data.clientID, data.campaignID, data.campaignSource, data.campaignMedium,
                                            data.campaignKeyword, data.campaignContent, data.googleAdWordsID,
                                            data.documentReferrer, data.utmDevice, data.utmMatchType,
                                            data.utmAdGroup, data.retrieved);
}

}  // namespace

// --- Connections ------------------------------------------------------------

void UnixSocketIPCServer::connectionManagerSetupConnection(BaseXPCConnectionManager& manager,
                                                           const std::shared_ptr<platform::XPCConnection>& connection) {
  std::shared_ptr<ServerConnectionManager> server, menuBar;
  {
    std::lock_guard lock(servicesMutex_);
    server = xpcConnectionManager_;
    menuBar = xpcConnectionMenuBar_;
  }
  if (&manager == server.get()) {
    MLog("setup connection");
    connection->setExportedInterface(serverServiceInterface());
    connection->setExportedObject<IZOLServerService>(std::static_pointer_cast<IZOLServerService>(shared_from_this()));
    connection->setRemoteObjectInterface(clientServiceInterface());
    // The newest UI connection is the one called back; the earlier one's
    // proxy is dropped.
    setClientProxy(connection->remoteObjectProxy<IZOLClientService>());
  } else if (&manager == menuBar.get()) {
    MLog("setup connection");
    connection->setExportedInterface(eventServerInterface());
    connection->setExportedObject<IZOLEventServer>(std::static_pointer_cast<IZOLEventServer>(shared_from_this()));
  }
  connection->setInvalidationHandler([] { MLog("invalidationHandler"); });
  connection->setInterruptionHandler([] { MLog("interruptionHandler"); });
}

platform::DispatchQueuePtr UnixSocketIPCServer::connectionManagerDataSyncQueue(BaseXPCConnectionManager&) {
  return dataSyncQueue_;
}

std::string UnixSocketIPCServer::connectionManagerMachServiceName(BaseXPCConnectionManager& manager) {
  std::lock_guard lock(servicesMutex_);
  if (&manager == xpcConnectionManager_.get()) return kZOLServerServiceName;
  if (&manager == xpcConnectionMenuBar_.get()) return kZOLMenuBarServerServiceName;
  return "";
}

std::optional<std::uint64_t> UnixSocketIPCServer::connectionManagerOptions(BaseXPCConnectionManager&) {
  // The privileged system-wide service; read by a client end only.
  return 4096;
}

std::optional<platform::XPCProxy<IZOLClientService>> UnixSocketIPCServer::clientProxy() const {
  std::lock_guard lock(proxyMutex_);
  return remoteObjectProxy_;
}

void UnixSocketIPCServer::setClientProxy(std::optional<platform::XPCProxy<IZOLClientService>> proxy) {
  std::lock_guard lock(proxyMutex_);
  remoteObjectProxy_ = std::move(proxy);
}

// --- Data requests ----------------------------------------------------------

void UnixSocketIPCServer::requestPreferences() {
  MLog("zeviza Preferences requested");
  dataSyncQueue_->async([weak = weak_from_this()] {
    const auto server = weak.lock();
    if (!server) return;
    const ZOLMPreferences current = server->preferences();
    MLog("xpc transmiting preferences:" + current.description());
    if (const auto proxy = server->clientProxy())
      proxy->call<&IZOLPreferencesClient::handleRequestedPreferences>(std::make_shared<ZOLMPreferences>(current));
  });
}

void UnixSocketIPCServer::updateWith(std::shared_ptr<ZOLMPreferences> preferences) {
  if (!preferences) return;
  MLog("zeviza update with new preferences: " + preferences->description());
  dataSyncQueue_->async([weak = weak_from_this(), preferences] {
    const auto server = weak.lock();
    if (!server) return;
    server->preferences();  // loaded before it is changed
    ZOLMPreferences updated;
    {
      std::lock_guard lock(server->preferencesMutex_);
      server->preferences_->updateWith(*preferences);
      updated = *server->preferences_;
    }
    if (const auto proxy = server->clientProxy())
      proxy->call<&IZOLPreferencesClient::handleRequestedPreferences>(std::make_shared<ZOLMPreferences>(updated));
    // A copy is stored, so the store never reads what this queue changes.
    server->zolQueue_->async([data = server->zolData_, updated] { data->store(updated); });
  });
}

void UnixSocketIPCServer::requestTrackingDataWithCompletionHandler(
    std::function<void(std::shared_ptr<ZOLMTrackingData>)> completionHandler) {
  MLog("zeviza trackingData requested");
  dataSyncQueue_->async([weak = weak_from_this(), completionHandler = std::move(completionHandler)] {
    const auto server = weak.lock();
    if (!server) return;
    const ZOLTrackingData trackingData = server->applicationStateManager()->trackingData();
    std::shared_ptr<ZOLMTrackingData> reply;
    if (trackingData.retrieved) {
      MLog("xpc transmiting tracking data");
      reply = modelOf(trackingData);
    } else {
      MLog("xpc tracking data not retrieved");
    }
    if (completionHandler) completionHandler(std::move(reply));
  });
}

void UnixSocketIPCServer::requestApplicationStateWithCompletionHandler(
    std::function<void(std::shared_ptr<ZOLMApplicationState>)> completionHandler) {
  MLog("zeviza requestApplicationState:");
  dataSyncQueue_->async([weak = weak_from_this(), completionHandler = std::move(completionHandler)] {
    const auto server = weak.lock();
    if (!server) return;
    auto record = std::make_shared<ZOLMApplicationState>(server->applicationStateManager()->applicationState().modelObject());
    MLog(".. will call completion with userID " + record->userID().value_or("(none)"));
    if (completionHandler) completionHandler(std::move(record));
  });
}

void UnixSocketIPCServer::updateApplicationState(std::shared_ptr<ZOLMApplicationState> state) {
  if (!state) return;
  // Moved onto the hub queue, so that the state is never changed while a
  // request there reads it.
  dataSyncQueue_->async([weak = weak_from_this(), state] {
    const auto server = weak.lock();
    if (!server) return;
    const auto manager = server->applicationStateManager();
    ZOLApplicationState current = manager->applicationState();
    current.modelObject().update(state->userID());
    manager->updateState(current, true, false);
  });
}

void UnixSocketIPCServer::sendWithUserData(std::shared_ptr<ZOLMUserData> userData) {
  if (!userData) return;
  applicationStateManager()->setUserEmail(userData->userEmail(), {});
}

void UnixSocketIPCServer::sendWithUserEvent(std::shared_ptr<ZOLMEvent> event) {
  if (!event) return;
  send(ZOLEvent::buttonClickedEvent(platform::Date::now(), applicationStateManager()->applicationState(),
                                    event->category(), event->action(), event->name(), event->value()));
}

void UnixSocketIPCServer::sendWithCleanEvent(std::shared_ptr<ZOLMEvent> event) {
  if (!event) return;
  send(ZOLEvent::cleanEvent(event->category(), event->name(), event->value(), platform::Date::now()));
}

// --- Hooks ------------------------------------------------------------------

void UnixSocketIPCServer::managerDidChangeApplicationState(IZOLApplicationStateManager&,
                                                           const ZOLApplicationState& applicationState,
                                                           bool fromBackend) {
  zolQueue_->async([data = zolData_, applicationState] { data->store(applicationState); });
  const auto analytics = gaEventSender();
  analytics->setAppState(std::make_shared<ZOLMApplicationState>(applicationState.modelObject()));
  analytics->reportDelayedEvents();
  if (const auto proxy = clientProxy())
    proxy->call<&IZOLApplicationStateClient::handleAppStateUpdate>(
        std::make_shared<ZOLMApplicationState>(applicationState.modelObject()), fromBackend);
  if (const auto notifications = notificationsManager()) notifications->setApplicationState(applicationState);
}

void UnixSocketIPCServer::managerDidChangeTrackingData(IZOLApplicationStateManager&,
                                                       const ZOLTrackingData& trackingData) {
  zolQueue_->async([data = zolData_, trackingData] { data->store(trackingData); });
  const auto analytics = gaEventSender();
  analytics->setTrackingData(modelOf(trackingData));
  analytics->reportDelayedEvents();
  // The UI gets a record of its own, not the analytics sender's.
  if (const auto proxy = clientProxy())
    proxy->call<&IZOLTrackingDataClient::handleRequestedTrackingData>(modelOf(trackingData));
  for (const auto& connection : connections()) announceTrackingDataToClient(trackingData, connection);
}

std::optional<std::string> UnixSocketIPCServer::backgroundScanUserName() {
  // The agent link's ask is bounded, so a hung agent never holds this queue.
  auto name = options_.agentLink->userName();
  MLog("===== username: " + (name ? *name : std::string("nil. No user context")));
  if (!name) return std::nullopt;
  return *name;
}

std::optional<ZOLMPreferences> UnixSocketIPCServer::backgroundScanPreferences() { return preferences(); }

void UnixSocketIPCServer::scanInitiatorDidScan(IZOLBackgroundScanInitiator&, const ItemGroupPtr& group) {
  if (!group) return;
  if (const auto proxy = clientProxy())
    proxy->call<&IZOLLongOperationsClient::operationDidFinishScanningWithResults>(std::string(kBackgroundScanStub),
                                                                                 std::vector<ItemGroupPtr>{group});
  coreDataManager_->updateAfterScanning(group);
}

void UnixSocketIPCServer::scanInitiatorDidCompleteScanningGroups(IZOLBackgroundScanInitiator&,
                                                                 const std::vector<ItemGroupPtr>& groups,
                                                                 platform::Date) {
  if (const auto notifications = notificationsManager()) notifications->handleBackgroundScanFinish(groups);
}

}  // namespace vozi
