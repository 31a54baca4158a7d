#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "backend/IZOLApplicationStateManager.h"
#include "common/LogRateLimiter.h"
#include "common/ZOLMPreferences.h"
#include "ipc/ConnectionAdmission.h"
#include "ipc/IPCConnection.h"
#include "ipc/IZOLClientService.h"
#include "ipc/IZOLGAEventSender.h"
#include "ipc/IZOLServerService.h"
#include "ipc/UserAgentManger.h"
#include "ipc/XPCConnectionManagers.h"
#include "platform/FileDescriptor.h"
#include "platform/Result.h"
#include "sanitizers/CleaningScope.h"
#include "sanitizers/IScanningConfigurator.h"
#include "sanitizers/SanitizingProcessor.h"
#include "services/IApplicationsFolderObserver.h"
#include "services/IGAEventSender.h"
#include "services/IZOLBackgroundScanInitiator.h"
#include "services/IZOLEventSender.h"
#include "services/IZOLNotificationsManager.h"
#include "services/IZOLNotificationsManagerDelegate.h"
#include "store/ZOLCoreDataManager.h"
#include "store/ZOLData.h"

namespace vozi {

// The daemon's centre. It owns the two stores ("ZOL": state, tracking data,
// preferences, cleaning history, events; "VOZi": scan results with their
// histories), the one sanitizing processor every scan and clean runs on, and
// the services around them, and serves three doors:
// - the socket "/Library/Application Support/div.ez.iru/div.ez.iru.socket"
//   (mode 0777): JSON requests, one per line (reportEvent, getTrackingData,
//   userEmail, getCleaningHistory, quit, shutdown);
// - the named service "div.ez.iru.server" for the UI (scan, clean, cancel,
//   stored results, preferences, state, tracking data, events), which it
//   calls back through the newest UI connection only;
// - the named service "div.ez.iru.menuBarServer" (events only).
// Only root, the daemon's own user and the session user (the connected
// agent's) are served on any of them; others are refused with a log line
// naming their uid.
//
// Queues: everything that touches the server's state runs on dataSyncQueue
// ("div.ez.iru.UnixSocketIPCServer.dataSyncQueue"): the set-up, every socket
// request, the named services' requests, the processor's final completions.
// Reads and writes of the "ZOL" store run on zolQueue; dataSyncQueue may
// wait for zolQueue, never the reverse. The set-up is queued first, so no
// request is served before it has finished.
//
// Shutting down ("shutdown" on the socket) refuses new requests, cancels
// the running scans and cleans and lets their completions and saves finish
// (at most 30 s) before the process ends with status 0; dataSyncQueue is
// never blocked meanwhile.
class UnixSocketIPCServer : public IPCConnectionDelegate,
                           public IConnectionManagerDataSource,
                           public IScanningConfigurator,
                           public ICleaningScopeSource,
                           public ZOLApplicationStateManagerDelegate,
                           public ZOLBackgroundScanHandler,
                           public IZOLNotificationsManagerDelegate,
                           public IZOLServerService,
                           public std::enable_shared_from_this<UnixSocketIPCServer> {
 public:
  static constexpr const char* queueLabel = "div.ez.iru.UnixSocketIPCServer.socketLockQueue";
  static constexpr const char* kZolQueueLabel = "div.ez.iru.UnixSocketIPCServer.zolQueue";
  static constexpr const char* kDataSyncQueueLabel = "div.ez.iru.UnixSocketIPCServer.dataSyncQueue";
  static constexpr const char* kSocketName = "div.ez.iru.socket";
  static constexpr const char* kApplicationsFolder = "/Applications";
  // The operation identifier of the background scan's results.
  static constexpr const char* kBackgroundScanStub = "background_scan_stub";
  // How long the memory of the last request is kept for a next one.
  static constexpr std::chrono::seconds kIdleMemoryRelease{5};

  // One maker per service of the layers above the processor; main passes
  // the daemon's (standIns()), tests their recording fakes.
  struct Factories {
    std::function<std::shared_ptr<IZOLApplicationStateManager>(std::optional<ZOLApplicationState>,
                                                               std::optional<ZOLTrackingData>)>
        applicationStateManager;
    std::function<std::shared_ptr<IZOLBackgroundScanInitiator>()> backgroundScanInitiator;
    // Over the "ZOL" store's event queue, stored on zolQueue.
    std::function<std::shared_ptr<IZOLEventSender>(std::shared_ptr<ZOLData> storage, platform::DispatchQueuePtr zolQueue,
                                                   const ZOLApplicationState& applicationState)>
        eventSender;
    std::function<std::shared_ptr<IZOLNotificationsManager>(std::shared_ptr<ZOLINotificationCenter> center,
                                                            const ZOLApplicationState& applicationState,
                                                            std::weak_ptr<IZOLNotificationsManagerDelegate> delegate)>
        notificationsManager;
    std::function<std::shared_ptr<IGAEventSender>()> gaEventSender;
    std::function<std::shared_ptr<IApplicationsFolderObserver>(
        const std::string& folder, platform::DispatchQueuePtr callbackQueue, IApplicationsFolderObserver::Handlers)>
        applicationsObserver;

    // The daemon's own: the services that have no backend here do nothing.
    static Factories standIns();
  };

  struct Options {
    // The agent link (UserAgentManger::shared() when none).
    std::shared_ptr<UserAgentManger> agentLink;
    // Ends the process after a shutdown; the default flushes the log and
    // exits. Tests record the status instead.
    std::function<void(int status)> exitProcess;
    // How long a shutdown waits for running scans and cleans to end.
    std::chrono::milliseconds shutdownDrain{30000};
    // The caps of the socket's clients.
    ConnectionAdmission::Limits socketLimits;
    // The caps of the named services' connections (tests lower them).
    std::optional<platform::XPCConnection::Limits> serviceLimits;
  };

  // Opens both stores (a store that cannot be opened stops the process) and
  // makes the socket's folder, then removes a socket an earlier run left
  // there. Fails, logging "Can't remove socket file: %@", when the folder is
  // unsafe (a link, another user's) or something other than a socket is in
  // the socket's place.
  static platform::Result<std::shared_ptr<UnixSocketIPCServer>> make(Factories factories, Options options);
  static platform::Result<std::shared_ptr<UnixSocketIPCServer>> make(Factories factories);
  ~UnixSocketIPCServer() override;
  UnixSocketIPCServer(const UnixSocketIPCServer&) = delete;
  UnixSocketIPCServer& operator=(const UnixSocketIPCServer&) = delete;

  // Queues the set-up on dataSyncQueue and starts the accept loop on a
  // thread of its own; returns at once.
  void start();
  // start(), then parks the calling thread for the life of the process.
  [[noreturn]] void run();

  // The first two steps of the set-up; on dataSyncQueue.
  void setupStateTracking();
  void setupBackgroundScan();
  // The "shutdown" request's effect; on dataSyncQueue. The process ends
  // through Options::exitProcess once the running work is over.
  void shutdownServer();

  // --- Socket (accept loop, connections, requests) --------------------------
  // Registers and starts one accepted client.
  void addNewConnection(Socket::Ptr socket);
  // Ends one connection; on dataSyncQueue or in shut-down.
  void stopConnection(const std::shared_ptr<IPCConnection>& connection);
  // The request dispatcher; on dataSyncQueue.
  void commandProcessor(const std::shared_ptr<IPCConnection>& connection, const platform::Value::Dictionary& params);
  void reportEvent(const std::shared_ptr<IPCConnection>& connection, const platform::Value::Dictionary& params);
  void setUserEmail(const std::shared_ptr<IPCConnection>& connection, const platform::Value::Dictionary& params);
  void getTrackingData(const std::shared_ptr<IPCConnection>& connection);
  void announceTrackingDataToClient(const ZOLTrackingData& trackingData,
                                    const std::shared_ptr<IPCConnection>& connection);

  void connection(const std::shared_ptr<IPCConnection>& connection,
                  const std::optional<platform::Value::Dictionary>& message,
                  const std::optional<IPCConnectionError>& error) override;
  void connection(const std::shared_ptr<IPCConnection>& connection,
                  const std::optional<IPCConnectionError>& error) override;

  // --- Named services ------------------------------------------------------
  void connectionManagerSetupConnection(BaseXPCConnectionManager& manager,
                                        const std::shared_ptr<platform::XPCConnection>& connection) override;
  platform::DispatchQueuePtr connectionManagerDataSyncQueue(BaseXPCConnectionManager& manager) override;
  std::string connectionManagerMachServiceName(BaseXPCConnectionManager& manager) override;
  std::optional<std::uint64_t> connectionManagerOptions(BaseXPCConnectionManager& manager) override;

  // IZOLServerService: long operations.
  void startScanOperation(std::vector<ItemGroupPtr> groups, OperationReply replyBlock) override;
  void startCleanOperation(std::vector<ItemGroupPtr> groups, OperationReply replyBlock) override;
  void cancelWithOperationID(std::string operationID, std::function<void(bool)> replyBlock) override;
  void requestScannedData(std::vector<std::string> groupNames,
                          std::function<void(std::vector<ItemGroupPtr>)> replyBlock) override;
  // IZOLServerService: data requests.
  void requestPreferences() override;
  void updateWith(std::shared_ptr<ZOLMPreferences> preferences) override;
  void requestTrackingDataWithCompletionHandler(
      std::function<void(std::shared_ptr<ZOLMTrackingData>)> completionHandler) override;
  void requestApplicationStateWithCompletionHandler(
      std::function<void(std::shared_ptr<ZOLMApplicationState>)> completionHandler) override;
  void updateApplicationState(std::shared_ptr<ZOLMApplicationState> state) override;
  void sendWithUserData(std::shared_ptr<ZOLMUserData> userData) override;
  void sendWithUserEvent(std::shared_ptr<ZOLMEvent> event) override;
  void sendWithCleanEvent(std::shared_ptr<ZOLMEvent> event) override;

  // IZOLNotificationsManagerDelegate (its requestScannedData is the
  // service's: one method serves both).
  void startCleanOperation(std::vector<ItemGroupPtr> groups, GroupsHandler completionHandler) override;

  // IScanningConfigurator: fills a group's scan parameters from the
  // preferences.
  void sanitizingProcessor(SanitizingProcessor& processor, IModelItem& configureForScanning) override;
  // ICleaningScopeSource: the group's stored scan result, loaded before the
  // clean starts, within the folders its scan walks.
  std::shared_ptr<const CleaningScope> cleaningScope(const ItemGroupPtr& group) override;

  // ZOLApplicationStateManagerDelegate, on dataSyncQueue.
  void managerDidChangeApplicationState(IZOLApplicationStateManager& manager,
                                        const ZOLApplicationState& applicationState, bool fromBackend) override;
  void managerDidChangeTrackingData(IZOLApplicationStateManager& manager, const ZOLTrackingData& trackingData) override;
  // ZOLBackgroundScanHandler, on dataSyncQueue.
  std::optional<std::string> backgroundScanUserName() override;
  std::optional<ZOLMPreferences> backgroundScanPreferences() override;
  void scanInitiatorDidScan(IZOLBackgroundScanInitiator& initiator, const ItemGroupPtr& group) override;
  void scanInitiatorDidCompleteScanningGroups(IZOLBackgroundScanInitiator& initiator,
                                              const std::vector<ItemGroupPtr>& groups, platform::Date at) override;

  // --- Shared state ---------------------------------------------------------
  // The user's preferences, loaded from the store on first read (the
  // defaults, stored, when there are none). A copy.
  ZOLMPreferences preferences();
  const platform::DispatchQueuePtr& dataSyncQueue() const { return dataSyncQueue_; }
  const platform::DispatchQueuePtr& zolQueue() const { return zolQueue_; }
  const std::shared_ptr<ZOLData>& zolData() const { return zolData_; }
  const std::shared_ptr<ZOLCoreDataManager>& coreDataManager() const { return coreDataManager_; }
  // Made on first use, on dataSyncQueue.
  std::shared_ptr<SanitizingProcessor> sanitizingProcessor();
  // The live socket connections (a snapshot).
  std::vector<std::shared_ptr<IPCConnection>> connections() const;
  std::size_t connectedSocketCount() const;
  bool continueRunning() const { return continueRunning_; }

 private:
  struct Pass;
  UnixSocketIPCServer(Factories factories, Options options);

  // The set-up block, on dataSyncQueue.
  void setup();
  // The accept loop, on a thread of its own.
  void acceptLoop();
  bool prepareListening();
  void closeListenSocket();
  // Waits `delay` unless the shutdown comes first; false when it did.
  bool backOff(std::chrono::milliseconds delay);

  // The client's UI proxy, or none.
  std::optional<platform::XPCProxy<IZOLClientService>> clientProxy() const;
  void setClientProxy(std::optional<platform::XPCProxy<IZOLClientService>> proxy);
  std::shared_ptr<IZOLApplicationStateManager> applicationStateManager() const;
  std::shared_ptr<IZOLEventSender> eventSender() const;
  // Made on first use, and kept.
  std::shared_ptr<IGAEventSender> gaEventSender();
  std::shared_ptr<IZOLNotificationsManager> notificationsManager() const;
  std::shared_ptr<IZOLBackgroundScanInitiator> backgroundScanInitiator() const;
  void send(const ZOLEvent& event) const;

  // The applications folder's handlers, and what they do with a removed or
  // trashed item; on dataSyncQueue.
  IApplicationsFolderObserver::Handlers applicationsObserverHandlers();
  void handleRemoveOrTrashItemFromApps(const platform::URL& url);

  // The scan and clean roads, on dataSyncQueue.
  void scan(std::vector<ItemGroupPtr> groups, OperationReply replyBlock,
            std::function<void(std::vector<ItemGroupPtr>)> completion);
  std::string clean(std::vector<ItemGroupPtr> groups, SanitizingProcessor::ProgressHandler progressHandler,
                    GroupsHandler completionHandler);
  SanitizingProcessor::ProgressHandler clientProgressForwarder();
  // Loads the stored scan results of the groups a clean may delete from.
  void loadCleaningScopes(const std::vector<ItemGroupPtr>& groups);
  // Writes a finished clean into the "ZOL" store's history, on zolQueue.
  void recordClean(const std::vector<ItemGroupPtr>& cleaned, bool cancelled);
  void requestBegan(const std::string& operationId);
  void requestEnded(const std::string& operationId);
  // Ends the process once no request runs or the drain time is over.
  void finishShutdown();

  const Factories factories_;
  const Options options_;

  // The socket.
  std::unique_ptr<platform::FileDescriptor> socketFolder_;
  mutable std::mutex listenMutex_;
  Socket::Ptr listenSocket_;
  std::condition_variable backOffWake_;
  std::atomic<bool> continueRunning_{true};
  platform::DispatchQueuePtr socketLockQueue_;
  std::map<int, Socket::Ptr> connectedSockets_;  // on socketLockQueue_
  mutable std::mutex connectionsMutex_;
  std::set<std::shared_ptr<IPCConnection>> connections_;
  std::shared_ptr<ConnectionAdmission> admission_;
  platform::DispatchQueuePtr acceptQueue_;
  std::thread acceptThread_;
  std::thread shutdownThread_;
  LogRateLimiter refusalLog_;

  // The stores and queues.
  std::shared_ptr<ZOLData> zolData_;
  std::shared_ptr<ZOLCoreDataManager> coreDataManager_;
  platform::DispatchQueuePtr zolQueue_;
  platform::DispatchQueuePtr dataSyncQueue_;

  // Made by the set-up, on dataSyncQueue; read from other threads under
  // servicesMutex_.
  mutable std::mutex servicesMutex_;
  std::shared_ptr<SanitizingProcessor> sanitizingProcessor_;
  std::shared_ptr<IZOLApplicationStateManager> applicationStateManager_;
  std::shared_ptr<IZOLBackgroundScanInitiator> backgroundScanInitiator_;
  std::shared_ptr<IZOLEventSender> eventSender_;
  std::shared_ptr<IZOLNotificationsManager> notificationsManager_;
  std::shared_ptr<IGAEventSender> gaEventSender_;
  std::shared_ptr<IApplicationsFolderObserver> applicationsRemoveObserver_;
  std::shared_ptr<ServerConnectionManager> xpcConnectionManager_;
  std::shared_ptr<ServerConnectionManager> xpcConnectionMenuBar_;

  mutable std::mutex proxyMutex_;
  std::optional<platform::XPCProxy<IZOLClientService>> remoteObjectProxy_;

  std::mutex preferencesMutex_;
  std::optional<ZOLMPreferences> preferences_;

  // The scopes of the clean being started, keyed by group; on dataSyncQueue.
  std::map<const ItemGroup*, std::shared_ptr<const CleaningScope>> pendingScopes_;

  // Requests started and not yet ended, for the shutdown.
  mutable std::mutex requestsMutex_;
  std::condition_variable requestsEnded_;
  std::set<std::string> runningRequests_;
  std::uint64_t requestsBegun_ = 0;  // under requestsMutex_
  bool shuttingDown_ = false;  // on dataSyncQueue
};

}  // namespace vozi
