#pragma once

// A small protocol over the named-services transport, used by the tests and
// the benchmark: a string call with a bool reply, a call with records and a
// record-array reply, a one-way call with a free-form dictionary, and a call
// whose reply the server holds back.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ArchiveClassRegistry.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Value.h"
#include "platform/services/XPCInterface.h"
#include "support/EventCounter.h"

namespace vozi::test {

using platform::AllowedClasses;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;
using platform::Value;

struct ServiceRecord {
  ServiceRecord() = default;
  ServiceRecord(std::string n, std::uint64_t s) : name(std::move(n)), size(s) {}
  explicit ServiceRecord(KeyedUnarchiver& u)
      : name(u.decodeStringForKey("name").value_or("")),
        size(u.decodeUInt64ForKey("size")),
        children(u.decodeArrayForKey<ServiceRecord>("children", {"ServiceRecord"})
                     .value_or(std::vector<std::shared_ptr<ServiceRecord>>{})) {}
  virtual ~ServiceRecord() = default;
  virtual void encode(KeyedArchiver& a) const {
    a.encode("name", name);
    a.encodeUInt64("size", size);
    a.encodeArray("children", children, true);
  }
  std::string name;
  std::uint64_t size = 0;
  std::vector<std::shared_ptr<ServiceRecord>> children;
};

// What a scan may carry.
struct ScanRecord : ServiceRecord {
  using ServiceRecord::ServiceRecord;
};
// A record of the same family that no scan list names.
struct ForeignRecord : ServiceRecord {
  using ServiceRecord::ServiceRecord;
};

inline void registerServiceRecords() {
  auto& registry = platform::ArchiveClassRegistry::shared();
  registry.registerClass<ServiceRecord>("ServiceRecord");
  registry.registerClass<ScanRecord, ServiceRecord>("ScanRecord");
  registry.registerClass<ForeignRecord, ServiceRecord>("ForeignRecord");
}

using Records = std::vector<std::shared_ptr<ServiceRecord>>;

class IEchoService {
 public:
  virtual ~IEchoService() = default;
  virtual void echo(std::string text, std::function<void(bool)> reply) = 0;
  virtual void scan(Records records, std::function<void(Records)> reply) = 0;
  virtual void post(std::int64_t sequence, Value userInfo) = 0;
  virtual void hold(std::string mode, std::function<void(bool)> reply) = 0;
  // Described only on the calling side: the server refuses it.
  virtual void unlisted(std::string text) = 0;
};

// The server's description; `withUnlisted` is the caller's view, one
// method more.
inline platform::XPCInterfacePtr echoInterface(bool withUnlisted = false) {
  static const AllowedClasses kScan{"ScanRecord"};
  auto builder = platform::XPCInterface::describe<IEchoService>("IEchoService");
  builder.method<&IEchoService::echo>("echo:reply:", {{"NSString"}})
      .method<&IEchoService::scan>("scan:reply:", {kScan}, {kScan})
      .method<&IEchoService::post>("post:userInfo:", {{}, {"NSDictionary", "NSString", "NSNumber"}})
      .method<&IEchoService::hold>("hold:reply:", {{"NSString"}});
  if (withUnlisted) builder.method<&IEchoService::unlisted>("unlisted:", {{"NSString"}});
  return builder.build();
}

class EchoServer : public IEchoService {
 public:
  void echo(std::string text, std::function<void(bool)> reply) override {
    if (!reply) return;
    reply(text != "no");
    if (text == "twice") reply(false);
  }
  void scan(Records records, std::function<void(Records)> reply) override {
    records.push_back(std::make_shared<ScanRecord>("answer", records.size()));
    if (reply) reply(std::move(records));
  }
  void post(std::int64_t sequence, Value userInfo) override {
    {
      std::lock_guard lock(mutex_);
      posted_.push_back(sequence);
      lastUserInfo_ = std::move(userInfo);
    }
    posts.add();
  }
  // "block": waits until release(); "keep": keeps the reply block unanswered.
  void hold(std::string mode, std::function<void(bool)> reply) override {
    if (mode == "block") {
      entered.add();
      gate_.wait();
      if (reply) reply(true);
    } else {
      std::lock_guard lock(mutex_);
      kept_.push_back(std::move(reply));
      entered.add();
    }
  }
  void unlisted(std::string) override { unlistedCalls.add(); }

  void release() { opened_.set_value(); }
  std::vector<std::int64_t> posted() const {
    std::lock_guard lock(mutex_);
    return posted_;
  }
  Value lastUserInfo() const {
    std::lock_guard lock(mutex_);
    return lastUserInfo_;
  }

  EventCounter posts;
  EventCounter entered;
  EventCounter unlistedCalls;

 private:
  mutable std::mutex mutex_;
  std::vector<std::int64_t> posted_;
  Value lastUserInfo_;
  std::vector<std::function<void(bool)>> kept_;
  std::promise<void> opened_;
  std::shared_future<void> gate_ = opened_.get_future().share();
};

}  // namespace vozi::test
