#include "platform/services/XPCListener.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PosixError.h"
#include "platform/services/ServiceFolder.h"
#include "platform/services/ServiceLog.h"
#include "platform/services/ServiceSocket.h"

namespace vozi::platform {

std::shared_ptr<XPCListener> XPCListener::make(std::string name) {
  return std::shared_ptr<XPCListener>(new XPCListener(std::move(name)));
}

XPCListener::XPCListener(std::string name)
    : name_(std::move(name)), queue_(DispatchQueue::serial("div.ez.iru.service." + name_ + ".listener")) {}

XPCListener::~XPCListener() = default;

void XPCListener::setAcceptHook(AcceptHook hook) {
  std::lock_guard lock(mutex_);
  acceptHook_ = std::move(hook);
}

void XPCListener::setNewConnectionHandler(NewConnectionHandler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void XPCListener::setConnectionLimits(XPCConnection::Limits limits) {
  std::lock_guard lock(mutex_);
  limits_ = limits;
}

Result<void> XPCListener::resume() {
  auto refuse = [&](const Error& error) -> Result<void> {
    ServiceLog::log("service " + name_ + ": no listener: " + error.localizedDescription());
    return error;
  };
  {
    std::lock_guard lock(mutex_);
    if (resumed_ || invalidated_) return refuse(PosixError::make(EALREADY));
  }
  auto folder = ServiceFolder::open(true);
  if (!folder) return refuse(folder.error());
  ino_t inode = 0;
  auto socket = ServiceSocket::listen(**folder, name_, inode);
  if (!socket) return refuse(socket.error());
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) return refuse(PosixError::make(errno));
  {
    std::lock_guard lock(mutex_);
    if (resumed_ || invalidated_) {
      ::close(wake[0]);
      ::close(wake[1]);
      ServiceSocket::unlinkSocket(**folder, name_, inode);
      return refuse(PosixError::make(EALREADY));
    }
    resumed_ = true;
    folder_ = std::move(*folder);
    socket_ = std::move(*socket);
    wakeRead_ = std::make_unique<FileDescriptor>(wake[0]);
    wakeWrite_ = std::make_unique<FileDescriptor>(wake[1]);
    inode_ = inode;
    self_ = shared_from_this();
  }
  queue_->async([self = shared_from_this()] { self->acceptLoop(); });
  return {};
}

void XPCListener::invalidate() {
  std::lock_guard lock(mutex_);
  if (invalidated_) return;
  invalidated_ = true;
  if (!resumed_) return;
  const char byte = 0;
  // The accept loop wakes, removes the socket and lets the listener go.
  while (::write(wakeWrite_->get(), &byte, 1) < 0 && errno == EINTR) {
  }
}

void XPCListener::acceptLoop() {
  for (;;) {
    auto client = ServiceSocket::accept(*socket_, wakeRead_->get());
    if (!client) {
      ServiceLog::log("service " + name_ + ": the listener stopped: " + client.error().localizedDescription());
      break;
    }
    if (!*client) break;  // woken by invalidate()
    auto peer = ServiceSocket::peerCredentials(**client);
    if (!peer) continue;
    AcceptHook hook;
    NewConnectionHandler handler;
    XPCConnection::Limits limits;
    {
      std::lock_guard lock(mutex_);
      hook = acceptHook_;
      handler = handler_;
      limits = limits_;
    }
    if (hook && !hook(peer->uid, peer->pid)) {
      ServiceLog::log("service " + name_ + ": refused a connection from uid " + std::to_string(peer->uid) +
                      " (pid " + std::to_string(peer->pid) + ")");
      continue;
    }
    auto connection = XPCConnection::accepted(name_, std::move(*client), peer->uid, peer->pid);
    connection->setLimits(limits);
    if (!handler || !handler(connection)) connection->invalidate();
  }
  std::shared_ptr<XPCListener> keptAlive;
  {
    std::lock_guard lock(mutex_);
    ServiceSocket::unlinkSocket(*folder_, name_, inode_);
    socket_.reset();
    invalidated_ = true;
    keptAlive = std::move(self_);
  }
}

}  // namespace vozi::platform
