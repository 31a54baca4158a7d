#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/DispatchQueue.h"
#include "platform/FileDescriptor.h"
#include "platform/Result.h"
#include "platform/services/XPCConnection.h"

namespace vozi::platform {

// The listening end of a named service: the socket "<name>" in the service
// folder (see ServiceFolder), mode 0666; who may talk is decided per peer.
//
//   auto listener = XPCListener::make("div.ez.iru.server");
//   listener->setAcceptHook([](uid_t uid, pid_t) { return uid == 0 || uid == sessionUID; });
//   listener->setNewConnectionHandler([](const std::shared_ptr<XPCConnection>& c) {
//     c->setExportedInterface(serverInterface());
//     c->setExportedObject<IServer>(server);
//     c->resume();
//     return true;
//   });
//   if (auto started = listener->resume(); !started) ...;   // also logged
//
// Each client is accepted on the listener's own serial queue: its
// credentials go to the accept hook first (false: the socket is closed with
// a log line naming the uid, before any frame is read), then the new
// connection goes to the new-connection handler, which sets it up and
// resumes it (false, or no handler: the connection is invalidated).
// A resumed listener lives until invalidate(), even when nothing holds it.
// Setters belong before resume(); the rest may be called from any thread.
class XPCListener : public std::enable_shared_from_this<XPCListener> {
 public:
  using AcceptHook = std::function<bool(uid_t uid, pid_t pid)>;
  using NewConnectionHandler = std::function<bool(const std::shared_ptr<XPCConnection>& connection)>;

  static std::shared_ptr<XPCListener> make(std::string name);
  ~XPCListener();
  XPCListener(const XPCListener&) = delete;
  XPCListener& operator=(const XPCListener&) = delete;

  const std::string& serviceName() const { return name_; }
  void setAcceptHook(AcceptHook hook);
  void setNewConnectionHandler(NewConnectionHandler handler);
  // The caps every accepted connection starts with.
  void setConnectionLimits(XPCConnection::Limits limits);

  // Makes (or checks) the service folder, binds the socket and starts
  // accepting. Fails, with a log line, when the folder is a link or owned by
  // another user, or the socket cannot be made; and when called twice.
  Result<void> resume();
  // Stops accepting and removes the socket file. Connections already
  // accepted go on until they end. Any number of times.
  void invalidate();

 private:
  explicit XPCListener(std::string name);
  void acceptLoop();

  const std::string name_;
  const DispatchQueuePtr queue_;

  mutable std::mutex mutex_;
  AcceptHook acceptHook_;
  NewConnectionHandler handler_;
  XPCConnection::Limits limits_;
  std::shared_ptr<XPCListener> self_;  // while resumed
  std::unique_ptr<FileDescriptor> folder_;
  std::unique_ptr<FileDescriptor> socket_;
  std::unique_ptr<FileDescriptor> wakeRead_;
  std::unique_ptr<FileDescriptor> wakeWrite_;
  ino_t inode_ = 0;
  bool resumed_ = false;
  bool invalidated_ = false;
};

}  // namespace vozi::platform
