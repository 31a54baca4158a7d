#include "ipc/XPCConnectionManagers.h"

#include "common/MLog.h"
#include "ipc/PeerAccessRule.h"

namespace vozi {

using platform::XPCConnection;
using platform::XPCListener;

BaseXPCConnectionManager::BaseXPCConnectionManager(IConnectionManagerDataSource& dataSource)
    : dataSource_(dataSource) {
  checkOnSyncQueue("a connection manager's creation");
}

BaseXPCConnectionManager::~BaseXPCConnectionManager() = default;

void BaseXPCConnectionManager::checkOnSyncQueue(const char* what) {
  const auto queue = dataSource_.connectionManagerDataSyncQueue(*this);
  if (queue && !queue->isCurrent())
    MLog(std::string("zeviza ") + what + " belongs on " + queue->label() + ", called on \"" +
         platform::DispatchQueue::currentLabel() + "\"");
}

void BaseXPCConnectionManager::stop() {
  std::shared_ptr<XPCConnection> current;
  {
    std::lock_guard lock(mutex_);
    current.swap(connection_);
  }
  if (!current) return;
  current->setInvalidationHandler(nullptr);
  current->setInterruptionHandler(nullptr);
  current->invalidate();
}

void BaseXPCConnectionManager::setDelegate(std::weak_ptr<IConnectionManagerDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<XPCConnection> BaseXPCConnectionManager::connection() const {
  std::lock_guard lock(mutex_);
  return connection_;
}

void BaseXPCConnectionManager::setConnection(std::shared_ptr<XPCConnection> connection) {
  std::lock_guard lock(mutex_);
  connection_ = std::move(connection);
}

void BaseXPCConnectionManager::tellDelegate() {
  std::shared_ptr<IConnectionManagerDelegate> delegate;
  std::shared_ptr<XPCConnection> current;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_.lock();
    current = connection_;
  }
  if (delegate) delegate->connectionManagerDidStart(*this, current);
}

ServerConnectionManager::~ServerConnectionManager() {
  std::shared_ptr<XPCListener> listener;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
  }
  if (listener) listener->invalidate();
}

void ServerConnectionManager::setSessionUidSource(SessionUidSource source) {
  std::lock_guard lock(mutex_);
  sessionUid_ = std::move(source);
}

void ServerConnectionManager::setConnectionLimits(XPCConnection::Limits limits) {
  std::lock_guard lock(mutex_);
  limits_ = limits;
}

std::shared_ptr<XPCListener> ServerConnectionManager::listener() const {
  std::lock_guard lock(mutex_);
  return listener_;
}

void ServerConnectionManager::start() {
  MLog("zeviza listener will resume...");
  const std::string name = dataSource().connectionManagerMachServiceName(*this);
  auto listener = XPCListener::make(name);
  // The listener may outlive the manager by a call in flight: it holds the
  // manager only weakly.
  const std::weak_ptr<ServerConnectionManager> weakSelf =
      std::static_pointer_cast<ServerConnectionManager>(shared_from_this());
  listener->setAcceptHook([weakSelf, name](uid_t uid, pid_t) {
    auto self = weakSelf.lock();
    if (!self) return false;
    SessionUidSource source;
    {
      std::lock_guard lock(self->mutex_);
      source = self->sessionUid_;
    }
    return PeerAccessRule::serves(name, uid, source ? source() : std::nullopt);
  });
  listener->setNewConnectionHandler([weakSelf](const std::shared_ptr<XPCConnection>& connection) {
    auto self = weakSelf.lock();
    return self && self->accept(connection);
  });
  {
    std::lock_guard lock(mutex_);
    if (limits_) listener->setConnectionLimits(*limits_);
    listener_ = listener;
    stopped_ = false;
  }
  // A listener that cannot start has logged why; nothing is served then.
  (void)listener->resume();
  tellDelegate();
}

bool ServerConnectionManager::accept(const std::shared_ptr<XPCConnection>& connection) {
  MLog("zeviza listener shouldAcceptNewConnection");
  dataSource().connectionManagerSetupConnection(*this, connection);
  {
    // A client accepted while stop() runs must not outlive it as a
    // connection nobody ends: either stop() finds it here, or it is refused
    // (and the listener ends it).
    std::lock_guard lock(mutex_);
    if (stopped_) return false;
    setConnection(connection);
  }
  connection->resume();
  return true;
}

void ServerConnectionManager::stop() {
  std::shared_ptr<XPCListener> listener;
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    listener = listener_;
  }
  if (listener) listener->invalidate();
  BaseXPCConnectionManager::stop();
}

void ClientConnectionManager::start() {
  MLog("zeviza connection manager start");
  const std::string name = dataSource().connectionManagerMachServiceName(*this);
  (void)dataSource().connectionManagerOptions(*this);
  auto connection = XPCConnection::connectToService(name);
  dataSource().connectionManagerSetupConnection(*this, connection);
  setConnection(connection);
  connection->resume();
  tellDelegate();
}

}  // namespace vozi
