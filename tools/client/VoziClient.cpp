#include "client/VoziClient.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <future>

#include "common/IFileItem.h"
#include "common/ItemGroupName.h"
#include "ipc/IZOLClientService.h"
#include "ipc/XPCServices.h"
#include "platform/Json.h"
#include "platform/PosixError.h"

namespace vozi::client {

namespace {

platform::Error clientError(const std::string& text) {
  platform::Error error = platform::PosixError::make(EPROTO, "");
  error.userInfo["NSLocalizedDescription"] = platform::Value(text);
  return error;
}

// What the connection exports: it holds the client weakly, so that the
// client (which holds the connection) can go.
class WeakClient : public IZOLClientService {
 public:
  explicit WeakClient(std::weak_ptr<ServiceClient> client) : client_(std::move(client)) {}
  void handleAppStateUpdate(std::shared_ptr<ZOLMApplicationState> state, bool fromBackend) override {
    if (auto c = client_.lock()) c->handleAppStateUpdate(std::move(state), fromBackend);
  }
  void operationDidUpdateProgressTo(std::string operationID, double fraction) override {
    if (auto c = client_.lock()) c->operationDidUpdateProgressTo(std::move(operationID), fraction);
  }
  void operationDidFailWithError(std::string operationID, platform::Error error) override {
    if (auto c = client_.lock()) c->operationDidFailWithError(std::move(operationID), std::move(error));
  }
  void operationDidFinishScanningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) override {
    if (auto c = client_.lock()) c->operationDidFinishScanningWithResults(std::move(operationID), std::move(results));
  }
  void operationDidFinishCleaningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) override {
    if (auto c = client_.lock()) c->operationDidFinishCleaningWithResults(std::move(operationID), std::move(results));
  }
  void handleRequestedPreferences(std::shared_ptr<ZOLMPreferences> preferences) override {
    if (auto c = client_.lock()) c->handleRequestedPreferences(std::move(preferences));
  }
  void handleRequestedTrackingData(std::shared_ptr<ZOLMTrackingData> trackingData) override {
    if (auto c = client_.lock()) c->handleRequestedTrackingData(std::move(trackingData));
  }

 private:
  std::weak_ptr<ServiceClient> client_;
};

}  // namespace

// --- JSONObjectStream -------------------------------------------------------

void JSONObjectStream::append(std::string_view bytes) { buffer_.append(bytes); }

std::optional<std::string> JSONObjectStream::next() {
  for (; scanned_ < buffer_.size(); ++scanned_) {
    const char c = buffer_[scanned_];
    if (inString_) {
      if (escaped_) {
        escaped_ = false;
      } else if (c == '\\') {
        escaped_ = true;
      } else if (c == '"') {
        inString_ = false;
      }
      continue;
    }
    if (c == '"') {
      inString_ = true;
    } else if (c == '{') {
      if (depth_++ == 0) start_ = scanned_;
    } else if (c == '}' && depth_ > 0 && --depth_ == 0) {
      std::string object = buffer_.substr(start_, scanned_ + 1 - start_);
      buffer_.erase(0, scanned_ + 1);
      scanned_ = 0;
      start_ = std::string::npos;
      return object;
    }
  }
  return std::nullopt;
}

// --- SocketClient -----------------------------------------------------------

platform::Result<std::unique_ptr<SocketClient>> SocketClient::connect(const std::string& path) {
  auto socket = Socket::create(SocketProtocolFamily::unix, SocketType::stream, SocketProtocol::unix);
  if (!socket) return clientError("no socket: " + socket.error().description());
  if (auto connected = (*socket)->connect(path); !connected)
    return clientError("cannot reach the daemon at " + path + ": " + connected.error().description());
  return std::unique_ptr<SocketClient>(new SocketClient(*socket));
}

platform::Result<void> SocketClient::send(const platform::Value::Dictionary& request) {
  auto text = platform::Json::serialize(platform::Value(request));
  if (!text) return text.error();
  return sendRaw(*text + "\n");
}

platform::Result<void> SocketClient::sendRaw(std::string_view bytes) {
  auto written = socket_->write(bytes);
  if (!written) return clientError("cannot write to the daemon: " + written.error().description());
  return {};
}

platform::Result<std::optional<platform::Value::Dictionary>> SocketClient::receive(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto object = stream_.next()) {
      auto parsed = platform::Json::parse(*object);
      if (!parsed || !parsed->asDictionary()) return clientError("the daemon sent what is not a JSON object");
      return std::optional<platform::Value::Dictionary>(*parsed->asDictionary());
    }
    if (closed_) return std::optional<platform::Value::Dictionary>();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::optional<platform::Value::Dictionary>();
    auto ready = Socket::wait({socket_}, static_cast<std::uint32_t>(left.count()));
    if (!ready) return clientError("cannot read from the daemon: " + ready.error().description());
    if (!*ready) continue;
    platform::Data bytes;
    auto read = socket_->read(bytes);
    if (!read) return clientError("cannot read from the daemon: " + read.error().description());
    if (*read == 0) {
      closed_ = true;
      continue;
    }
    stream_.append(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
}

// --- ServiceClient ----------------------------------------------------------

std::shared_ptr<ServiceClient> ServiceClient::make(std::chrono::milliseconds timeout) {
  std::shared_ptr<ServiceClient> client(new ServiceClient(timeout));
  client->open();
  return client;
}

ServiceClient::ServiceClient(std::chrono::milliseconds timeout) : timeout_(timeout) {}

ServiceClient::~ServiceClient() {
  if (connection_) connection_->invalidate();
}

void ServiceClient::open() {
  connection_ = platform::XPCConnection::connectToService(kZOLServerServiceName);
  connection_->setRemoteObjectInterface(serverServiceInterface());
  connection_->setExportedInterface(clientServiceInterface());
  connection_->setExportedObject<IZOLClientService>(std::make_shared<WeakClient>(weak_from_this()));
  connection_->setInterruptionHandler([weak = weak_from_this()] {
    if (auto client = weak.lock()) client->lost("the connection was interrupted");
  });
  connection_->setInvalidationHandler([weak = weak_from_this()] {
    if (auto client = weak.lock()) client->lost("the connection was invalidated");
  });
  connection_->resume();
}

platform::XPCProxy<IZOLServerService> ServiceClient::proxy() {
  // A call that cannot be sent (no daemon listening, say) counts as a loss,
  // so its wait ends at once.
  return connection_->remoteObjectProxyWithErrorHandler<IZOLServerService>(
      [weak = weak_from_this()](const platform::Error& error) {
        if (auto client = weak.lock()) client->lost(error.localizedDescription());
      });
}

void ServiceClient::lost(std::string why) {
  {
    std::lock_guard lock(mutex_);
    ++losses_;
    lossReason_ = std::move(why);
  }
  changed_.notify_all();
}

std::uint64_t ServiceClient::lossesSoFar() const {
  std::lock_guard lock(mutex_);
  return losses_;
}

platform::Result<void> ServiceClient::waitUntil(std::unique_lock<std::mutex>& lock, const std::string& what,
                                                std::uint64_t losses, const std::function<bool()>& done) {
  if (!changed_.wait_for(lock, timeout_, [&] { return done() || losses_ != losses; })) {
    return clientError("no answer to " + what + " from the daemon within " + std::to_string(timeout_.count()) + " ms");
  }
  if (!done()) return clientError("cannot reach the daemon (" + lossReason_ + ") before it answered " + what);
  return {};
}

template <class T, class Send>
platform::Result<T> ServiceClient::awaitReply(const std::string& what, const Send& send) {
  // The reply may come after this wait gave up: it lands in its own slot.
  auto slot = std::make_shared<std::optional<T>>();
  const std::uint64_t losses = lossesSoFar();
  send([slot, weak = weak_from_this()](T value) {
    const auto self = weak.lock();
    if (!self) return;
    {
      std::lock_guard lock(self->mutex_);
      *slot = std::move(value);
    }
    self->changed_.notify_all();
  });
  std::unique_lock lock(mutex_);
  if (auto waited = waitUntil(lock, what, losses, [&] { return slot->has_value(); }); !waited) return waited.error();
  return std::move(**slot);
}

platform::Result<std::string> ServiceClient::startOperation(bool scanning, std::vector<ItemGroupPtr> groups) {
  const std::string what = scanning ? "the scan" : "the clean";
  auto id = awaitReply<std::optional<std::string>>(what, [&](std::function<void(std::optional<std::string>)> reply) {
    if (scanning) {
      proxy().call<&IZOLLongOperationsServer::startScanOperation>(std::move(groups), std::move(reply));
    } else {
      proxy().call<&IZOLLongOperationsServer::startCleanOperation>(std::move(groups), std::move(reply));
    }
  });
  if (!id) return id.error();
  if (!*id) return clientError("the daemon refused " + what);
  return **id;
}

platform::Result<std::string> ServiceClient::startScan(std::vector<ItemGroupPtr> groups) {
  return startOperation(true, std::move(groups));
}

platform::Result<std::vector<ItemGroupPtr>> ServiceClient::run(bool scanning, std::vector<ItemGroupPtr> groups,
                                                               ProgressHandler progress) {
  std::uint64_t losses;
  // Progress can come before the identifier is known here: it is kept under
  // the empty name until then.
  {
    std::lock_guard lock(mutex_);
    progress_[""] = progress;
    losses = losses_;
  }
  const auto id = startOperation(scanning, std::move(groups));
  if (!id) return id.error();
  {
    std::lock_guard lock(mutex_);
    progress_[*id] = progress;
  }
  return waitForEnd(*id, losses);
}

platform::Result<std::vector<ItemGroupPtr>> ServiceClient::scan(std::vector<ItemGroupPtr> groups,
                                                                ProgressHandler progress) {
  return run(true, std::move(groups), std::move(progress));
}

platform::Result<std::vector<ItemGroupPtr>> ServiceClient::clean(std::vector<ItemGroupPtr> groups,
                                                                 ProgressHandler progress) {
  return run(false, std::move(groups), std::move(progress));
}

platform::Result<std::vector<ItemGroupPtr>> ServiceClient::waitForScan(const std::string& operationID) {
  return waitForEnd(operationID, lossesSoFar());
}

platform::Result<std::vector<ItemGroupPtr>> ServiceClient::waitForEnd(const std::string& operationID,
                                                                      std::uint64_t losses) {
  std::unique_lock lock(mutex_);
  if (auto waited = waitUntil(lock, "operation " + operationID, losses,
                              [&] { return finished_.count(operationID) != 0; });
      !waited)
    return waited.error();
  auto results = std::move(finished_[operationID]);
  finished_.erase(operationID);
  progress_.erase(operationID);
  return results;
}

platform::Result<bool> ServiceClient::cancel(const std::string& operationID) {
  return awaitReply<bool>("the cancel", [&](std::function<void(bool)> reply) {
    proxy().call<&IZOLLongOperationsServer::cancelWithOperationID>(operationID, std::move(reply));
  });
}

platform::Result<std::vector<ItemGroupPtr>> ServiceClient::results(std::vector<std::string> groupNames) {
  return awaitReply<std::vector<ItemGroupPtr>>(
      "the results", [&](std::function<void(std::vector<ItemGroupPtr>)> reply) {
        proxy().call<&IZOLLongOperationsServer::requestScannedData>(std::move(groupNames), std::move(reply));
      });
}

platform::Result<ZOLMPreferences> ServiceClient::pushedPreferences(const std::function<void()>& send) {
  std::uint64_t seen, losses;
  {
    std::lock_guard lock(mutex_);
    seen = preferencesPushes_;
    losses = losses_;
  }
  send();
  std::unique_lock lock(mutex_);
  if (auto waited = waitUntil(lock, "the preferences", losses, [&] { return preferencesPushes_ > seen; }); !waited)
    return waited.error();
  return *pushedPreferences_;
}

platform::Result<ZOLMPreferences> ServiceClient::preferences() {
  return pushedPreferences([&] { proxy().call<&IZOLPreferencesServer::requestPreferences>(); });
}

platform::Result<ZOLMPreferences> ServiceClient::updatePreferences(const ZOLMPreferences& preferences) {
  return pushedPreferences(
      [&] { proxy().call<&IZOLPreferencesServer::updateWith>(std::make_shared<ZOLMPreferences>(preferences)); });
}

std::vector<std::string> ServiceClient::callbacks() const {
  std::lock_guard lock(mutex_);
  return callbacks_;
}

void ServiceClient::record(std::string line) {
  std::lock_guard lock(mutex_);
  callbacks_.push_back(std::move(line));
}

void ServiceClient::handleAppStateUpdate(std::shared_ptr<ZOLMApplicationState>, bool fromBackend) {
  record(std::string("handleAppStateUpdate fromBackend: ") + (fromBackend ? "true" : "false"));
}

void ServiceClient::operationDidUpdateProgressTo(std::string operationID, double fraction) {
  ProgressHandler handler;
  {
    std::lock_guard lock(mutex_);
    callbacks_.push_back("progress " + operationID);
    auto found = progress_.find(operationID);
    if (found == progress_.end()) found = progress_.find("");
    if (found != progress_.end()) handler = found->second;
  }
  if (handler) handler(fraction);
}

void ServiceClient::operationDidFailWithError(std::string operationID, platform::Error error) {
  record("operationDidFailWithError " + operationID + " " + error.localizedDescription());
}

void ServiceClient::operationDidFinishScanningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) {
  {
    std::lock_guard lock(mutex_);
    callbacks_.push_back("scan finished " + operationID + " with " + std::to_string(results.size()) + " groups");
    finished_[operationID] = std::move(results);
  }
  changed_.notify_all();
}

void ServiceClient::operationDidFinishCleaningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) {
  {
    std::lock_guard lock(mutex_);
    callbacks_.push_back("clean finished " + operationID + " with " + std::to_string(results.size()) + " groups");
    finished_[operationID] = std::move(results);
  }
  changed_.notify_all();
}

void ServiceClient::handleRequestedPreferences(std::shared_ptr<ZOLMPreferences> preferences) {
  {
    std::lock_guard lock(mutex_);
    callbacks_.push_back("handleRequestedPreferences");
    if (preferences) pushedPreferences_ = *preferences;
    ++preferencesPushes_;
  }
  changed_.notify_all();
}

void ServiceClient::handleRequestedTrackingData(std::shared_ptr<ZOLMTrackingData>) {
  record("handleRequestedTrackingData");
}

// --- Presentation -------------------------------------------------------------

platform::Result<std::vector<ItemGroupPtr>> groupsNamed(const std::vector<std::string>& names) {
  std::vector<ItemGroupPtr> groups;
  for (const std::string& name : names) {
    if (name == "all") {
      for (const ItemGroupName each : kAllItemGroupNames) groups.push_back(ItemGroup::group(each));
      continue;
    }
    const auto value = fromRawValue<ItemGroupName>(name);
    if (!value) return clientError("no group is named " + name);
    groups.push_back(ItemGroup::group(*value));
  }
  return groups;
}

void ProgressBar::update(double fraction) {
  const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100);
  std::lock_guard lock(mutex_);
  if (percent == shown_) return;
  shown_ = percent;
  constexpr int width = 40;
  std::string bar(static_cast<std::size_t>(percent * width / 100), '#');
  bar.resize(width, '.');
  std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), percent);
  std::fflush(stderr);
}

void ProgressBar::finish() {
  update(1.0);
  std::fprintf(stderr, "\n");
}

std::string table(const std::vector<ItemGroupPtr>& groups, bool withItems) {
  std::string out;
  char line[512];
  std::snprintf(line, sizeof line, "%-24s %8s %14s\n", "group", "items", "bytes");
  out += line;
  for (const auto& group : groups) {
    std::snprintf(line, sizeof line, "%-24s %8zu %14llu\n", group->name().value_or("?").c_str(), group->count(),
                  static_cast<unsigned long long>(group->size()));
    out += line;
    if (!withItems) continue;
    group->enumerateLeaves([&](const ModelItemPtr& item, bool&) {
      const auto* file = dynamic_cast<const IFileItem*>(item.get());
      out += "    " + (file ? file->path() : item->name().value_or("?")) + "  " + std::to_string(item->size()) + "\n";
    });
  }
  return out;
}

namespace {

// Writes the groups' JSON into `out`, calling `flush` with it whenever it
// passes kJsonBlock bytes. The keys come in the order a serialized
// dictionary gives them, sorted. A decoded archive's text is always UTF-8;
// a string that is not would be written as null.
constexpr std::size_t kJsonBlock = 1 << 16;

void writeJson(const std::vector<ItemGroupPtr>& groups, std::string& out,
               const std::function<void(std::string&)>& flush) {
  const auto string = [&out](const std::string& text) {
    if (!platform::Json::appendString(out, text)) out += "null";
  };
  out += '[';
  bool firstGroup = true;
  for (const auto& group : groups) {
    out += firstGroup ? "{\"items\":[" : ",{\"items\":[";
    firstGroup = false;
    bool first = true;
    group->enumerateLeaves([&](const ModelItemPtr& item, bool&) {
      const auto* file = dynamic_cast<const IFileItem*>(item.get());
      out += first ? "{\"path\":" : ",{\"path\":";
      first = false;
      string(file ? file->path() : item->name().value_or(""));
      out += ",\"size\":" + std::to_string(static_cast<std::int64_t>(item->size())) + "}";
      if (out.size() >= kJsonBlock) flush(out);
    });
    out += "],\"name\":";
    string(group->name().value_or(""));
    out += ",\"size\":" + std::to_string(static_cast<std::int64_t>(group->size())) + "}";
  }
  out += ']';
}

}  // namespace

std::string json(const std::vector<ItemGroupPtr>& groups) {
  std::string out;
  writeJson(groups, out, [](std::string&) {});
  return out;
}

void writeJson(const std::vector<ItemGroupPtr>& groups, std::FILE* out) {
  std::string block;
  block.reserve(2 * kJsonBlock);
  const auto flush = [out](std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
    text.clear();
  };
  writeJson(groups, block, flush);
  block += '\n';
  flush(block);
}

}  // namespace vozi::client
