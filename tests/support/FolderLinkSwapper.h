#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace vozi::test {

// A second thread that swaps a folder for a link to somewhere else a fixed
// number of times, and puts the folder back each time, for race tests of
// code that must never follow such a link. Each swap keeps the link in
// place for a while (work, not a timer) so that walks meet it. done() turns
// true after the last swap; the destructor joins the thread.
class FolderLinkSwapper {
 public:
  FolderLinkSwapper(std::string folder, std::string linkTarget, int swaps)
      : folder_(std::move(folder)), target_(std::move(linkTarget)), thread_([this, swaps] { run(swaps); }) {}
  ~FolderLinkSwapper() { thread_.join(); }
  FolderLinkSwapper(const FolderLinkSwapper&) = delete;
  FolderLinkSwapper& operator=(const FolderLinkSwapper&) = delete;

  bool done() const { return done_; }

 private:
  void run(int swaps) {
    const std::string moved = folder_ + ".real";
    for (int i = 0; i < swaps; ++i) {
      if (::rename(folder_.c_str(), moved.c_str()) != 0) break;
      const bool linked = ::symlink(target_.c_str(), folder_.c_str()) == 0;
      for (int look = 0; linked && look < 200; ++look) {
        struct stat info {};
        ::lstat(folder_.c_str(), &info);
      }
      if (linked) ::unlink(folder_.c_str());
      if (::rename(moved.c_str(), folder_.c_str()) != 0 || !linked) break;
    }
    done_ = true;
  }

  std::string folder_;
  std::string target_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace vozi::test
