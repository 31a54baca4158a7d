#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace vozi {

// What the repair asks of the Photos application around an edit of one
// library: whether it runs, to quit it, to let go of the library (every
// process that holds it open stops), to start it again. No shell and no
// command line is ever built from the library's path.
class PhotosControl {
 public:
  virtual ~PhotosControl() = default;
  virtual bool isRunning(const std::string& library, uid_t owner) = 0;
  virtual void quit(const std::string& library, uid_t owner) = 0;
  virtual void releaseLibrary(const std::string& library, uid_t owner) = 0;
  virtual void relaunch(const std::string& library, uid_t owner) = 0;

  // The process-wide control; the stand-in until one is installed.
  static std::shared_ptr<PhotosControl> shared();
  static void setShared(std::shared_ptr<PhotosControl> control);
};

// There is no Photos application on this platform: it never runs, and each
// call is only logged.
class StandInPhotosControl : public PhotosControl {
 public:
  bool isRunning(const std::string& library, uid_t owner) override;
  void quit(const std::string& library, uid_t owner) override;
  void releaseLibrary(const std::string& library, uid_t owner) override;
  void relaunch(const std::string& library, uid_t owner) override;
};

}  // namespace vozi
