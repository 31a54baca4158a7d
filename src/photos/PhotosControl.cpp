#include "photos/PhotosControl.h"

#include <mutex>

#include "common/MLog.h"

namespace vozi {

namespace {

std::mutex controlMutex;
std::shared_ptr<PhotosControl>& current() {
  static std::shared_ptr<PhotosControl> control = std::make_shared<StandInPhotosControl>();
  return control;
}

}  // namespace

std::shared_ptr<PhotosControl> PhotosControl::shared() {
  std::lock_guard lock(controlMutex);
  return current();
}

void PhotosControl::setShared(std::shared_ptr<PhotosControl> control) {
  std::lock_guard lock(controlMutex);
  current() = control ? std::move(control) : std::make_shared<StandInPhotosControl>();
}

bool StandInPhotosControl::isRunning(const std::string& library, uid_t owner) {
  MLog("Photos control: is Photos running for " + library + " of " + std::to_string(owner) + ": no");
  return false;
}

void StandInPhotosControl::quit(const std::string& library, uid_t owner) {
  MLog("Photos control: quit Photos for " + library + " of " + std::to_string(owner));
}

void StandInPhotosControl::releaseLibrary(const std::string& library, uid_t owner) {
  MLog("Photos control: release " + library + " of " + std::to_string(owner));
}

void StandInPhotosControl::relaunch(const std::string& library, uid_t owner) {
  MLog("Photos control: relaunch Photos for " + library + " of " + std::to_string(owner));
}

}  // namespace vozi
