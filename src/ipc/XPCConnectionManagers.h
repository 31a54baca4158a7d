#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/DispatchQueue.h"
#include "platform/services/XPCConnection.h"
#include "platform/services/XPCListener.h"

namespace vozi {

class BaseXPCConnectionManager;

// What a connection manager leaves to its owner: the service's name, the
// queue the manager is used on, and the set-up of every new connection
// (exported interface and object, remote interface, handlers). The data
// source owns its managers and outlives them.
class IConnectionManagerDataSource {
 public:
  virtual ~IConnectionManagerDataSource() = default;

  // Configures a new connection completely; called before it is resumed,
  // on the listener's queue for an accepted one.
  virtual void connectionManagerSetupConnection(BaseXPCConnectionManager& manager,
                                                const std::shared_ptr<platform::XPCConnection>& connection) = 0;
  // The serial queue the manager is made on and its proxy asked for.
  virtual platform::DispatchQueuePtr connectionManagerDataSyncQueue(BaseXPCConnectionManager& manager) = 0;
  virtual std::string connectionManagerMachServiceName(BaseXPCConnectionManager& manager) = 0;
  // Connection options (read by a client end only; nothing on this
  // platform depends on them).
  virtual std::optional<std::uint64_t> connectionManagerOptions(BaseXPCConnectionManager& manager) = 0;
};

class IConnectionManagerDelegate {
 public:
  virtual ~IConnectionManagerDelegate() = default;
  // After a start, with the manager's current connection (null for a
  // listener without a client yet).
  virtual void connectionManagerDidStart(BaseXPCConnectionManager& manager,
                                         const std::shared_ptr<platform::XPCConnection>& connection) = 0;
};

// One end of a named service, configured by its data source. `connection`
// is the current connection: written when a client is accepted (listener
// queue) and taken by stop() (the owner's queues), so it is guarded.
// Managers are made with std::make_shared, on the data source's queue.
class BaseXPCConnectionManager : public std::enable_shared_from_this<BaseXPCConnectionManager> {
 public:
  explicit BaseXPCConnectionManager(IConnectionManagerDataSource& dataSource);
  virtual ~BaseXPCConnectionManager();
  BaseXPCConnectionManager(const BaseXPCConnectionManager&) = delete;
  BaseXPCConnectionManager& operator=(const BaseXPCConnectionManager&) = delete;

  virtual void start() {}
  // Takes the current connection away and, if there was one, invalidates it
  // without running its handlers.
  virtual void stop();

  void setDelegate(std::weak_ptr<IConnectionManagerDelegate> delegate);
  std::shared_ptr<platform::XPCConnection> connection() const;

  // The peer's object through the current connection, with the error
  // handler when one is given; none without a connection. Belongs on the
  // data source's queue.
  template <class I>
  std::optional<platform::XPCProxy<I>> remoteObject(platform::XPCConnection::ErrorHandler errorHandler = {}) {
    checkOnSyncQueue("remoteObject");
    auto current = connection();
    if (!current) return std::nullopt;
    if (errorHandler) return current->template remoteObjectProxyWithErrorHandler<I>(std::move(errorHandler));
    return current->template remoteObjectProxy<I>();
  }

 protected:
  IConnectionManagerDataSource& dataSource() const { return dataSource_; }
  void setConnection(std::shared_ptr<platform::XPCConnection> connection);
  void tellDelegate();
  // Logs a call made off the data source's queue (a fault of the caller,
  // not worth stopping the daemon for).
  void checkOnSyncQueue(const char* what);

 private:
  IConnectionManagerDataSource& dataSource_;
  mutable std::mutex mutex_;
  std::weak_ptr<IConnectionManagerDelegate> delegate_;
  std::shared_ptr<platform::XPCConnection> connection_;
};

// The listening end. Every peer first passes the access rule of its service
// (PeerAccessRule): refused ones are closed, with a log line naming their
// uid, before a frame is read. A second client replaces the first as
// `connection` without ending it.
class ServerConnectionManager : public BaseXPCConnectionManager {
 public:
  using SessionUidSource = std::function<std::optional<uid_t>()>;

  using BaseXPCConnectionManager::BaseXPCConnectionManager;
  ~ServerConnectionManager() override;

  // Where the session user's uid comes from (the agent link); none: no
  // session user.
  void setSessionUidSource(SessionUidSource source);
  // The caps of every accepted connection (tests lower them).
  void setConnectionLimits(platform::XPCConnection::Limits limits);

  void start() override;
  // Invalidates the listener, then the current connection.
  void stop() override;
  std::shared_ptr<platform::XPCListener> listener() const;

 private:
  bool accept(const std::shared_ptr<platform::XPCConnection>& connection);

  mutable std::mutex mutex_;
  SessionUidSource sessionUid_;
  std::optional<platform::XPCConnection::Limits> limits_;
  std::shared_ptr<platform::XPCListener> listener_;
  bool stopped_ = false;
};

// The connecting end (for the UI and the tests; the daemon makes none).
class ClientConnectionManager : public BaseXPCConnectionManager {
 public:
  using BaseXPCConnectionManager::BaseXPCConnectionManager;
  void start() override;
};

}  // namespace vozi
