// The socket side of the server: the accept loop, the connections and the
// request commands.

#include <algorithm>

#include "backend/ZOLTrackingDataCoding.h"
#include "common/LogLine.h"
#include "common/MLog.h"
#include "ipc/IPCShared.h"
#include "ipc/PeerAccessRule.h"
#include "ipc/RemoteMessageKey.h"
#include "ipc/RemoteMessageMethod.h"
#include "platform/Date.h"
#include "platform/Json.h"
#include "platform/ProcessInfo.h"
#include "platform/services/ServiceFolder.h"
#include "server/CleanHistory.h"
#include "server/UnixSocketIPCServer.h"

namespace vozi {

namespace {

constexpr long kBacklog = 50;
constexpr std::chrono::milliseconds kFirstRetryDelay{10};
constexpr std::chrono::milliseconds kLongestRetryDelay{1000};
constexpr std::size_t kLoggedRequestLength = 512;

const platform::Value::Dictionary* dictionaryAt(const platform::Value::Dictionary& dictionary, const char* key) {
  const auto found = dictionary.find(key);
  return found == dictionary.end() ? nullptr : found->second.asDictionary();
}

const std::string* stringAt(const platform::Value::Dictionary& dictionary, const char* key) {
  const auto found = dictionary.find(key);
  return found == dictionary.end() ? nullptr : found->second.asString();
}

// The request as the log shows it: cut to a few hundred bytes, and without
// the e-mail addresses it may carry.
std::string describeRequest(const platform::Value::Dictionary& params) {
  auto text = platform::Json::serialize(platform::Value(params));
  if (!text) return "<a request JSON cannot show>";
  std::string shown = LogLine::withoutEmailAddresses(*text);
  if (shown.size() > kLoggedRequestLength)
    return shown.substr(0, kLoggedRequestLength) + "... (" + std::to_string(shown.size()) + " bytes)";
  return shown;
}

}  // namespace

// --- Accepting ---------------------------------------------------------------

bool UnixSocketIPCServer::prepareListening() {
  MLog("Inside queue.async");
  auto created = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  if (!created) {
    MLog("Error reported: " + created.error().description());
    return false;
  }
  MLog("Socket created");
  auto bindPath = platform::ServiceFolder::socketPath(*socketFolder_, kSocketName);
  if (!bindPath) {
    MLog("Unexpected Error: " + bindPath.error().localizedDescription());
    return false;
  }
  MLog("Prepare to socket.listen");
  if (auto listening = (*created)->listen(*bindPath, kBacklog); !listening) {
    MLog("Error reported: " + listening.error().description());
    return false;
  }
  MLog("Listening on path: " + UnixSocketIPCServerConstant::Path());
  if (auto mode = platform::ServiceFolder::setSocketMode(*socketFolder_, kSocketName, 0777); !mode)
    MLog("Can't set 777 to socket : " + mode.error().localizedDescription());
  std::lock_guard lock(listenMutex_);
  if (!continueRunning_) {
    (*created)->close();
    return false;
  }
  listenSocket_ = *created;
  return true;
}

void UnixSocketIPCServer::closeListenSocket() {
  Socket::Ptr listening;
  {
    std::lock_guard lock(listenMutex_);
    listening = std::exchange(listenSocket_, nullptr);
  }
  // Closing a listening socket also removes its file; the pending accept
  // returns and, the server no longer running, the loop ends quietly.
  if (listening) listening->close();
  backOffWake_.notify_all();
}

bool UnixSocketIPCServer::backOff(std::chrono::milliseconds delay) {
  std::unique_lock lock(listenMutex_);
  backOffWake_.wait_for(lock, delay, [&] { return !continueRunning_; });
  return continueRunning_;
}

void UnixSocketIPCServer::acceptLoop() {
  if (!prepareListening()) return;
  // A failed accept (out of descriptors, a client that went away before it
  // was taken) is passing: the loop waits a little longer each time and
  // tries again, with one log line per run of failures. Only the shutdown
  // ends it.
  std::chrono::milliseconds delay{0};
  while (continueRunning_) {
    Socket::Ptr listening;
    {
      std::lock_guard lock(listenMutex_);
      listening = listenSocket_;
    }
    if (!listening) break;
    auto accepted = listening->acceptClientConnection(true);
    if (!accepted) {
      if (!continueRunning_) break;
      if (delay.count() == 0) MLog("Error reported: " + accepted.error().description() + "; accepting again");
      delay = delay.count() == 0 ? kFirstRetryDelay : std::min(delay * 2, kLongestRetryDelay);
      if (!backOff(delay)) break;
      continue;
    }
    if (delay.count() != 0) MLog("Accepting clients again");
    delay = std::chrono::milliseconds{0};
    MLog("Accepted new connection.");
    acceptQueue_->async([weak = weak_from_this(), socket = *accepted] {
      if (const auto server = weak.lock()) server->addNewConnection(socket);
    });
  }
}

void UnixSocketIPCServer::addNewConnection(Socket::Ptr socket) {
  if (!continueRunning_) {
    socket->close();
    return;
  }
  // Who may talk here is decided before anything is read.
  const auto credentials = socket->peerCredentials();
  if (!credentials || !PeerAccessRule::isPrivileged(credentials->uid, options_.agentLink->sessionUid())) {
    if (refusalLog_.allow())
      MLog("Refused a socket client of uid " +
           (credentials ? std::to_string(credentials->uid) : std::string("unknown")) +
           ": only root, the daemon's user and the session user are served");
    socket->close();
    return;
  }
  auto ticket = admission_->admit(*socket);
  if (!ticket) {
    socket->close();
    return;
  }
  socketLockQueue_->sync([&] { connectedSockets_[socket->socketfd()] = socket; });
  auto connection = IPCConnection::make(socket, std::static_pointer_cast<IPCConnectionDelegate>(shared_from_this()),
                                        dataSyncQueue_, std::move(ticket));
  {
    std::lock_guard lock(connectionsMutex_);
    connections_.insert(connection);
  }
  connection->start();
}

void UnixSocketIPCServer::stopConnection(const std::shared_ptr<IPCConnection>& connection) {
  const Socket::Ptr socket = connection->socket();
  connection->stop();
  socketLockQueue_->sync([&] {
    std::erase_if(connectedSockets_, [&](const auto& entry) { return entry.second == socket; });
  });
  std::lock_guard lock(connectionsMutex_);
  connections_.erase(connection);
}

std::vector<std::shared_ptr<IPCConnection>> UnixSocketIPCServer::connections() const {
  std::lock_guard lock(connectionsMutex_);
  return {connections_.begin(), connections_.end()};
}

std::size_t UnixSocketIPCServer::connectedSocketCount() const {
  return socketLockQueue_->syncResult([&] { return connectedSockets_.size(); });
}

void UnixSocketIPCServer::connection(const std::shared_ptr<IPCConnection>& connection,
                                     const std::optional<platform::Value::Dictionary>& message,
                                     const std::optional<IPCConnectionError>& error) {
  if (error || !message) {
    stopConnection(connection);
    return;
  }
  commandProcessor(connection, *message);
}

void UnixSocketIPCServer::connection(const std::shared_ptr<IPCConnection>& connection,
                                     const std::optional<IPCConnectionError>& error) {
  if (error) stopConnection(connection);
}

// --- Requests ----------------------------------------------------------------

void UnixSocketIPCServer::commandProcessor(const std::shared_ptr<IPCConnection>& connection,
                                           const platform::Value::Dictionary& params) {
  MLog("Server received: " + describeRequest(params));
  if (shuttingDown_) return;
  const std::string* name = stringAt(params, RemoteMessageKey::method);
  const auto method = name ? fromRawValue<RemoteMessageMethod>(*name) : std::nullopt;
  if (!method) return;
  switch (*method) {
    case RemoteMessageMethod::reportEvent:
      reportEvent(connection, params);
      break;
    case RemoteMessageMethod::getTrackingData:
      getTrackingData(connection);
      break;
    case RemoteMessageMethod::userEmail:
      setUserEmail(connection, params);
      break;
    case RemoteMessageMethod::getCleaningHistory:
      MLog("getCleaningHistory");
      zolQueue_->async([weak = weak_from_this(), data = zolData_, connection] {
        std::vector<CleanHistory::Row> rows;
        std::optional<platform::Date> lastCompleteCleanDate;
        data->moc()->performAndWait([&] {
          for (const auto& group : data->recentGroups()) rows.push_back(CleanHistory::Row::of(*group));
          lastCompleteCleanDate = data->getCleanHistory()->lastCompleteCleanDate();
        });
        auto reply = CleanHistory::report(rows, lastCompleteCleanDate, platform::ProcessInfo::physicalMemory());
        if (const auto server = weak.lock()) {
          server->dataSyncQueue_->async(
              [connection, reply = std::move(reply)]() mutable { connection->scheduleResponse(std::move(reply)); });
        }
      });
      break;
    case RemoteMessageMethod::quit:
      stopConnection(connection);
      break;
    case RemoteMessageMethod::shutdown:
      shutdownServer();
      break;
    default:
      // Served over the named service, or the name of a reply.
      break;
  }
}

void UnixSocketIPCServer::reportEvent(const std::shared_ptr<IPCConnection>&, const platform::Value::Dictionary& params) {
  const platform::Value::Dictionary* parameters = dictionaryAt(params, RemoteMessageKey::parameters);
  if (!parameters) return;
  const platform::Date now = platform::Date::now();
  const std::string* action = stringAt(*parameters, RemoteMessageKey::Event::action);
  const std::string* category = stringAt(*parameters, RemoteMessageKey::Event::category);
  const std::string* name = stringAt(*parameters, RemoteMessageKey::Event::name);
  if (!action || !category || !name) return;
  const std::string* value = stringAt(*parameters, RemoteMessageKey::Event::value);
  const auto manager = applicationStateManager();
  send(ZOLEvent::buttonClickedEvent(now, manager->applicationState(), *category, *action, *name,
                                    value ? *value : std::string()));
}

void UnixSocketIPCServer::setUserEmail(const std::shared_ptr<IPCConnection>&, const platform::Value::Dictionary& params) {
  MLog("requested setUserEmail: " + describeRequest(params));
  const platform::Value::Dictionary* parameters = dictionaryAt(params, RemoteMessageKey::parameters);
  if (!parameters) return;
  const std::string* email = stringAt(*parameters, RemoteMessageKey::UserEmail::email);
  if (!email) return;
  applicationStateManager()->setUserEmail(*email, {});
}

void UnixSocketIPCServer::getTrackingData(const std::shared_ptr<IPCConnection>& connection) {
  const ZOLTrackingData trackingData = applicationStateManager()->trackingData();
  if (trackingData.retrieved) announceTrackingDataToClient(trackingData, connection);
}

void UnixSocketIPCServer::announceTrackingDataToClient(const ZOLTrackingData& trackingData,
                                                       const std::shared_ptr<IPCConnection>& connection) {
  connection->scheduleResponse({
      {RemoteMessageKey::method, platform::Value(std::string(rawValue(RemoteMessageMethod::trackingData)))},
      {RemoteMessageKey::parameters, platform::Value(ZOLTrackingDataCoding::IPCRepresentations(trackingData))},
  });
}

}  // namespace vozi
