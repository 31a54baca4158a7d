#pragma once

#include <cstdint>
#include <string>

#include "support/MacTree.h"

namespace vozi::test {

// A demo user's machine, for the main job and the end-to-end tests: the
// user's caches (`files` of them, spread over a few applications), logs (the
// Library's and a container's), Trash, a duplicated photo, a big sparse
// movie, mail downloads, an application with extra localisations and the
// leftovers of one that is gone; machine-wide caches, logs and temporary
// files.
struct DemoTree {
  static constexpr int kDefaultFiles = 200;

  // What was laid out, in bytes, for a check after a clean.
  struct Summary {
    std::uint64_t userCacheBytes = 0;
    std::uint64_t userLogBytes = 0;
    std::uint64_t trashBytes = 0;
    std::uint64_t temporaryBytes = 0;
    std::uint64_t mailBytes = 0;
  };

  static Summary layOut(MacTree& tree, const std::string& user, int files = kDefaultFiles);
};

}  // namespace vozi::test
