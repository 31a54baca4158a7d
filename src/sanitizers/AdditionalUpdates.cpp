#include "sanitizers/AdditionalUpdates.h"

#include <mutex>

#include "common/MLog.h"
#include "common/TypedFileItem.h"
#include "common/ZOLMFileItemType.h"

namespace vozi {

namespace {

std::mutex hookMutex;
AdditionalUpdates::PhotosRepairHook& photosRepairHook() {
  static AdditionalUpdates::PhotosRepairHook hook;
  return hook;
}

constexpr auto kTracks = static_cast<std::uint64_t>(ZOLMFileItemType::tracks);
constexpr auto kMovies = static_cast<std::uint64_t>(ZOLMFileItemType::movies);
constexpr auto kPhotos = static_cast<std::uint64_t>(ZOLMFileItemType::photos);

}  // namespace

void AdditionalUpdates::setPhotosRepairHook(PhotosRepairHook hook) {
  std::lock_guard lock(hookMutex);
  photosRepairHook() = std::move(hook);
}

void AdditionalUpdates::repairPhotos(const std::vector<std::string>& photoPaths, std::optional<bool> photosWasRunning) {
  PhotosRepairHook hook;
  {
    std::lock_guard lock(hookMutex);
    hook = photosRepairHook();
  }
  if (hook) hook(photoPaths, photosWasRunning);
}

void AdditionalUpdates::record(const IModelItem& item) {
  const auto* typed = dynamic_cast<const TypedFileItem*>(&item);
  if (typed == nullptr) return;
  const std::uint64_t type = typed->fileType();
  if (type == kTracks || type == kMovies) {
    updates_[AdditionalUpdateType::iTunes];
  } else if (type == kPhotos) {
    updates_[AdditionalUpdateType::photos].push_back(typed->path());
  }
}

void AdditionalUpdates::perform(const std::shared_ptr<IUserAgentLink>& link) const {
  for (const auto& [type, paths] : updates_) {
    switch (type) {
      case AdditionalUpdateType::iTunes:
        MLog("--> updating iTunesLibrary");
        if (link) link->updateITunesLibrary();
        break;
      case AdditionalUpdateType::photos: {
        MLog("--> updating photosLibrary");
        repairPhotos(paths, std::nullopt);
        break;
      }
    }
  }
}

}  // namespace vozi
