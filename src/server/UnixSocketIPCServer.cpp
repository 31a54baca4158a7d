#include "server/UnixSocketIPCServer.h"

#include <cstdlib>

#include "backend/StandInApplicationStateManager.h"
#include "backend/ZOLApplicationStateCoding.h"
#include "backend/ZOLTrackingDataCoding.h"
#include "cleaners/Cleaners.h"
#include "common/Logger.h"
#include "common/MLog.h"
#include "ipc/IPCShared.h"
#include "platform/HostRoot.h"
#include "platform/ProcessInfo.h"
#include "platform/services/ServiceFolder.h"
#include "services/DirectoryObserver.h"
#include "services/StandInBackgroundScanInitiator.h"
#include "services/StandInEventSender.h"
#include "services/StandInGAEventSender.h"
#include "services/StandInNotificationsManager.h"

namespace vozi {

namespace {

// The socket's folder, as a path of the tree.
std::string socketFolderTreePath() {
  const std::string path = UnixSocketIPCServerConstant::treePath;
  return path.substr(0, path.rfind('/'));
}

}  // namespace

UnixSocketIPCServer::Factories UnixSocketIPCServer::Factories::standIns() {
  Factories factories;
  factories.applicationStateManager = [](std::optional<ZOLApplicationState> state,
                                         std::optional<ZOLTrackingData> trackingData) {
    return std::make_shared<StandInApplicationStateManager>(std::move(state), std::move(trackingData));
  };
  factories.backgroundScanInitiator = [] { return std::make_shared<StandInBackgroundScanInitiator>(); };
  factories.eventSender = [](std::shared_ptr<ZOLData>, platform::DispatchQueuePtr, const ZOLApplicationState&) {
    return std::make_shared<StandInEventSender>();
  };
  factories.notificationsManager = [](std::shared_ptr<ZOLINotificationCenter>, const ZOLApplicationState&,
                                      std::weak_ptr<IZOLNotificationsManagerDelegate>) {
    return std::make_shared<StandInNotificationsManager>();
  };
  factories.gaEventSender = [] { return std::make_shared<StandInGAEventSender>(); };
  factories.applicationsObserver = [](const std::string& folder, platform::DispatchQueuePtr callbackQueue,
                                      IApplicationsFolderObserver::Handlers handlers) {
    auto observer = std::make_shared<DirectoryObserver>(folder, std::move(callbackQueue));
    observer->setDeleteItemHandler(std::move(handlers.deleteItem));
    observer->setTrashItemHandler(std::move(handlers.trashItem));
    return observer;
  };
  return factories;
}

platform::Result<std::shared_ptr<UnixSocketIPCServer>> UnixSocketIPCServer::make(Factories factories,
                                                                                 Options options) {
  if (!options.agentLink) options.agentLink = UserAgentManger::shared();
  if (!options.exitProcess) {
    options.exitProcess = [](int status) {
      Logger::flush();
      std::_Exit(status);
    };
  }
  std::shared_ptr<UnixSocketIPCServer> server(new UnixSocketIPCServer(std::move(factories), std::move(options)));
  MLog("Initializing UnixSocketIPCServer on " + UnixSocketIPCServerConstant::Path());
  // The folder is made (or checked) here rather than by the accept loop, so
  // that a folder that is a link or another user's stops the daemon before
  // anything is served.
  auto folder = platform::ServiceFolder::open(true, socketFolderTreePath());
  if (!folder) {
    MLog("Can't remove socket file: " + folder.error().localizedDescription());
    return folder.error();
  }
  if (auto removed = platform::ServiceFolder::removeStaleSocket(**folder, kSocketName); !removed) {
    MLog("Can't remove socket file: " + removed.error().localizedDescription());
    return removed.error();
  }
  server->socketFolder_ = std::move(*folder);
  return server;
}

platform::Result<std::shared_ptr<UnixSocketIPCServer>> UnixSocketIPCServer::make(Factories factories) {
  return make(std::move(factories), Options{});
}

UnixSocketIPCServer::UnixSocketIPCServer(Factories factories, Options options)
    : factories_(std::move(factories)),
      options_(std::move(options)),
      socketLockQueue_(platform::DispatchQueue::serial(queueLabel)),
      admission_(ConnectionAdmission::make(options_.socketLimits)),
      acceptQueue_(platform::DispatchQueue::concurrent("div.ez.iru.acceptClientConnection.queue")),
      refusalLog_("socket refusals"),
      zolData_(std::make_shared<ZOLData>()),
      coreDataManager_(std::make_shared<ZOLCoreDataManager>()),
      zolQueue_(platform::DispatchQueue::serial(kZolQueueLabel)),
      dataSyncQueue_(platform::DispatchQueue::serial(kDataSyncQueueLabel)) {}

UnixSocketIPCServer::~UnixSocketIPCServer() {
  continueRunning_ = false;
  closeListenSocket();
  if (acceptThread_.joinable()) acceptThread_.join();
  if (shutdownThread_.joinable()) shutdownThread_.join();
  for (const auto& connection : connections()) connection->stop();
  for (const auto& manager : {xpcConnectionManager_, xpcConnectionMenuBar_})
    if (manager) manager->stop();
}

void UnixSocketIPCServer::start() {
  dataSyncQueue_->async([weak = weak_from_this()] {
    if (const auto server = weak.lock()) server->setup();
  });
  MLog("UnixSocketIPCServer.run");
  MLog("Before queue.async");
  // The loop holds the server without owning it: the destructor ends and
  // joins it.
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

void UnixSocketIPCServer::run() {
  start();
  // Nothing wakes this: the process ends from the shut-down path.
  std::mutex parked;
  std::condition_variable never;
  std::unique_lock lock(parked);
  for (;;) never.wait(lock);
}

void UnixSocketIPCServer::setup() {
  setupStateTracking();
  setupBackgroundScan();

  const auto manager = applicationStateManager();
  auto sender = factories_.eventSender(zolData_, zolQueue_, manager->applicationState());
  {
    std::lock_guard lock(servicesMutex_);
    eventSender_ = sender;
  }
  sender->scheduleSendStoredEvents();

  const auto sessionUid = [link = options_.agentLink] { return link->sessionUid(); };
  auto server = std::make_shared<ServerConnectionManager>(*this);
  auto menuBar = std::make_shared<ServerConnectionManager>(*this);
  {
    std::lock_guard lock(servicesMutex_);
    xpcConnectionManager_ = server;
    xpcConnectionMenuBar_ = menuBar;
  }
  for (const auto& each : {server, menuBar}) {
    each->setSessionUidSource(sessionUid);
    if (options_.serviceLimits) each->setConnectionLimits(*options_.serviceLimits);
    each->start();
  }

  options_.agentLink->setGAEventSender(gaEventSender());

  auto notifications = factories_.notificationsManager(options_.agentLink, manager->applicationState(),
                                                       std::weak_ptr<IZOLNotificationsManagerDelegate>(
                                                           std::static_pointer_cast<IZOLNotificationsManagerDelegate>(
                                                               shared_from_this())));
  auto observer = factories_.applicationsObserver(platform::HostRoot::resolve(kApplicationsFolder), dataSyncQueue_,
                                                  applicationsObserverHandlers());
  {
    std::lock_guard lock(servicesMutex_);
    notificationsManager_ = notifications;
    applicationsRemoveObserver_ = observer;
  }
  if (notifications) notifications->start();
  observer->start();
}

void UnixSocketIPCServer::setupStateTracking() {
  std::optional<ZOLApplicationState> state;
  std::optional<ZOLTrackingData> trackingData;
  zolQueue_->sync([&] {
    zolData_->moc()->performAndWait([&] {
      if (const auto stored = zolData_->getApplicationState())
        state = ZOLApplicationStateCoding::withStoredModel(*stored);
      if (const auto stored = zolData_->getTrackingData())
        trackingData = ZOLTrackingDataCoding::withStoredModel(*stored);
    });
  });
  const bool stateWasStored = state.has_value();
  auto manager = factories_.applicationStateManager(std::move(state), std::move(trackingData));
  {
    std::lock_guard lock(servicesMutex_);
    applicationStateManager_ = manager;
  }
  if (!stateWasStored) {
    // Copies taken here, so the store never reads what this queue changes.
    zolQueue_->async([data = zolData_, applicationState = manager->applicationState(),
                      tracking = manager->trackingData()] {
      data->store(applicationState);
      data->store(tracking);
    });
  }
  manager->startStateTracking(std::static_pointer_cast<ZOLApplicationStateManagerDelegate>(shared_from_this()),
                              dataSyncQueue_);
}

void UnixSocketIPCServer::setupBackgroundScan() {
  auto initiator = factories_.backgroundScanInitiator();
  {
    std::lock_guard lock(servicesMutex_);
    backgroundScanInitiator_ = initiator;
  }
  initiator->setup(std::static_pointer_cast<ZOLBackgroundScanHandler>(shared_from_this()), dataSyncQueue_,
                   sanitizingProcessor());
  initiator->start();
}

std::shared_ptr<SanitizingProcessor> UnixSocketIPCServer::sanitizingProcessor() {
  std::lock_guard lock(servicesMutex_);
  if (!sanitizingProcessor_) {
    sanitizingProcessor_ = std::make_shared<SanitizingProcessor>(dataSyncQueue_);
    registerCleaners(sanitizingProcessor_->sanitizerChoice());
    sanitizingProcessor_->setUserAgentLink(options_.agentLink);
    sanitizingProcessor_->setCleaningScopeSource(std::static_pointer_cast<ICleaningScopeSource>(shared_from_this()));
  }
  return sanitizingProcessor_;
}

std::shared_ptr<IZOLApplicationStateManager> UnixSocketIPCServer::applicationStateManager() const {
  std::lock_guard lock(servicesMutex_);
  return applicationStateManager_;
}

std::shared_ptr<IGAEventSender> UnixSocketIPCServer::gaEventSender() {
  std::lock_guard lock(servicesMutex_);
  if (!gaEventSender_) gaEventSender_ = factories_.gaEventSender();
  return gaEventSender_;
}

std::shared_ptr<IZOLNotificationsManager> UnixSocketIPCServer::notificationsManager() const {
  std::lock_guard lock(servicesMutex_);
  return notificationsManager_;
}

std::shared_ptr<IZOLBackgroundScanInitiator> UnixSocketIPCServer::backgroundScanInitiator() const {
  std::lock_guard lock(servicesMutex_);
  return backgroundScanInitiator_;
}

std::shared_ptr<IZOLEventSender> UnixSocketIPCServer::eventSender() const {
  std::lock_guard lock(servicesMutex_);
  return eventSender_;
}

void UnixSocketIPCServer::send(const ZOLEvent& event) const {
  if (const auto sender = eventSender()) sender->sendEvent(event);
}

void UnixSocketIPCServer::shutdownServer() {
  if (shuttingDown_) return;
  shuttingDown_ = true;
  MLog("Shutdown in progress...");
  continueRunning_ = false;
  for (const auto& connection : connections()) stopConnection(connection);
  closeListenSocket();

  std::shared_ptr<ServerConnectionManager> server, menuBar;
  std::shared_ptr<IZOLApplicationStateManager> manager;
  std::shared_ptr<IZOLBackgroundScanInitiator> initiator;
  std::shared_ptr<IZOLNotificationsManager> notifications;
  std::shared_ptr<IApplicationsFolderObserver> observer;
  std::shared_ptr<SanitizingProcessor> processor;
  {
    std::lock_guard lock(servicesMutex_);
    server = xpcConnectionManager_;
    menuBar = xpcConnectionMenuBar_;
    manager = applicationStateManager_;
    initiator = backgroundScanInitiator_;
    notifications = notificationsManager_;
    observer = applicationsRemoveObserver_;
    processor = sanitizingProcessor_;
  }
  if (server) server->stop();
  if (menuBar) menuBar->stop();
  if (manager) manager->stopStateTracking();
  if (initiator) initiator->stop();
  if (notifications) notifications->unscheduleCheckForNotifications();
  if (observer) observer->stop();

  // The running scans and cleans end early; their completions still come
  // here and store what they did before the process ends.
  std::set<std::string> running;
  {
    std::lock_guard lock(requestsMutex_);
    running = runningRequests_;
  }
  if (processor)
    for (const std::string& id : running) processor->cancel(id, {});
  shutdownThread_ = std::thread([this] { finishShutdown(); });
}

void UnixSocketIPCServer::finishShutdown() {
  {
    std::unique_lock lock(requestsMutex_);
    if (!requestsEnded_.wait_for(lock, options_.shutdownDrain, [&] { return runningRequests_.empty(); }))
      MLog("Shutdown: " + std::to_string(runningRequests_.size()) + " requests still running, ending anyway");
  }
  // What the completions queued for the stores is written before the end.
  coreDataManager_->moc()->performAndWait([] {});
  zolQueue_->sync([] {});
  MLog("Shutdown finished");
  options_.exitProcess(0);
}

void UnixSocketIPCServer::requestBegan(const std::string& operationId) {
  std::lock_guard lock(requestsMutex_);
  runningRequests_.insert(operationId);
  ++requestsBegun_;
}

void UnixSocketIPCServer::requestEnded(const std::string& operationId) {
  bool idle;
  std::uint64_t begun;
  {
    std::lock_guard lock(requestsMutex_);
    runningRequests_.erase(operationId);
    idle = runningRequests_.empty();
    begun = requestsBegun_;
  }
  requestsEnded_.notify_all();
  if (!idle) return;
  // A scan's items are many and all freed now. The heap keeps them a while
  // for a next request (a user scans again, or cleans what was found); when
  // none has come, the daemon goes back to its idle size.
  dataSyncQueue_->asyncAfter(kIdleMemoryRelease, [weak = weak_from_this(), begun] {
    const auto server = weak.lock();
    if (!server) return;
    {
      std::lock_guard lock(server->requestsMutex_);
      if (!server->runningRequests_.empty() || server->requestsBegun_ != begun) return;
    }
    platform::ProcessInfo::releaseFreeMemory();
  });
}

ZOLMPreferences UnixSocketIPCServer::preferences() {
  std::lock_guard lock(preferencesMutex_);
  if (!preferences_) {
    std::optional<ZOLMPreferences> loaded;
    zolQueue_->sync([&] {
      loaded = zolData_->getPreferences();
      if (!loaded) {
        loaded.emplace();
        zolData_->store(*loaded);
      }
    });
    MLog("get preferences:" + loaded->description());
    preferences_ = std::move(loaded);
  }
  return *preferences_;
}

}  // namespace vozi
