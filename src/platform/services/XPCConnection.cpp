#include "platform/services/XPCConnection.h"

#include <cassert>
#include <cerrno>
#include <deque>
#include <vector>

#include "platform/PosixError.h"
#include "platform/services/ServiceFolder.h"
#include "platform/services/ServiceFrameReader.h"
#include "platform/services/ServiceLog.h"
#include "platform/services/ServiceSocket.h"

namespace vozi::platform {

namespace {

constexpr std::size_t kReadChunk = 256 * 1024;

Error connectionError(XPCConnection::ErrorCode code) {
  return Error(XPCConnection::kErrorDomain, code,
               {{"NSLocalizedDescription", Value(code == XPCConnection::connectionInterrupted
                                                     ? "The connection to the service was interrupted."
                                                     : "The connection to the service was invalidated.")}});
}

}  // namespace

// One socket of the connection. The client end gets a new one each time it
// connects again; frames and replies carry the generation they belong to.
struct XPCConnection::Link {
  std::unique_ptr<FileDescriptor> socket;
  std::uint64_t generation = 0;

  // A frame that did not go out whole: its header and body are kept as they
  // are, with how much of them went out, so a large frame is never copied.
  struct Outgoing {
    std::uint8_t header[ServiceFrameReader::kHeaderSize];
    std::size_t sent = 0;  // of the header, then of the body
    Data body;
    std::size_t unsent() const { return sizeof header + body.size() - sent; }
  };

  std::mutex writeMutex;
  std::deque<Outgoing> outbox;
  std::size_t outboxBytes = 0;
  bool writerScheduled = false;
  bool broken = false;

  bool reading = false;  // under the connection's mutex
};

XPCConnection::XPCConnection(std::string name, bool byName)
    : name_(std::move(name)),
      byName_(byName),
      queue_(DispatchQueue::serial("div.ez.iru.service." + name_)),
      sideQueue_(DispatchQueue::serial("div.ez.iru.service." + name_ + ".errors")),
      readQueue_(DispatchQueue::serial("div.ez.iru.service." + name_ + ".read")),
      writeQueue_(DispatchQueue::serial("div.ez.iru.service." + name_ + ".write")) {}

XPCConnection::~XPCConnection() {
  std::shared_ptr<Link> link;
  {
    std::lock_guard lock(mutex_);
    link = std::move(link_);
  }
  if (link) ServiceSocket::shutdown(link->socket->get());
}

std::shared_ptr<XPCConnection> XPCConnection::connectToService(std::string name) {
  return std::shared_ptr<XPCConnection>(new XPCConnection(std::move(name), true));
}

std::shared_ptr<XPCConnection> XPCConnection::accepted(std::string name, std::unique_ptr<FileDescriptor> socket,
                                                       uid_t uid, pid_t pid) {
  auto connection = std::shared_ptr<XPCConnection>(new XPCConnection(std::move(name), false));
  auto link = std::make_shared<Link>();
  link->socket = std::move(socket);
  link->generation = ++connection->generation_;
  connection->link_ = std::move(link);
  connection->peerUID_ = uid;
  connection->peerPID_ = pid;
  return connection;
}

uid_t XPCConnection::peerUID() const {
  std::lock_guard lock(mutex_);
  return peerUID_;
}

pid_t XPCConnection::peerPID() const {
  std::lock_guard lock(mutex_);
  return peerPID_;
}

std::string XPCConnection::describePeer() const {
  std::lock_guard lock(mutex_);
  return "service " + name_ + " (peer uid " + std::to_string(static_cast<long>(peerUID_)) + ", pid " +
         std::to_string(peerPID_) + ")";
}

void XPCConnection::setExportedInterface(XPCInterfacePtr interface) {
  std::lock_guard lock(mutex_);
  exportedInterface_ = std::move(interface);
}

XPCInterfacePtr XPCConnection::exportedInterface() const {
  std::lock_guard lock(mutex_);
  return exportedInterface_;
}

void XPCConnection::setExportedObject(std::shared_ptr<void> object, std::type_index type) {
  std::lock_guard lock(mutex_);
  exportedObject_ = std::move(object);
  exportedType_ = type;
}

void XPCConnection::setRemoteObjectInterface(XPCInterfacePtr interface) {
  std::lock_guard lock(mutex_);
  remoteInterface_ = std::move(interface);
}

XPCInterfacePtr XPCConnection::remoteObjectInterface() const {
  std::lock_guard lock(mutex_);
  return remoteInterface_;
}

void XPCConnection::setLimits(Limits limits) {
  std::lock_guard lock(mutex_);
  limits_ = limits;
}

XPCConnection::Limits XPCConnection::limits() const {
  std::lock_guard lock(mutex_);
  return limits_;
}

void XPCConnection::setInterruptionHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  interruptionHandler_ = std::move(handler);
}

XPCConnection::Handler XPCConnection::interruptionHandler() const {
  std::lock_guard lock(mutex_);
  return interruptionHandler_;
}

void XPCConnection::setInvalidationHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  invalidationHandler_ = std::move(handler);
}

XPCConnection::Handler XPCConnection::invalidationHandler() const {
  std::lock_guard lock(mutex_);
  return invalidationHandler_;
}

bool XPCConnection::isInvalidated() const {
  std::lock_guard lock(mutex_);
  return state_ == State::invalidated;
}

void XPCConnection::resume() {
  std::shared_ptr<Link> link;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::idle) return;
    state_ = State::resumed;
    self_ = shared_from_this();
    link = link_;
    if (link) link->reading = true;
  }
  if (link) startReading(link);
}

void XPCConnection::invalidate() {
  std::shared_ptr<Link> link;
  bool reading = false;
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::invalidated) return;
    state_ = State::invalidated;
    invalidateCalled_ = true;
    link = link_;
    reading = link && link->reading;
    if (!reading) link_.reset();
  }
  if (link) ServiceSocket::shutdown(link->socket->get());
  // A reader sees the end and finishes; without one, finish here.
  if (!reading) finish();
}

// --- Sending ---------------------------------------------------------------------

void XPCConnection::sendCall(const XPCMethod& method, const std::function<void(KeyedArchiver&)>& encode,
                             ReplyDecoder reply, ErrorHandler onError) {
  const std::uint64_t replyID = reply ? nextReplyID_++ : 0;
  KeyedArchiver archiver;
  archiver.encode("selector", method.selector);
  archiver.encodeInt64("replyID", static_cast<std::int64_t>(replyID));
  encode(archiver);
  auto frame = archiver.finishEncoding();
  auto dropped = [&](ErrorCode code, const std::string& why) {
    if (!why.empty()) ServiceLog::log(describePeer() + ": call " + method.selector + " dropped: " + why);
    if (onError) failPending(Pending{0, nullptr, std::move(onError)}, code);
  };
  if (!frame) return dropped(connectionInvalid, frame.error().localizedDescription());
  const Limits caps = limits();
  if (frame->size() > caps.maxFrameBytes)
    return dropped(connectionInvalid, "its frame of " + std::to_string(frame->size()) + " bytes is over the cap");

  std::shared_ptr<Link> link;
  bool overCap = false;
  {
    std::unique_lock lock(mutex_);
    if (state_ != State::resumed) {
      lock.unlock();
      return dropped(connectionInvalid, "");
    }
    link = link_;
    if (!link && byName_) link = connectLocked(lock);
    if (!link) {
      lock.unlock();
      return dropped(byName_ ? connectionInterrupted : connectionInvalid, "");
    }
    if (replyID != 0) {
      if (pending_.size() >= caps.maxPendingReplies) {
        overCap = true;
      } else {
        pending_.emplace(replyID, Pending{link->generation, std::move(reply), std::move(onError)});
      }
    }
  }
  if (overCap) {
    drop(link, "more than " + std::to_string(caps.maxPendingReplies) + " replies pending");
    return dropped(connectionInvalid, "");
  }
  sendFrame(link, std::move(*frame));
}

std::shared_ptr<XPCConnection::Link> XPCConnection::connectLocked(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  auto folder = ServiceFolder::open(false);
  Result<std::unique_ptr<FileDescriptor>> socket =
      folder ? ServiceSocket::connect(**folder, name_) : Result<std::unique_ptr<FileDescriptor>>(folder.error());
  Result<ServiceSocket::Credentials> peer =
      socket ? ServiceSocket::peerCredentials(**socket) : Result<ServiceSocket::Credentials>(socket.error());
  lock.lock();
  if (!peer) {
    lock.unlock();
    ServiceLog::log("service " + name_ + ": cannot connect: " + peer.error().localizedDescription());
    lock.lock();
    return nullptr;
  }
  if (state_ != State::resumed) return nullptr;
  if (link_) return link_;  // another call connected meanwhile
  auto link = std::make_shared<Link>();
  link->socket = std::move(*socket);
  link->generation = ++generation_;
  peerUID_ = peer->uid;
  peerPID_ = peer->pid;
  link_ = link;
  link->reading = true;
  startReading(link);
  return link;
}

XPCReplySender XPCConnection::replySender(std::uint64_t generation, std::uint64_t replyID) {
  auto sent = std::make_shared<std::atomic<bool>>(false);
  std::weak_ptr<XPCConnection> weak = weak_from_this();
  return [weak, generation, replyID, sent](const std::function<void(KeyedArchiver&)>& encode) {
    if (sent->exchange(true)) return;
    auto self = weak.lock();
    if (!self) return;
    KeyedArchiver archiver;
    archiver.encodeInt64("replyTo", static_cast<std::int64_t>(replyID));
    encode(archiver);
    auto frame = archiver.finishEncoding();
    if (!frame || frame->size() > self->limits().maxFrameBytes) {
      ServiceLog::log(self->describePeer() + ": a reply was dropped: " +
                      (frame ? "its frame is over the cap" : frame.error().localizedDescription()));
      return;
    }
    std::shared_ptr<Link> link;
    {
      std::lock_guard lock(self->mutex_);
      if (self->state_ == State::resumed && self->link_ && self->link_->generation == generation) link = self->link_;
    }
    if (link) self->sendFrame(link, std::move(*frame));
  };
}

void XPCConnection::sendFrame(const std::shared_ptr<Link>& link, Data frame) {
  Link::Outgoing out;
  ServiceFrameReader::writeHeader(frame.size(), out.header);
  std::unique_lock lock(link->writeMutex);
  if (link->broken) return;
  if (link->outbox.empty()) {
    const long n =
        ServiceSocket::sendSome(link->socket->get(), out.header, sizeof out.header, frame.data(), frame.size());
    if (n < 0) {
      link->broken = true;
      lock.unlock();
      ServiceSocket::shutdown(link->socket->get());
      return;
    }
    out.sent = static_cast<std::size_t>(n);
    if (out.sent == sizeof out.header + frame.size()) return;
  }
  // Keep what did not go out, in order, for the writer.
  out.body = std::move(frame);
  link->outboxBytes += out.unsent();
  link->outbox.push_back(std::move(out));
  const std::size_t cap = limits().maxBacklogBytes;
  if (link->outboxBytes > cap) {
    link->broken = true;
    lock.unlock();
    drop(link, "the peer does not read: more than " + std::to_string(cap) + " bytes wait to go out");
    return;
  }
  if (!link->writerScheduled) {
    link->writerScheduled = true;
    writeQueue_->async([self = shared_from_this(), link] { self->writeQueued(link); });
  }
}

void XPCConnection::writeQueued(const std::shared_ptr<Link>& link) {
  std::unique_lock lock(link->writeMutex);
  while (!link->outbox.empty() && !link->broken) {
    const Link::Outgoing& next = link->outbox.front();
    const std::size_t unsent = next.unsent();
    lock.unlock();
    // Only this writer takes frames off the front; senders add at the back.
    int failure = 0;
    if (next.sent < sizeof next.header)
      failure = ServiceSocket::sendAll(link->socket->get(), next.header + next.sent, sizeof next.header - next.sent);
    const std::size_t bodySent = next.sent > sizeof next.header ? next.sent - sizeof next.header : 0;
    if (failure == 0)
      failure = ServiceSocket::sendAll(link->socket->get(), next.body.data() + bodySent, next.body.size() - bodySent);
    lock.lock();
    if (failure != 0) {
      link->broken = true;
      break;
    }
    link->outboxBytes -= unsent;
    link->outbox.pop_front();
  }
  link->writerScheduled = false;
  if (link->broken) {
    link->outbox.clear();
    link->outboxBytes = 0;
    lock.unlock();
    ServiceSocket::shutdown(link->socket->get());
  }
}

void XPCConnection::drop(const std::shared_ptr<Link>& link, const std::string& why) {
  ServiceLog::log(describePeer() + ": connection dropped: " + why);
  {
    std::lock_guard lock(mutex_);
    // A peer that breaks a cap gets no second chance on this connection.
    if (!byName_ && state_ == State::resumed) state_ = State::invalidated;
  }
  ServiceSocket::shutdown(link->socket->get());
}

// --- Receiving -------------------------------------------------------------------

void XPCConnection::startReading(const std::shared_ptr<Link>& link) {
  readQueue_->async([self = shared_from_this(), link] {
    self->readLoop(link);
    self->linkEnded(link);
  });
}

void XPCConnection::readLoop(const std::shared_ptr<Link>& link) {
  ServiceFrameReader reader(limits().maxFrameBytes);
  std::vector<std::uint8_t> buffer(kReadChunk);
  std::vector<Data> frames;
  for (;;) {
    const long got = ServiceSocket::receive(link->socket->get(), buffer.data(), buffer.size());
    if (got <= 0) break;
    frames.clear();
    auto appended = reader.append(buffer.data(), static_cast<std::size_t>(got), frames);
    for (auto& frame : frames) handleFrame(link, std::move(frame));
    if (!appended) {
      drop(link, appended.error().localizedDescription());
      break;
    }
  }
  ServiceSocket::shutdown(link->socket->get());
}

bool XPCConnection::reserveInbound(std::size_t size, std::size_t limit) {
  const std::size_t before = inboundBytes_.fetch_add(size);
  if (before + size <= limit) return true;
  inboundBytes_ -= size;
  return false;
}

void XPCConnection::handleFrame(const std::shared_ptr<Link>& link, Data frame) {
  const std::size_t size = frame.size();
  KeyedUnarchiver unarchiver(frame);
  if (unarchiver.error()) {
    ServiceLog::log(describePeer() + ": refused an unreadable frame: " + unarchiver.error()->localizedDescription());
    return;
  }
  if (unarchiver.containsValueForKey("selector"))
    handleCall(link, unarchiver, size);
  else if (unarchiver.containsValueForKey("replyTo"))
    handleReply(link, unarchiver);
  else
    ServiceLog::log(describePeer() + ": refused a frame that is neither a call nor a reply");
}

void XPCConnection::handleCall(const std::shared_ptr<Link>& link, KeyedUnarchiver& unarchiver, std::size_t size) {
  const std::string selector = unarchiver.decodeStringForKey("selector").value_or("");
  const std::int64_t replyID = unarchiver.decodeInt64ForKey("replyID");
  XPCInterfacePtr interface;
  std::shared_ptr<void> object;
  {
    std::lock_guard lock(mutex_);
    interface = exportedInterface_;
    if (interface && exportedType_ == interface->type()) object = exportedObject_;
  }
  const XPCMethod* method = interface ? interface->method(selector) : nullptr;
  if (!method || unarchiver.error() || replyID < 0) {
    ServiceLog::log(describePeer() + ": refused a call of unknown selector '" + selector + "'");
    return;
  }
  if (!object) {
    ServiceLog::log(describePeer() + ": refused a call of " + selector + ": no object is exported");
    return;
  }
  auto delivery = method->decodeCall(unarchiver);
  if (!delivery) {
    ServiceLog::log(describePeer() + ": refused a call of " + selector + ": " + delivery.error().localizedDescription());
    return;
  }
  if (const std::size_t cap = limits().maxBacklogBytes; !reserveInbound(size, cap)) {
    drop(link, "more than " + std::to_string(cap) + " bytes of calls wait to be delivered");
    return;
  }
  XPCReplySender reply;
  if (method->hasReply && replyID != 0) reply = replySender(link->generation, static_cast<std::uint64_t>(replyID));
  queue_->async([self = shared_from_this(), run = std::move(*delivery), object = std::move(object),
                 reply = std::move(reply), size] {
    self->inboundBytes_ -= size;
    if (!self->invalidateCalled_) run(object.get(), reply);
  });
}

void XPCConnection::handleReply(const std::shared_ptr<Link>& link, KeyedUnarchiver& unarchiver) {
  const auto replyTo = static_cast<std::uint64_t>(unarchiver.decodeInt64ForKey("replyTo"));
  std::optional<Pending> pending;
  {
    std::lock_guard lock(mutex_);
    const auto it = pending_.find(replyTo);
    if (it != pending_.end() && it->second.generation == link->generation) {
      pending.emplace(std::move(it->second));
      pending_.erase(it);
    }
  }
  if (!pending) {
    ServiceLog::log(describePeer() + ": dropped a reply to unknown call " + std::to_string(replyTo));
    return;
  }
  auto run = pending->decode(unarchiver);
  if (!run) {
    ServiceLog::log(describePeer() + ": refused a reply: " + run.error().localizedDescription());
    return;
  }
  // Right here, on the reading thread: nothing waits in front of a reply,
  // and the next frame is read once the block has returned.
  if (!invalidateCalled_) (*run)();
}

// --- Endings ---------------------------------------------------------------------

void XPCConnection::failPending(Pending pending, ErrorCode code) {
  if (!pending.onError) return;
  sideQueue_->async([onError = std::move(pending.onError), code] { onError(connectionError(code)); });
}

void XPCConnection::linkEnded(const std::shared_ptr<Link>& link) {
  std::vector<Pending> dropped;
  bool interrupted = false;
  bool ending = false;
  {
    std::lock_guard lock(mutex_);
    if (link_ == link) link_.reset();
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (it->second.generation == link->generation) {
        dropped.push_back(std::move(it->second));
        it = pending_.erase(it);
      } else {
        ++it;
      }
    }
    if (state_ == State::invalidated || !byName_) {
      state_ = State::invalidated;
      ending = true;
    } else {
      interrupted = state_ == State::resumed;
    }
  }
  const ErrorCode code = interrupted ? connectionInterrupted : connectionInvalid;
  for (auto& pending : dropped) failPending(std::move(pending), code);
  dropped.clear();  // the reply blocks go here, never having run
  if (interrupted) {
    // After every reply and call that came before the end.
    sideQueue_->async([self = shared_from_this()] {
      self->queue_->async([self] {
        if (auto handler = self->interruptionHandler()) handler();
      });
    });
  }
  if (ending) finish();
}

void XPCConnection::finish() {
  std::vector<Pending> dropped;
  {
    std::lock_guard lock(mutex_);
    if (finishing_) return;
    finishing_ = true;
    state_ = State::invalidated;
    for (auto& [id, pending] : pending_) dropped.push_back(std::move(pending));
    pending_.clear();
  }
  for (auto& pending : dropped) failPending(std::move(pending), connectionInvalid);
  dropped.clear();
  sideQueue_->async([self = shared_from_this()] {
    self->queue_->async([self] {
      if (auto handler = self->invalidationHandler()) handler();
      Handler interruption, invalidation;
      std::shared_ptr<void> object;
      std::shared_ptr<XPCConnection> keptAlive;
      {
        std::lock_guard lock(self->mutex_);
        interruption = std::move(self->interruptionHandler_);
        invalidation = std::move(self->invalidationHandler_);
        object = std::move(self->exportedObject_);
        keptAlive = std::move(self->self_);
      }
      // Released here, outside the lock: their destructors may do anything.
    });
  });
}

}  // namespace vozi::platform
