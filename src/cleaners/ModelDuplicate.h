#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cleaners/ModelFile.h"
#include "platform/Value.h"

namespace vozi {

// One set of files with equal contents, for the older duplicate search:
// made for its first file, it takes further files of its size whose whole-
// content hash equals the first one's. A file that cannot be read has no
// hash and joins no set. Copies share one set; sets are equal by name.
class ModelDuplicate {
 public:
  explicit ModelDuplicate(ModelFile first);

  const std::string& name() const { return state_->name; }
  std::uint64_t size() const { return state_->size; }
  const std::vector<ModelFile>& dups() const { return state_->dups; }

  // True when the file joined the set.
  bool add(const ModelFile& file);
  // Appends a member of a stored set as it was stored, without reading it.
  void restore(const ModelFile& file) { state_->dups.push_back(file); }
  ZOLMFileItemType duplicateType() const { return state_->dups.front().fileType(); }
  // "sectionName", "sectionSize" and "duplicates": per member "filePath",
  // "fileSize" and "lastOpen" (seconds since 1970; now when unknown).
  platform::Value::Dictionary asDictionary() const;
  std::string debugDescription() const;

  bool operator==(const ModelDuplicate& other) const { return name() == other.name(); }

  // Takes each deleted file out of the first set holding it (paths compared
  // standardized), then drops every set left with fewer than two members.
  static void removeFiles(const std::vector<ModelFile>& deleted, std::vector<ModelDuplicate>& sets);

 private:
  struct State {
    std::string name;
    std::uint64_t size = 0;
    std::vector<ModelFile> dups;
  };
  std::shared_ptr<State> state_;
};

}  // namespace vozi

template <>
struct std::hash<vozi::ModelDuplicate> {
  std::size_t operator()(const vozi::ModelDuplicate& set) const { return std::hash<std::string>{}(set.name()); }
};
