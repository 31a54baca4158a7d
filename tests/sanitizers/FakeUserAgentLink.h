#pragma once

#include <atomic>
#include <string>

#include "ipc/IUserAgentLink.h"

namespace vozi::test {

// An agent link that answers the folders it was given (an empty folder:
// noUserContext) and counts the asks and the library refreshes.
class FakeUserAgentLink : public IUserAgentLink {
 public:
  explicit FakeUserAgentLink(std::string caches = {}, std::string library = {})
      : caches_(std::move(caches)), library_(std::move(library)) {}

  platform::Result<std::string> libraryDirectory() override {
    ++libraryAsks;
    if (library_.empty()) return UserAgentManagerError::make();
    return library_;
  }
  platform::Result<std::string> cachesDirectory() override {
    ++cachesAsks;
    if (caches_.empty()) return UserAgentManagerError::make();
    return caches_;
  }
  platform::Result<std::string> trashDirectory() override {
    ++trashAsks;
    if (trash_.empty()) return UserAgentManagerError::make();
    return trash_;
  }
  void setTrash(std::string trash) { trash_ = std::move(trash); }
  void updateITunesLibrary() override { ++iTunesUpdates; }
  std::optional<uid_t> sessionUid() const override { return sessionUid_; }
  void setSessionUid(std::optional<uid_t> uid) { sessionUid_ = uid; }

  std::atomic<int> cachesAsks{0};
  std::atomic<int> libraryAsks{0};
  std::atomic<int> iTunesUpdates{0};
  std::atomic<int> trashAsks{0};

 private:
  std::string caches_;
  std::string library_;
  std::string trash_;
  std::optional<uid_t> sessionUid_;
};

}  // namespace vozi::test
