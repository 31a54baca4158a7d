#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/GeneralItemImp.h"
#include "common/ZOLMPreferences.h"
#include "platform/DispatchWorkItem.h"
#include "platform/URL.h"

namespace vozi {

// The findings of the feature sanitizers, defined with them.
class ModelDuplicate;
class Application;
class Language;
class ModelFile;

class Sanitizer;

// Asked before, and told after, each folder a selection purge empties.
class SanitizerDelegate {
 public:
  virtual ~SanitizerDelegate() = default;
  virtual bool shouldRemove(Sanitizer& sanitizer, const GeneralItemImp& item) = 0;
  virtual void didRemove(Sanitizer& sanitizer, const GeneralItemImp& item) = 0;
};

// The older, synchronous sanitizer: bound to a list of folders (host
// paths), it measures them (scan) and empties them (the purges) on the
// caller's thread. The folder kinds are this class over their folders; the
// feature sanitizers override a purge and the hook of their kind.
//
// What a purge may remove:
// - purge(url) empties one folder, never the folder itself; each child goes
//   whole, through no link (a link is removed as itself);
// - a selection purge (purge(what, found, …)) empties a selected folder
//   only when it is one of the sanitizer's folders and the kept scan result
//   holds it; every other selected path is logged and left alone;
// - a folder of the list that is a link, or lies behind one, is neither
//   measured nor emptied.
// Nothing is thrown; every failure is logged and counts 0.
class Sanitizer {
 public:
  using ScanResult = std::pair<std::uint64_t, std::map<std::string, std::uint64_t>>;
  using Sizes = std::map<std::string, std::uint64_t>;

  explicit Sanitizer(std::vector<std::string> dirs);
  explicit Sanitizer(std::string dir) : Sanitizer(std::vector<std::string>{std::move(dir)}) {}
  virtual ~Sanitizer() = default;
  Sanitizer(const Sanitizer&) = delete;
  Sanitizer& operator=(const Sanitizer&) = delete;

  // Bytes of every deletable file below each folder that exists (a folder
  // measured twice counts twice); the folders holding any, by path.
  virtual ScanResult scan();
  // The base removes nothing.
  virtual std::uint64_t purge();
  // Empties the folder; the bytes of what went.
  virtual std::uint64_t purge(const std::string& folder);
  // purge(folder) for each path of a scan result.
  virtual std::uint64_t purge(const Sizes& details);
  // Empties the selected folders (path -> size seen) that the kept scan
  // result holds, asking the delegate first and telling it after, and
  // stopping before the next folder once the work item is cancelled.
  // Answers the bytes and one map: each folder emptied -> its bytes.
  virtual std::pair<std::uint64_t, Sizes> purge(const Sizes& what, const std::optional<Sizes>& found,
                                                const platform::DispatchWorkItem& dispatchWorkItem);

  // The hooks of the feature sanitizers; the base finds nothing.
  virtual std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelDuplicate>>> dups(
      const platform::DispatchWorkItem& dispatchWorkItem);
  virtual std::pair<std::uint64_t, std::vector<std::shared_ptr<Application>>> apps(
      const platform::DispatchWorkItem& dispatchWorkItem);
  virtual std::pair<std::uint64_t, std::vector<std::shared_ptr<Language>>> langs(
      const platform::DispatchWorkItem& dispatchWorkItem, const std::vector<std::string>& excludeLangs);
  virtual std::pair<std::uint64_t, std::vector<std::shared_ptr<ModelFile>>> mailAttachments(
      const platform::DispatchWorkItem& dispatchWorkItem);

  // The class's name in log lines ("TempFilesSanitizer").
  virtual std::string name() const { return "Sanitizer"; }

  const std::vector<std::string>& dirs() const { return dirs_; }

  std::weak_ptr<SanitizerDelegate> delegate;
  bool requireAdditionActionOnCleaningStart = false;
  bool requireAdditionActionOnCleaningFinish = false;
  std::optional<ZOLMPreferences> preferences;

 protected:
  // True when the path is one of the folders given.
  bool isOwnFolder(const std::string& path) const;
  // A selection as log lines show it: "{path: bytes, …}".
  static std::string describe(const Sizes& sizes);

 private:
  std::vector<std::string> dirs_;
};

}  // namespace vozi
