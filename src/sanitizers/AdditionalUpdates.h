#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/IModelItem.h"
#include "ipc/IUserAgentLink.h"

namespace vozi {

// The media-library updates a clean calls for: a refresh of the user's
// music library when music or films were among the deleted files, a repair
// of the Photos libraries when photos were. A clean records each file it
// tries (whether or not the delete works) and runs the updates once, at its
// end, on its own thread.
enum class AdditionalUpdateType { iTunes, photos };

class AdditionalUpdates {
 public:
  // Repairs the Photos libraries that held some of the paths (host paths);
  // whether Photos runs is told, or (none) asked for each library.
  using PhotosRepairHook =
      std::function<void(const std::vector<std::string>& photoPaths, std::optional<bool> photosWasRunning)>;

  // The process-wide repair, registered by the photos layer; unset: none.
  // Any thread.
  static void setPhotosRepairHook(PhotosRepairHook hook);
  // Runs the registered repair (nothing without one), on this thread.
  static void repairPhotos(const std::vector<std::string>& photoPaths, std::optional<bool> photosWasRunning);

  // Records what a file item calls for: a typed item of exactly music (1)
  // or exactly film (2) asks for the music-library refresh; exactly photo
  // (4) for the repair, with its path. Anything else asks for nothing.
  void record(const IModelItem& item);
  bool has(AdditionalUpdateType type) const { return updates_.contains(type); }
  const std::map<AdditionalUpdateType, std::vector<std::string>>& updates() const { return updates_; }

  // Runs each recorded update once: the refresh through the agent link
  // (nothing without one), the repair through the hook with the photos'
  // paths in the order recorded (nothing without one).
  void perform(const std::shared_ptr<IUserAgentLink>& link) const;

 private:
  std::map<AdditionalUpdateType, std::vector<std::string>> updates_;
};

}  // namespace vozi
