#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <cstdio>
#include <string>
#include <vector>

#include "common/ItemGroup.h"
#include "common/ZOLMPreferences.h"
#include "ipc/IZOLClientService.h"
#include "ipc/IZOLServerService.h"
#include "ipc/socket/Socket.h"
#include "platform/Result.h"
#include "platform/Value.h"
#include "platform/services/XPCConnection.h"

namespace vozi::client {

// Cuts what the daemon's socket sends (JSON objects one after another, no
// separator) into whole objects.
class JSONObjectStream {
 public:
  void append(std::string_view bytes);
  // The next whole object's text, none until one has fully arrived.
  std::optional<std::string> next();

 private:
  std::string buffer_;
  std::size_t scanned_ = 0;
  int depth_ = 0;
  bool inString_ = false;
  bool escaped_ = false;
  std::size_t start_ = std::string::npos;
};

// A client of the daemon's socket: requests out, one JSON object per line;
// replies and pushed messages in, one object at a time. One thread at a time.
class SocketClient {
 public:
  static platform::Result<std::unique_ptr<SocketClient>> connect(const std::string& path);

  platform::Result<void> send(const platform::Value::Dictionary& request);
  // Bytes as they are: a request in pieces, or one that is not JSON.
  platform::Result<void> sendRaw(std::string_view bytes);
  // The next message, or none when `timeout` passed first or the daemon
  // closed the connection (closed() tells which).
  platform::Result<std::optional<platform::Value::Dictionary>> receive(std::chrono::milliseconds timeout);
  bool closed() const { return closed_; }

 private:
  explicit SocketClient(Socket::Ptr socket) : socket_(std::move(socket)) {}

  Socket::Ptr socket_;
  JSONObjectStream stream_;
  bool closed_ = false;
};

// The UI's end of the named service "div.ez.iru.server": starts scans and
// cleans and waits for their results, reads stored results and the
// preferences. The daemon calls it back on the connection's queue; every
// callback is also kept as one line (callbacks()).
class ServiceClient : public IZOLClientService, public std::enable_shared_from_this<ServiceClient> {
 public:
  using ProgressHandler = std::function<void(double fraction)>;

  // The connection is made on the first call.
  static std::shared_ptr<ServiceClient> make(std::chrono::milliseconds timeout);
  ~ServiceClient() override;

  // Each waits for the daemon's answer at most the time-out; a request the
  // daemon refuses (no operation identifier), an answer that never came and
  // a connection lost before the answer (no daemon listening, say) fail.
  platform::Result<std::vector<ItemGroupPtr>> scan(std::vector<ItemGroupPtr> groups, ProgressHandler progress);
  platform::Result<std::vector<ItemGroupPtr>> clean(std::vector<ItemGroupPtr> groups, ProgressHandler progress);
  // Starts a scan and answers its operation identifier without waiting.
  platform::Result<std::string> startScan(std::vector<ItemGroupPtr> groups);
  platform::Result<bool> cancel(const std::string& operationID);
  platform::Result<std::vector<ItemGroupPtr>> results(std::vector<std::string> groupNames);
  platform::Result<ZOLMPreferences> preferences();
  platform::Result<ZOLMPreferences> updatePreferences(const ZOLMPreferences& preferences);
  // Waits for the end of a scan this client started (startScan).
  platform::Result<std::vector<ItemGroupPtr>> waitForScan(const std::string& operationID);

  std::vector<std::string> callbacks() const;
  const std::shared_ptr<platform::XPCConnection>& connection() const { return connection_; }

  // IZOLClientService.
  void handleAppStateUpdate(std::shared_ptr<ZOLMApplicationState> state, bool fromBackend) override;
  void operationDidUpdateProgressTo(std::string operationID, double fraction) override;
  void operationDidFailWithError(std::string operationID, platform::Error error) override;
  void operationDidFinishScanningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) override;
  void operationDidFinishCleaningWithResults(std::string operationID, std::vector<ItemGroupPtr> results) override;
  void handleRequestedPreferences(std::shared_ptr<ZOLMPreferences> preferences) override;
  void handleRequestedTrackingData(std::shared_ptr<ZOLMTrackingData> trackingData) override;

 private:
  explicit ServiceClient(std::chrono::milliseconds timeout);
  void open();
  platform::XPCProxy<IZOLServerService> proxy();
  // Sends a call whose reply block takes a T and waits for the reply.
  template <class T, class Send>
  platform::Result<T> awaitReply(const std::string& what, const Send& send);
  // Starts a scan or a clean: its operation identifier.
  platform::Result<std::string> startOperation(bool scanning, std::vector<ItemGroupPtr> groups);
  platform::Result<std::vector<ItemGroupPtr>> run(bool scanning, std::vector<ItemGroupPtr> groups,
                                                  ProgressHandler progress);
  // Sends the call and waits for the preferences the daemon pushes after it.
  platform::Result<ZOLMPreferences> pushedPreferences(const std::function<void()>& send);
  platform::Result<std::vector<ItemGroupPtr>> waitForEnd(const std::string& operationID, std::uint64_t losses);
  void lost(std::string why);
  void record(std::string line);
  std::uint64_t lossesSoFar() const;
  // Waits, holding `lock` on mutex_, until `done` holds; fails when the time-out
  // passes first or the daemon went away since `losses` were counted.
  platform::Result<void> waitUntil(std::unique_lock<std::mutex>& lock, const std::string& what,
                                   std::uint64_t losses, const std::function<bool()>& done);

  const std::chrono::milliseconds timeout_;
  std::shared_ptr<platform::XPCConnection> connection_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> callbacks_;
  std::map<std::string, std::vector<ItemGroupPtr>> finished_;
  std::map<std::string, ProgressHandler> progress_;
  std::optional<ZOLMPreferences> pushedPreferences_;
  std::uint64_t preferencesPushes_ = 0;
  // How many times the daemon went away: a wait that began before one ends.
  std::uint64_t losses_ = 0;
  std::string lossReason_;
};

// Groups by name: "all" gives every group, any other word must be an
// ItemGroupName raw value.
platform::Result<std::vector<ItemGroupPtr>> groupsNamed(const std::vector<std::string>& names);

// A progress bar on stderr, "[#####.....]  50%", redrawn when the whole
// percent changes; finish() ends its line.
class ProgressBar {
 public:
  void update(double fraction);
  void finish();

 private:
  std::mutex mutex_;
  int shown_ = -1;
};

// The results as a table: one line per group (name, items, bytes) and, below
// each, its top-level items' paths and sizes when `withItems`.
std::string table(const std::vector<ItemGroupPtr>& groups, bool withItems);
// The results as JSON: [{"name":..., "size":..., "items":[{"path":..., "size":...}]}].
std::string json(const std::vector<ItemGroupPtr>& groups);
// The same text written to `out` as it is made, a block at a time, so a
// 100,000-item answer is never held whole.
void writeJson(const std::vector<ItemGroupPtr>& groups, std::FILE* out);

}  // namespace vozi::client
