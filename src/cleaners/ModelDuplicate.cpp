#include "cleaners/ModelDuplicate.h"

#include <algorithm>

#include "common/FileKinds.h"

namespace vozi {

ModelDuplicate::ModelDuplicate(ModelFile first) : state_(std::make_shared<State>()) {
  state_->name = first.fileName();
  state_->size = first.fileSize();
  state_->dups.push_back(std::move(first));
}

bool ModelDuplicate::add(const ModelFile& file) {
  const auto hash = file.fileHash();
  const auto setHash = state_->dups.front().fileHash();
  // A file whose content could not be read matches nothing.
  if (!hash || !setHash || *hash != *setHash) return false;
  state_->dups.push_back(file);
  return true;
}

platform::Value::Dictionary ModelDuplicate::asDictionary() const {
  platform::Value::Array members;
  for (const ModelFile& file : dups()) {
    const auto opened = file.lastOpen().value_or(platform::Date::now());
    members.emplace_back(platform::Value::Dictionary{
        {"filePath", platform::Value(file.fileURL().path())},
        {"fileSize", platform::Value(static_cast<unsigned long long>(file.fileSize()))},
        {"lastOpen", platform::Value(opened.timeIntervalSince1970())},
    });
  }
  return {
      {"sectionName", platform::Value(name())},
      {"sectionSize", platform::Value(static_cast<unsigned long long>(size()))},
      {"duplicates", platform::Value(std::move(members))},
  };
}

std::string ModelDuplicate::debugDescription() const {
  return "ModelDuplicate " + name() + ", type " + FileKinds::stringRepresentation(duplicateType()) + ", has " +
         std::to_string(dups().size()) + " items.";
}

void ModelDuplicate::removeFiles(const std::vector<ModelFile>& deleted, std::vector<ModelDuplicate>& sets) {
  for (const ModelFile& file : deleted) {
    const std::string path = file.standardizedPath();
    for (ModelDuplicate& set : sets) {
      auto& members = set.state_->dups;
      const auto found = std::find_if(members.begin(), members.end(),
                                      [&](const ModelFile& member) { return member.standardizedPath() == path; });
      if (found != members.end()) {
        members.erase(found);
        break;
      }
    }
  }
  sets.erase(std::remove_if(sets.begin(), sets.end(), [](const ModelDuplicate& set) { return set.dups().size() < 2; }),
             sets.end());
}

}  // namespace vozi
