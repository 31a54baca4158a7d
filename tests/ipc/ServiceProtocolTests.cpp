#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/DuplicateItem.h"
#include "common/DuplicatesGroup.h"
#include "common/FileItem.h"
#include "common/LanguageItem.h"
#include "common/LanguagesGroup.h"
#include "common/ModelItemOrderedSet.h"
#include "common/TypedFileItem.h"
#include "ipc/NamedServicesLog.h"
#include "ipc/XPCServices.h"
#include "ipc/ZOLAlertNotification.h"
#include "ipc/ZOLCustomNotification.h"
#include "ipc/ZOLDefaultNotification.h"
#include "ipc/ZOLNotificationPriority.h"
#include "ipc/ServiceTestSupport.h"
#include "platform/services/ServiceLog.h"
#include "platform/services/XPCConnection.h"
#include "platform/services/XPCListener.h"
#include "support/LogCapture.h"
#include "support/TempRoot.h"

using namespace vozi;
using namespace vozi::test;
using platform::Date;
using platform::URL;
using platform::Value;
using platform::XPCConnection;
using platform::XPCInterfacePtr;
using platform::XPCListener;

namespace {

std::shared_ptr<ZOLDefaultNotification> notification(const std::string& identifier, Value userInfo = Value()) {
  auto note = ZOLDefaultNotification::make(identifier, "Junk found", "3 GB can go", 1);
  note->setUserInfo(std::move(userInfo));
  return note;
}

class ServiceProtocols : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInEvent::registerClass();
    NamedServicesLog::install();
  }

  void TearDown() override {
    for (auto& [connection, ended] : clients_) {
      connection->invalidate();
      EXPECT_TRUE(ended->waitFor(1));
    }
    for (auto& listener : listeners_) listener->invalidate();
    std::vector<std::pair<std::shared_ptr<XPCConnection>, std::shared_ptr<EventCounter>>> servers;
    {
      std::lock_guard lock(mutex_);
      servers = servers_;
    }
    for (auto& [connection, ended] : servers) {
      connection->invalidate();
      EXPECT_TRUE(ended->waitFor(1));
    }
    platform::ServiceLog::setHook(nullptr);
  }

  // Listens on `name`, exporting `object` as I with the description given.
  template <class I>
  void serve(const char* name, XPCInterfacePtr exported, std::shared_ptr<I> object) {
    auto listener = XPCListener::make(name);
    listener->setNewConnectionHandler([this, exported, object](const std::shared_ptr<XPCConnection>& connection) {
      connection->setExportedInterface(exported);
      connection->setExportedObject<I>(object);
      auto ended = watch(connection);
      std::lock_guard lock(mutex_);
      servers_.emplace_back(connection, ended);
      return connection->resume(), true;
    });
    ASSERT_TRUE(listener->resume().ok());
    listeners_.push_back(listener);
  }

  std::shared_ptr<XPCConnection> connect(const char* name, XPCInterfacePtr remote) {
    auto connection = XPCConnection::connectToService(name);
    connection->setRemoteObjectInterface(std::move(remote));
    clients_.emplace_back(connection, watch(connection));
    connection->resume();
    return connection;
  }

  static std::shared_ptr<EventCounter> watch(const std::shared_ptr<XPCConnection>& connection) {
    auto ended = std::make_shared<EventCounter>();
    connection->setInvalidationHandler([ended] { ended->add(); });
    return ended;
  }

  TempRoot root_;
  LogCapture log_;
  std::deque<std::pair<std::shared_ptr<XPCConnection>, std::shared_ptr<EventCounter>>> clients_;
  std::vector<std::shared_ptr<XPCListener>> listeners_;
  std::mutex mutex_;
  std::vector<std::pair<std::shared_ptr<XPCConnection>, std::shared_ptr<EventCounter>>> servers_;
};

}  // namespace

TEST_F(ServiceProtocols, ArgumentsOutsideTheListsAreRefusedAndTheNextCallStillArrives) {
  auto server = std::make_shared<RecordingServer>();
  auto agentClient = std::make_shared<RecordingAgentClient>();
  serve<IZOLServerService>(kZOLServerServiceName, serverServiceInterface(), server);
  serve<IZOLEventServer>(kZOLMenuBarServerServiceName, eventServerInterface(), server);
  serve<UserAgentClient>(kUserAgentClientServiceName, userAgentClientInterface(), agentClient);

  enum class Service { ui, menuBar, agent };
  struct Refusal {
    const char* name;
    Service service;
    std::function<void(const std::shared_ptr<XPCConnection>&)> send;
    const char* logged;
  };
  const auto outOfList = [](const std::shared_ptr<XPCConnection>& c) {
    return c->remoteObjectProxy<IOutOfListCaller>();
  };
  const auto agent = [](const std::shared_ptr<XPCConnection>& c) { return c->remoteObjectProxy<UserAgentClient>(); };
  const std::vector<Refusal> refusals = {
      {"a date in a notification's userInfo", Service::agent,
       [&](const std::shared_ptr<XPCConnection>& c) {
         agent(c).call<&ZOLINotificationHandler::handleActionForNotification>(notification(
             "dated", Value(Value::Dictionary{{"when", Value(Date(700000000))}, {"what", Value("scan")}})));
       },
       "refused a call of handleActionForNotification:"},
      {"a bare base notification, which the agent never shows", Service::agent,
       [&](const std::shared_ptr<XPCConnection>& c) {
         agent(c).call<&ZOLINotificationHandler::handleCloseForNotification>(ZOLNotification::make("bare", 1));
       },
       "refused a call of handleCloseForNotification:"},
      {"an analytics event with a date", Service::agent,
       [&](const std::shared_ptr<XPCConnection>& c) {
         agent(c).call<&IZOLGAEventSender::sendWithEvent>(
             std::make_shared<StandInEvent>("app", "firstScan", Value(Date(700000000))));
       },
       "refused a call of sendWithEvent:"},
      {"preferences as a clean event", Service::ui,
       [&](const std::shared_ptr<XPCConnection>& c) {
         outOfList(c).call<&IOutOfListCaller::sendWithCleanEvent>(std::make_shared<ZOLMPreferences>());
       },
       "refused a call of sendWithCleanEvent:"},
      {"a group as an operation identifier", Service::ui,
       [&](const std::shared_ptr<XPCConnection>& c) {
         outOfList(c).call<&IOutOfListCaller::cancelWithOperationID>(groupsOfEachContainer()[0],
                                                                     std::function<void(bool)>());
       },
       "refused a call of cancelWithOperationID:replyBlock:"},
      {"preferences as a clean event on the menu bar", Service::menuBar,
       [&](const std::shared_ptr<XPCConnection>& c) {
         outOfList(c).call<&IOutOfListCaller::sendWithCleanEvent>(std::make_shared<ZOLMPreferences>());
       },
       "refused a call of sendWithCleanEvent:"},
      {"a scan asked of the menu bar", Service::menuBar,
       [&](const std::shared_ptr<XPCConnection>& c) {
         outOfList(c).call<&IOutOfListCaller::startScanOperation>(groupsOfEachContainer(),
                                                                  IZOLLongOperationsServer::OperationReply());
       },
       "refused a call of unknown selector 'startScanOperation:replyBlock:'"},
  };

  int uiCalls = 0;
  int agentCalls = 0;
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    const bool toAgent = refusal.service == Service::agent;
    const char* name = toAgent ? kUserAgentClientServiceName
                       : refusal.service == Service::ui ? kZOLServerServiceName
                                                        : kZOLMenuBarServerServiceName;
    auto connection = connect(name, toAgent ? userAgentClientInterface() : outOfListCallerInterface());
    refusal.send(connection);
    // Calls of one connection are handled in order: once the next one has
    // arrived, the refused one has had its turn.
    if (toAgent) {
      agent(connection).call<&ZOLINotificationHandler::handleCloseForNotification>(notification("after"));
      ASSERT_TRUE(agentClient->calls.waitFor(++agentCalls));
      EXPECT_EQ(agentClient->calls.lines().back(), "handleCloseForNotification: after");
    } else {
      outOfList(connection).call<&IOutOfListCaller::sendWithUserEvent>(
          std::make_shared<ZOLMEvent>("after", "1", "click", "ui"));
      ASSERT_TRUE(server->calls.waitFor(++uiCalls));
      EXPECT_EQ(server->calls.lines().back(), "sendWithUserEvent: after");
    }
    if (refusal.logged) {
      EXPECT_TRUE(log_.waitForLine(refusal.logged));
    }
  }
  // Nothing but the calls after the refusals was delivered.
  EXPECT_EQ(server->calls.lines(), std::vector<std::string>(uiCalls, "sendWithUserEvent: after"));
  EXPECT_EQ(agentClient->calls.lines(), std::vector<std::string>(agentCalls, "handleCloseForNotification: after"));
}

TEST_F(ServiceProtocols, AScanCarriesGroupsOfEveryContainerKind) {
  auto server = std::make_shared<RecordingServer>();
  serve<IZOLServerService>(kZOLServerServiceName, serverServiceInterface(), server);
  auto ui = connect(kZOLServerServiceName, serverServiceInterface());

  const auto sent = groupsOfEachContainer();
  ASSERT_EQ(std::dynamic_pointer_cast<DuplicateItem>(sent[2]->items()->anyItem())->items()->count(), 2u);
  Answer<std::optional<std::string>> operation;
  ui->remoteObjectProxy<IZOLServerService>().call<&IZOLLongOperationsServer::startScanOperation>(
      groupsOfEachContainer(), operation.block());
  ASSERT_EQ(operation.get(), std::optional<std::optional<std::string>>("scan-1"));

  const auto groups = server->scanned();
  ASSERT_EQ(groups.size(), 3u);
  // The set of duplicates inside the last group holds its files in an
  // ordered set.
  const std::vector<ModelItemCollectionKind> kinds = {ModelItemCollectionKind::array,
                                                      ModelItemCollectionKind::dictionary,
                                                      ModelItemCollectionKind::array};
  const std::vector<std::size_t> counts = {2, 2, 1};
  for (std::size_t i = 0; i < groups.size(); ++i) {
    SCOPED_TRACE(orNil(groups[i]->name()));
    ASSERT_NE(groups[i]->items(), nullptr);
    EXPECT_EQ(groups[i]->items()->kind(), kinds[i]);
    EXPECT_EQ(groups[i]->items()->count(), counts[i]);
  }
  EXPECT_NE(std::dynamic_pointer_cast<LanguagesGroup>(groups[1]), nullptr);
  auto set = std::dynamic_pointer_cast<DuplicateItem>(groups[2]->items()->anyItem());
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->items()->kind(), ModelItemCollectionKind::orderedSet);
  EXPECT_EQ(set->items()->count(), 2u);
}

TEST_F(ServiceProtocols, EveryMethodOfTheUIServiceArrivesInOrderWithItsReply) {
  auto server = std::make_shared<RecordingServer>();
  serve<IZOLServerService>(kZOLServerServiceName, serverServiceInterface(), server);
  auto ui = connect(kZOLServerServiceName, serverServiceInterface());
  auto proxy = ui->remoteObjectProxy<IZOLServerService>();

  const ZOLMPreferences preferences(ZOLMUpdatesCheckFrequency::monthly, false, 1234.5, false, 1u << 30, false, true,
                                    false, true, {"/Users/alice/Documents"}, {"/Users/alice/Backups", "/Volumes/X"},
                                    5u << 20, {"Photos", "Movies"}, 90);
  Answer<std::optional<std::string>> clean;
  Answer<bool> cancelled;
  Answer<std::vector<ItemGroupPtr>> stored;
  Answer<std::shared_ptr<ZOLMApplicationState>> state;
  Answer<std::shared_ptr<ZOLMTrackingData>> tracking;
  proxy.call<&IZOLDataServer::sendWithUserData>(std::make_shared<ZOLMUserData>("alice@example.com"));
  proxy.call<&IZOLEventServer::sendWithUserEvent>(std::make_shared<ZOLMEvent>("open", "1", "click", "ui"));
  proxy.call<&IZOLEventServer::sendWithCleanEvent>(std::make_shared<ZOLMEvent>("clean", "2048", "done", "cleaning"));
  proxy.call<&IZOLLongOperationsServer::startCleanOperation>(groupsOfEachContainer(), clean.block());
  proxy.call<&IZOLLongOperationsServer::cancelWithOperationID>(std::string("scan-1"), cancelled.block());
  proxy.call<&IZOLLongOperationsServer::requestScannedData>(std::vector<std::string>{"userCache", "trashBin"},
                                                            stored.block());
  proxy.call<&IZOLApplicationStateServer::requestApplicationStateWithCompletionHandler>(state.block());
  proxy.call<&IZOLMainApplicationStateServer::updateApplicationState>(std::make_shared<ZOLMApplicationState>("u-2"));
  proxy.call<&IZOLPreferencesServer::requestPreferences>();
  proxy.call<&IZOLPreferencesServer::updateWith>(std::make_shared<ZOLMPreferences>(preferences));
  proxy.call<&IZOLTrackingDataServer::requestTrackingDataWithCompletionHandler>(tracking.block());

  ASSERT_TRUE(server->calls.waitFor(11));
  EXPECT_EQ(server->calls.lines(),
            (std::vector<std::string>{"sendWithUserData: alice@example.com", "sendWithUserEvent: open",
                                      "sendWithCleanEvent: clean",
                                      "startCleanOperation: userCache,languages,duplicates",
                                      "cancelWithOperationID: scan-1", "requestScannedData: userCache,trashBin",
                                      "requestApplicationStateWithCompletionHandler:", "updateApplicationState: u-2",
                                      "requestPreferences", "updateWith: preferences",
                                      "requestTrackingDataWithCompletionHandler:"}));
  ASSERT_NE(server->preferences(), nullptr);
  EXPECT_EQ(*server->preferences(), preferences);
  // A nil identifier comes back as nil.
  EXPECT_EQ(clean.get(), std::optional<std::optional<std::string>>(std::optional<std::string>()));
  EXPECT_EQ(cancelled.get(), std::optional<bool>(true));
  const auto groups = stored.get();
  ASSERT_TRUE(groups.has_value());
  EXPECT_EQ(groupsText(*groups), "userCache,trashBin");
  const auto answeredState = state.get();
  ASSERT_TRUE(answeredState && *answeredState);
  EXPECT_EQ((*answeredState)->userID(), std::optional<std::string>("user-7"));
  const auto answeredTracking = tracking.get();
  ASSERT_TRUE(answeredTracking.has_value());
  EXPECT_EQ(*answeredTracking, nullptr);
}

TEST_F(ServiceProtocols, TheMenuBarServiceTakesTheEventsAlone) {
  auto server = std::make_shared<RecordingServer>();
  serve<IZOLEventServer>(kZOLMenuBarServerServiceName, eventServerInterface(), server);
  auto menuBar = connect(kZOLMenuBarServerServiceName, eventServerInterface());
  auto proxy = menuBar->remoteObjectProxy<IZOLEventServer>();
  proxy.call<&IZOLEventServer::sendWithUserEvent>(std::make_shared<ZOLMEvent>("menu", "1", "open", "menuBar"));
  proxy.call<&IZOLEventServer::sendWithCleanEvent>(std::make_shared<ZOLMEvent>("ram", "512", "clean", "menuBar"));
  ASSERT_TRUE(server->calls.waitFor(2));
  EXPECT_EQ(server->calls.lines(), (std::vector<std::string>{"sendWithUserEvent: menu", "sendWithCleanEvent: ram"}));
  for (const char* selector : {"startScanOperation:replyBlock:", "updateWith:", "requestPreferences"})
    EXPECT_EQ(eventServerInterface()->method(selector), nullptr) << selector;
}

TEST_F(ServiceProtocols, TheAgentServiceCarriesNotificationsEventsAndAnswers) {
  auto agentClient = std::make_shared<RecordingAgentClient>();
  serve<UserAgentClient>(kUserAgentClientServiceName, userAgentClientInterface(), agentClient);
  auto fromAgent = connect(kUserAgentClientServiceName, userAgentClientInterface());
  auto toDaemon = fromAgent->remoteObjectProxy<UserAgentClient>();

  auto alert = ZOLAlertNotification::make("alert", "Junk", "Found junk", 2);
  auto later = std::make_shared<ZOLNotificationAction>("later", "Later");
  alert->setAdditionalActions(ZOLAlertNotification::Actions{later, std::make_shared<ZOLNotificationAction>("x", "X")});
  alert->setUserInfo(Value(Value::Dictionary{{"groups", Value(Value::Array{Value("trashBin"), Value(3)})},
                                             {"nested", Value(Value::Dictionary{{"n", Value(1.5)}})}}));
  toDaemon.call<&UserAgentClient::setupConnection>();
  toDaemon.call<&IZOLGAEventSender::sendWithEvent>(std::make_shared<StandInEvent>("app", "firstScan", Value(42)));
  toDaemon.call<&ZOLINotificationHandler::handleActionForNotification>(alert);
  toDaemon.call<&ZOLINotificationHandler::handleCloseForNotification>(
      ZOLCustomNotification::make("html", "<p>bye</p>", 3));
  toDaemon.call<&ZOLINotificationHandler::handleAdditionalAction>(later, alert);
  ASSERT_TRUE(agentClient->calls.waitFor(5));
  EXPECT_EQ(agentClient->calls.lines(),
            (std::vector<std::string>{"setupConnection", "sendWithEvent: app/firstScan",
                                      "handleActionForNotification: alert", "handleCloseForNotification: html",
                                      "handleAdditionalAction: later of alert"}));

  // The other direction, with the agent's description.
  auto agentSide = std::make_shared<RecordingAgent>();
  serve<UserAgent>("div.ez.iru.test.agent", userAgentInterface(), agentSide);
  auto toAgent = connect("div.ez.iru.test.agent", userAgentInterface())->remoteObjectProxy<UserAgent>();
  Answer<std::optional<std::string>> name;
  Answer<std::optional<URL>> trash, library, caches;
  toAgent.call<&UserAgent::retrieveUserName>(name.block());
  toAgent.call<&UserAgent::retrieveTrashDirectory>(trash.block());
  toAgent.call<&UserAgent::retrieveLibraryDirectory>(library.block());
  toAgent.call<&UserAgent::retrieveCachesDirectory>(caches.block());
  toAgent.call<&UserAgent::updateITunesLibrary>();
  toAgent.call<&ZOLINotificationRemoteHandlerRegistration::registerRemoteHandlerForNotificationIdentifier>(
      std::string("alert"));
  toAgent.call<&ZOLINotificationScheduler::scheduleWithNotification>(
      std::static_pointer_cast<ZOLNotification>(alert), rawValue(ZOLNotificationPriority::high));
  toAgent.call<&ZOLINotificationScheduler::deliverWithNotification>(
      std::static_pointer_cast<ZOLNotification>(notification("now")));
  toAgent.call<&ZOLINotificationScheduler::removeWithNotificationIdentifier>(std::string("alert"));
  toAgent.call<&ZOLINotificationRemoteHandlerRegistration::unregisterRemoteHandlerForNotificationIdentifier>(
      std::string("alert"));
  ASSERT_TRUE(agentSide->calls.waitFor(10));
  EXPECT_EQ(agentSide->calls.lines(),
            (std::vector<std::string>{"retrieveUserName:", "retrieveTrashDirectory:", "retrieveLibraryDirectory:",
                                      "retrieveCachesDirectory:", "updateITunesLibrary",
                                      "registerRemoteHandlerForNotificationIdentifier: alert",
                                      "scheduleWithNotification: alert 2", "deliverWithNotification: now",
                                      "removeWithNotificationIdentifier: alert",
                                      "unregisterRemoteHandlerForNotificationIdentifier: alert"}));
  EXPECT_EQ(name.get(), std::optional<std::optional<std::string>>("alice"));
  const auto trashURL = trash.get();
  ASSERT_TRUE(trashURL && *trashURL);
  EXPECT_EQ((*trashURL)->path(), "/Users/alice/.Trash");
  const auto libraryURL = library.get();
  ASSERT_TRUE(libraryURL && *libraryURL);
  EXPECT_EQ((*libraryURL)->path(), "/Users/alice/Library");
  const auto cachesURL = caches.get();
  ASSERT_TRUE(cachesURL.has_value());
  EXPECT_FALSE(cachesURL->has_value());
}

TEST_F(ServiceProtocols, TheUIHearsProgressFailuresAndResults) {
  auto ui = std::make_shared<RecordingUI>();
  serve<IZOLClientService>("div.ez.iru.test.ui", clientServiceInterface(), ui);
  auto daemon = connect("div.ez.iru.test.ui", clientServiceInterface())->remoteObjectProxy<IZOLClientService>();
  daemon.call<&IZOLApplicationStateClient::handleAppStateUpdate>(std::make_shared<ZOLMApplicationState>("u-3"), true);
  daemon.call<&IZOLLongOperationsClient::operationDidUpdateProgressTo>(std::string("scan-1"), 0.25);
  daemon.call<&IZOLLongOperationsClient::operationDidFailWithError>(
      std::string("scan-1"),
      platform::Error("ZOLBackendErrorDomain", 3, {{"NSLocalizedDescription", Value("no disk")}}));
  daemon.call<&IZOLLongOperationsClient::operationDidFinishScanningWithResults>(std::string("scan-1"),
                                                                                groupsOfEachContainer());
  daemon.call<&IZOLLongOperationsClient::operationDidFinishCleaningWithResults>(std::string("clean-1"),
                                                                                std::vector<ItemGroupPtr>{});
  daemon.call<&IZOLPreferencesClient::handleRequestedPreferences>(std::make_shared<ZOLMPreferences>());
  daemon.call<&IZOLTrackingDataClient::handleRequestedTrackingData>(std::make_shared<ZOLMTrackingData>(
      "client-9", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
      std::nullopt, std::nullopt, std::nullopt, true));
  ASSERT_TRUE(ui->calls.waitFor(7));
  EXPECT_EQ(ui->calls.lines(),
            (std::vector<std::string>{"handleAppStateUpdate: u-3 backend",
                                      "operation:didUpdateProgressTo: scan-1 0.250000",
                                      "operation:didFailWithError: scan-1 ZOLBackendErrorDomain 3",
                                      "operation:didFinishScanningWithResults: scan-1 userCache,languages,duplicates",
                                      "operation:didFinishCleaningWithResults: clean-1 ",
                                      "handleRequestedPreferences: preferences",
                                      "handleRequestedTrackingData: client-9"}));
}

TEST_F(ServiceProtocols, TransportLinesReachTheDaemonLog) {
  platform::ServiceLog::log("service x: refused a call of something");
  EXPECT_TRUE(log_.waitForLine("service x: refused a call of something"));
}
