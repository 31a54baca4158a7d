#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/FileManager.h"
#include "ipc/IUserAgentLink.h"
#include "sanitizers/BaseFilesScanningOperation.h"

namespace vozi {

// The scan of the applications group: one ApplicationItem per application
// bundle in the Applications folder (sub-folders such as Utilities are
// entered; bundles never are), system applications left out, each with its
// leftovers as members:
//
// - the known leftovers that "leftoversApps.plist" (a resource of the
//   program: application name -> full paths) lists for its name, whether
//   they exist or not;
// - the entries of the 14 Library folders (seven under "/Library/", seven
//   under the user's Library, which only the agent link names) that carry
//   the application's bundle identifier: a path component below the folder
//   that is the identifier or starts with it and a dot. Identifiers of fewer
//   than two non-empty dotted parts ("com") claim nothing; an entry goes to
//   the first application in group order that claims it. Folders and empty
//   files are not reported (the files inside a claimed folder are).
//
// No walk follows a link: a link is never a bundle, nor entered. Progress:
// one unit per entry met by either walk, over their count (when a progress
// handler is set). A cancelled scan empties the group and completes with
// (nothing, true). Everything runs on the operation's thread.
class ApplicationsScanningOperation : public BaseFilesScanningOperation<ApplicationsGroup> {
 public:
  using Base = BaseFilesScanningOperation<ApplicationsGroup>;
  using Options = FileManager::Options;

  static constexpr const char* kApplicationBundleExtension = ".app";
  static constexpr const char* kKnownLeftoversResource = "leftoversApps";
  // Bundle identifiers (lower case) of the applications never listed: the
  // system's, the product's own interface and this daemon.
  static const std::vector<std::string>& kSystemApplicationsBundles();
  static bool isSystemApplication(std::string_view bundleIdentifier);

  // Application name -> full paths, as read from "leftoversApps.plist"; empty
  // when the file is missing or not a dictionary of string arrays.
  using KnownLeftovers = std::map<std::string, std::vector<std::string>>;
  static KnownLeftovers readKnownLeftovers(const std::string& path);

  ApplicationsScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                                std::shared_ptr<IUserAgentLink> userAgentLink,
                                Options options = Options::SkipsPackageDescendants);

  void main() override;

  // The support-folder rule, then: a ".app" entry is handed over whole, or
  // skipped when it is a system application; anything else goes on.
  FileManagerEnumerationAction handleSubpath(const std::string& path) override;

  // The Applications folder, then the 14 Library folders, then the paths of
  // the known leftovers: what a clean of this group may delete from.
  std::vector<std::string> scanningRoots() override;

  const std::vector<std::string>& scanningURLs();
  const std::vector<std::string>& leftoversURLs();

 private:
  void handleApplication(const std::string& path);
  void addKnownLeftovers(ApplicationItem& application);
  void findLeftovers(const FileManager& fileManager);
  // The application (index in group order) whose identifier a component of
  // `relativePath` carries; none when no application claims it.
  std::optional<std::size_t> claimant(std::string_view relativePath) const;
  std::optional<std::string> bundleIdentifier(const std::string& bundlePath);
  const KnownLeftovers& knownLeftovers();

  std::shared_ptr<IUserAgentLink> userAgentLink_;
  Options options_;
  std::optional<std::vector<std::string>> scanningURLs_;
  std::optional<std::vector<std::string>> leftoversURLs_;
  std::optional<KnownLeftovers> knownLeftovers_;
  // The applications in group order, and their identifiers that may claim.
  std::vector<std::shared_ptr<ApplicationItem>> applications_;
  struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, std::size_t, StringHash, std::equal_to<>> claims_;
  // The last bundle whose identifier was read: the subpath rule and the
  // application handler ask for the same bundle one after the other.
  std::string lastBundlePath_;
  std::optional<std::string> lastBundleIdentifier_;
};

}  // namespace vozi
