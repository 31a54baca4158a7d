#include "ipc/IPCConnection.h"

#include <string>
#include <string_view>

#include "common/LogLine.h"
#include "common/MLog.h"
#include "ipc/IPCMessageCodec.h"
#include "platform/Json.h"
#include "platform/Utf8.h"

namespace vozi {

using platform::Value;

namespace {

// Log lines show at most this much of a request or reply: enough to tell
// which request it was, little enough that a client cannot fill the log.
constexpr std::size_t kLoggedTextLength = 256;

// The text cut to the logged length on a character boundary, with its length
// when it was cut; e-mail addresses never reach the log.
std::string shortened(std::string_view original, std::string (*render)(std::string_view)) {
  const std::string masked = LogLine::withoutEmailAddresses(original);
  const std::string_view text = masked;
  if (text.size() <= kLoggedTextLength) return render(text);
  std::size_t cut = kLoggedTextLength;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return render(text.substr(0, cut)) + " (cut, " + std::to_string(text.size()) + " bytes in all)";
}

// Bytes as the debug form of an optional text: Optional("...") with escapes,
// or nil when they are not UTF-8.
std::string optionalText(std::string_view bytes) {
  if (!platform::Utf8::isValid(bytes)) return "nil";
  return shortened(bytes, [](std::string_view text) { return "Optional(" + LogLine::debugRendering(text) + ")"; });
}

// A piece that could not be decoded, on one log line.
std::string pieceText(std::string_view bytes) {
  if (!platform::Utf8::isValid(bytes)) return "<" + std::to_string(bytes.size()) + " bytes that are not UTF-8>";
  return shortened(bytes, [](std::string_view text) { return LogLine::debugRendering(text); });
}

// Text that is already one line of JSON, cut for a log line.
std::string jsonText(std::string_view json) {
  return shortened(json, [](std::string_view text) { return std::string(text); });
}

// A dictionary for a log line: its JSON, with dates and data in a JSON form.
std::string messageText(const Value::Dictionary& message) {
  platform::Json::WriteOptions options;
  options.datesAsSecondsSince2001 = true;
  options.dataAsBase64 = true;
  auto json = platform::Json::serialize(Value(message), options);
  if (!json) return "<" + json.error().localizedDescription() + ">";
  return jsonText(*json);
}

std::string bytesText(const platform::Data& data) {
  return std::string(reinterpret_cast<const char*>(data.data()), data.size());
}

}  // namespace

std::shared_ptr<IPCConnection> IPCConnection::make(Socket::Ptr socket,
                                                   const std::shared_ptr<IPCConnectionDelegate>& delegate,
                                                   platform::DispatchQueuePtr queue,
                                                   std::shared_ptr<ConnectionAdmission::Ticket> ticket) {
  return std::shared_ptr<IPCConnection>(
      new IPCConnection(std::move(socket), delegate, std::move(queue), std::move(ticket)));
}

IPCConnection::IPCConnection(Socket::Ptr socket, const std::shared_ptr<IPCConnectionDelegate>& delegate,
                             platform::DispatchQueuePtr queue, std::shared_ptr<ConnectionAdmission::Ticket> ticket)
    : socket_(std::move(socket)),
      callbackQueue_(std::move(queue)),
      readQueue_(platform::DispatchQueue::serial("ded.ive.IPCReadQueueQueue")),
      writeQueue_(platform::DispatchQueue::serial("ded.ive.IPCWriteQueue")),
      splitter_(maxRequestLength),
      ticket_(std::move(ticket)),
      logBudget_(ticket_ ? ticket_->logBudget() : std::make_shared<LogRateLimiter>("connection")),
      delegate_(delegate) {}

IPCConnection::~IPCConnection() = default;

std::shared_ptr<IPCConnectionDelegate> IPCConnection::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void IPCConnection::start() {
  callbackQueue_->async([self = shared_from_this()] {
    self->running_ = true;
    self->scheduleRead();
  });
}

void IPCConnection::stop() {
  std::unique_lock lock(mutex_);
  delegate_.reset();
  if (stopping_) {
    idle_.wait(lock, [&] { return closed_; });
    return;
  }
  stopping_ = true;
  lock.unlock();

  callbackQueue_->async([self = shared_from_this()] { self->running_ = false; });
  // Closing alone would leave a read blocked in the descriptor waiting for
  // the peer; shutting down wakes it (and a blocked write) at once.
  socket_->shutdown();

  {
    // Nothing queued will be written: free it now rather than when the
    // last block lets go of the connection.
    std::lock_guard replies(repliesMutex_);
    replies_.clear();
    queuedReplyBytes_ = 0;
  }
  if (ticket_) ticket_->release();
  logBudget_->flush();

  lock.lock();
  idle_.wait(lock, [&] { return socketCalls_ == 0; });
  socket_->close();
  closed_ = true;
  idle_.notify_all();
}

bool IPCConnection::beginSocketCall() {
  std::lock_guard lock(mutex_);
  if (stopping_) return false;
  ++socketCalls_;
  return true;
}

void IPCConnection::endSocketCall() {
  std::lock_guard lock(mutex_);
  if (--socketCalls_ == 0) idle_.notify_all();
}

void IPCConnection::scheduleRead() {
  if (logBudget_->allow()) MLog("Schedule read enter");
  callbackQueue_->async([self = shared_from_this()] {
    if (!self->running_) return;
    if (self->logBudget_->allow()) MLog("Before readQueue async");
    self->readQueue_->async([self] { self->readTurn(); });
  });
}

void IPCConnection::readTurn() {
  platform::Data buffer;
  if (logBudget_->allow()) MLog("Before read data");
  if (logBudget_->allow()) MLogf("Read data: %@", optionalText(bytesText(buffer)));
  if (!beginSocketCall()) return;  // stopped: the loop ends here
  auto result = socket_->read(buffer);
  endSocketCall();

  if (!result) {
    if (auto delegate = this->delegate()) {
      callbackQueue_->async([self = shared_from_this(), delegate, error = result.error()] {
        delegate->connection(self, std::nullopt, IPCConnectionError(error));
      });
    }
    scheduleRead();
    return;
  }

  const std::string bytes = bytesText(buffer);
  buffer = {};
  if (logBudget_->allow()) MLogf("Bytes read: %@, read data: %@", *result, optionalText(bytes));
  if (*result == 0) {
    endOfStream();
    return;
  }

  if (!hold(splitter_.pendingLength() + bytes.size())) {
    MLogf("Unfinished requests of uid %@ would hold more than allowed, dropping the connection", ticket_->uid());
    dropPeer(heldBytesPastLimit, "The unfinished requests of this user hold more than allowed.");
    return;
  }
  std::vector<std::string> pieces;
  const bool withinLimit = splitter_.append(bytes, pieces);
  (void)hold(splitter_.pendingLength());  // only ever falls here
  for (const auto& piece : pieces) handOn(piece);
  if (!withinLimit) {
    MLogf("Request longer than %@ bytes, dropping the connection", maxRequestLength);
    dropPeer(requestTooLong, "A request is longer than " + std::to_string(maxRequestLength) + " bytes.");
    return;
  }
  scheduleRead();
}

bool IPCConnection::hold(std::size_t bytes) { return !ticket_ || ticket_->hold(bytes); }

void IPCConnection::dropPeer(ErrorCode code, const std::string& description) {
  socket_->shutdown();
  auto delegate = this->delegate();
  if (!delegate) return;
  platform::Error error(errorDomain, code, {{"NSLocalizedDescription", Value(description)}});
  callbackQueue_->async([self = shared_from_this(), delegate, error = std::move(error)] {
    delegate->connection(self, std::nullopt, IPCConnectionError(error));
  });
}

void IPCConnection::handOn(const std::string& piece) {
  auto decoded = IPCMessageCodec::decode(piece);
  if (!decoded) {
    if (logBudget_->allow()) MLogf("Error decoding read data: %@", pieceText(piece));
    return;
  }
  auto delegate = this->delegate();
  if (logBudget_->allow()) MLog("Before delegate connection 1");
  callbackQueue_->async([self = shared_from_this(), delegate, message = std::move(*decoded)] {
    if (self->logBudget_->allow()) MLogf("Transmit %@ to delegate", messageText(message));
    if (delegate) delegate->connection(self, message, std::nullopt);
  });
}

void IPCConnection::endOfStream() {
  // What the peer sent last without a line feed and that never formed a
  // whole object is decoded once more, and refused, before the close is told.
  if (auto tail = splitter_.finish()) handOn(*tail);
  auto delegate = this->delegate();
  callbackQueue_->async([self = shared_from_this(), delegate] {
    if (delegate) {
      delegate->connection(self, std::nullopt, IPCConnectionError(SocketError(Socket::SOCKET_ERR_NOT_CONNECTED)));
    }
  });
}

void IPCConnection::scheduleResponse(Value::Dictionary message) {
  {
    std::lock_guard lock(repliesMutex_);
    if (repliesRefused_) return;  // the client was dropped: not worth encoding
  }
  auto json = IPCMessageCodec::encode(message);
  // The text just made serves the log line too; only a reply JSON cannot
  // carry is serialised in the log's own form.
  if (logBudget_->allow())
    MLogf("Enter to scheduleResponse: %@",
          json ? jsonText(*json) : messageText(message));
  message = {};  // only the text is kept
  const std::size_t size = json ? json->size() : 0;
  bool pastLimit = false;
  {
    std::lock_guard lock(repliesMutex_);
    if (repliesRefused_) return;
    const std::size_t pending = queuedReplyBytes_ + writingReplyBytes_;
    pastLimit = pending > 0 && pending + size > maxPendingReplyBytes;
    if (pastLimit) {
      repliesRefused_ = true;
      replies_.clear();
      queuedReplyBytes_ = 0;
    } else {
      replies_.push_back(std::move(json));
      queuedReplyBytes_ += size;
    }
  }
  if (pastLimit) {
    MLogf("Replies waiting for the client would hold more than %@ bytes, dropping the connection",
          maxPendingReplyBytes);
    dropPeer(repliesPastLimit,
             "The client does not read its replies: they hold more than " + std::to_string(maxPendingReplyBytes) +
                 " bytes.");
    return;
  }
  writeQueue_->async([self = shared_from_this()] { self->writeNext(); });
}

void IPCConnection::writeNext() {
  std::optional<platform::Result<std::string>> next;
  {
    std::lock_guard lock(repliesMutex_);
    if (replies_.empty()) return;  // freed when the client was dropped or the connection stopped
    next.emplace(std::move(replies_.front()));
    replies_.pop_front();
    const std::size_t size = *next ? (*next)->size() : 0;
    queuedReplyBytes_ -= size;
    writingReplyBytes_ = size;
  }
  auto finish = [this](std::optional<IPCConnectionError> error) {
    {
      std::lock_guard lock(repliesMutex_);
      writingReplyBytes_ = 0;
    }
    reportWrite(std::move(error));
  };
  if (!*next) return finish(IPCConnectionError(next->error()));
  const std::string json = std::move(**next);
  next.reset();
  if (logBudget_->allow())
    MLogf("JSON : %@", platform::Utf8::isValid(json) ? jsonText(json) : std::string("empty "));
  if (json.empty()) return finish(std::nullopt);
  if (!beginSocketCall()) return finish(IPCConnectionError(SocketError(Socket::SOCKET_ERR_BAD_DESCRIPTOR)));
  auto written = socket_->write(std::string_view(json));
  endSocketCall();
  if (!written) return finish(IPCConnectionError(written.error()));
  finish(std::nullopt);
}

void IPCConnection::reportWrite(std::optional<IPCConnectionError> error) {
  auto delegate = this->delegate();
  if (!delegate) return;
  callbackQueue_->async([self = shared_from_this(), delegate, error = std::move(error)] {
    delegate->connection(self, error);
  });
}

}  // namespace vozi
