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

// Log lines show at most this much of a request or reply.
constexpr std::size_t kLoggedTextLength = 64 * 1024;

// The text cut to the logged length on a character boundary, with a note of
// what was left out.
std::string shortened(std::string_view text, std::string (*render)(std::string_view)) {
  if (text.size() <= kLoggedTextLength) return render(text);
  std::size_t cut = kLoggedTextLength;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return render(text.substr(0, cut)) + " (" + std::to_string(text.size() - cut) + " more bytes)";
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

// A dictionary for a log line: its JSON, with dates and data in a JSON form.
std::string messageText(const Value::Dictionary& message) {
  platform::Json::WriteOptions options;
  options.datesAsSecondsSince2001 = true;
  options.dataAsBase64 = true;
  auto json = platform::Json::serialize(Value(message), options);
  if (!json) return "<" + json.error().localizedDescription() + ">";
  return shortened(*json, [](std::string_view text) { return std::string(text); });
}

std::string bytesText(const platform::Data& data) {
  return std::string(reinterpret_cast<const char*>(data.data()), data.size());
}

}  // namespace

std::shared_ptr<IPCConnection> IPCConnection::make(Socket::Ptr socket,
                                                   const std::shared_ptr<IPCConnectionDelegate>& delegate,
                                                   platform::DispatchQueuePtr queue) {
  return std::shared_ptr<IPCConnection>(new IPCConnection(std::move(socket), delegate, std::move(queue)));
}

IPCConnection::IPCConnection(Socket::Ptr socket, const std::shared_ptr<IPCConnectionDelegate>& delegate,
                             platform::DispatchQueuePtr queue)
    : socket_(std::move(socket)),
      callbackQueue_(std::move(queue)),
      readQueue_(platform::DispatchQueue::serial("ded.ive.IPCReadQueueQueue")),
      writeQueue_(platform::DispatchQueue::serial("ded.ive.IPCWriteQueue")),
      splitter_(maxRequestLength),
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
  MLog("Schedule read enter");
  callbackQueue_->async([self = shared_from_this()] {
    if (!self->running_) return;
    MLog("Before readQueue async");
    self->readQueue_->async([self] { self->readTurn(); });
  });
}

void IPCConnection::readTurn() {
  MLog("Before read data");
  platform::Data buffer;
  MLogf("Read data: %@", optionalText(bytesText(buffer)));
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
  MLogf("Bytes read: %@, read data: %@", *result, optionalText(bytes));
  if (*result == 0) {
    endOfStream();
    return;
  }

  std::vector<std::string> pieces;
  const bool withinLimit = splitter_.append(bytes, pieces);
  for (const auto& piece : pieces) handOn(piece);
  if (!withinLimit) {
    MLogf("Request longer than %@ bytes, dropping the connection", maxRequestLength);
    socket_->shutdown();
    if (auto delegate = this->delegate()) {
      platform::Error error(errorDomain, requestTooLong,
                            {{"NSLocalizedDescription", Value("A request is longer than " +
                                                              std::to_string(maxRequestLength) + " bytes.")}});
      callbackQueue_->async([self = shared_from_this(), delegate, error = std::move(error)] {
        delegate->connection(self, std::nullopt, IPCConnectionError(error));
      });
    }
    return;
  }
  scheduleRead();
}

void IPCConnection::handOn(const std::string& piece) {
  auto decoded = IPCMessageCodec::decode(piece);
  if (!decoded) {
    MLogf("Error decoding read data: %@", pieceText(piece));
    return;
  }
  auto delegate = this->delegate();
  MLog("Before delegate connection 1");
  callbackQueue_->async([self = shared_from_this(), delegate, message = std::move(*decoded)] {
    MLogf("Transmit %@ to delegate", messageText(message));
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
  MLogf("Enter to scheduleResponse: %@", messageText(message));
  writeQueue_->async([self = shared_from_this(), message = std::move(message)] { self->write(message); });
}

void IPCConnection::write(const Value::Dictionary& message) {
  auto json = IPCMessageCodec::encode(message);
  if (!json) {
    reportWrite(IPCConnectionError(json.error()));
    return;
  }
  MLogf("JSON : %@", platform::Utf8::isValid(*json)
                         ? shortened(*json, [](std::string_view text) { return std::string(text); })
                         : std::string("empty "));
  if (!json->empty()) {
    if (!beginSocketCall()) {
      reportWrite(IPCConnectionError(SocketError(Socket::SOCKET_ERR_BAD_DESCRIPTOR)));
      return;
    }
    auto written = socket_->write(std::string_view(*json));
    endSocketCall();
    if (!written) {
      reportWrite(IPCConnectionError(written.error()));
      return;
    }
  }
  reportWrite(std::nullopt);
}

void IPCConnection::reportWrite(std::optional<IPCConnectionError> error) {
  auto delegate = this->delegate();
  if (!delegate) return;
  callbackQueue_->async([self = shared_from_this(), delegate, error = std::move(error)] {
    delegate->connection(self, error);
  });
}

}  // namespace vozi
