#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/ItemGroup.h"

namespace vozi {

// What a clean of one group may delete: the folders its scan walks and the
// paths its stored scan result held (host paths, as the items carry them).
// A path is admitted only when it is canonical (absolute, no ".", "..",
// empty component or trailing "/"), the stored scan held it, and it lies
// under one of the roots by whole components.
struct CleaningScope {
  std::vector<std::string> roots;
  std::unordered_set<std::string> storedPaths;

  bool admits(std::string_view path) const;
};

// Where the sanitizing processor learns the scope of each group of a clean
// request (the server answers it from its store). No scope: nothing of the
// group is deleted.
class ICleaningScopeSource {
 public:
  virtual ~ICleaningScopeSource() = default;
  virtual std::shared_ptr<const CleaningScope> cleaningScope(const ItemGroupPtr& group) = 0;
};

}  // namespace vozi
