#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cleaners/ModelDuplicate.h"
#include "cleaners/ModelFile.h"
#include "ipc/IUserAgentLink.h"
#include "sanitizers/Sanitizer.h"

namespace vozi {

// The duplicates of the synchronous family: every set of two or more files
// with equal contents below the sanitizer's folders, and the removal of
// the members a selection names.
//
// The walk enters no link, no hidden folder and no package but a Photos
// library's "Masters" and "Previews"; it leaves out a user's Library and
// the hidden folders right inside a home (read in the tree), the paths
// holding an excluded fragment, links and empty files. Files are grouped
// by size first; only files sharing a size are read, each once.
class DuplicateSanitizer : public Sanitizer {
 public:
  using Sanitizer::purge;
  using Sanitizer::Sanitizer;
  std::string name() const override { return "DuplicateSanitizer"; }

  // (bytes, path -> size) of every candidate file.
  ScanResult scan() override;
  // The sets; the bytes of all their members. A cancelled work item gives
  // (0, nothing).
  std::pair<std::uint64_t, std::vector<ModelDuplicate>> findDuplicates(
      const platform::DispatchWorkItem& dispatchWorkItem);
  std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelDuplicate>>> dups(
      const platform::DispatchWorkItem& dispatchWorkItem) override;

  // Removes the selected files (keys: file URL strings) that are members
  // of the found sets: to the Trash of the home holding each, or for good,
  // as the preferences say. Then the Photos libraries they were in are
  // repaired (with this sanitizer's flags) and, when music or films went,
  // the agent is asked to refresh the media library.
  std::pair<std::uint64_t, std::vector<ModelFile>> purge(const Sizes& what, const std::vector<ModelDuplicate>& found,
                                                         const platform::DispatchWorkItem& dispatchWorkItem);

  std::shared_ptr<IUserAgentLink> userAgentLink;
};

}  // namespace vozi
