#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cleaners/Application.h"
#include "sanitizers/Sanitizer.h"

namespace vozi {

// The installed applications of the synchronous family: the bundles right
// inside the application folders ("/Applications", its "Utilities", and the
// user's own), but the system's and this product's, each with the
// leftovers found in the user's and the machine's Library folders; and
// their uninstall.
//
// A leftover belongs to an application when it lies at or below a place
// the known-leftovers table ("leftoversApps.plist", "~" standing for the
// user's home) gives for the application's name; or, for an application
// the table does not know, when a component of its path below a Library
// folder is the name, or the name with an extension, in any letter case
// (names under three characters claim nothing). Without the table no
// leftover is looked for.
class AppsSanitizer : public Sanitizer {
 public:
  using Sanitizer::purge;
  static constexpr const char* appBundleExtension = ".app";
  static const std::vector<std::string>& SystemApplicationsBundles();

  explicit AppsSanitizer(std::string userName);
  std::string name() const override { return "AppsSanitizer"; }

  // Lists the applications afresh; (bytes with leftovers, applications).
  // A cancelled work item gives (0, nothing).
  std::pair<std::uint64_t, std::vector<std::shared_ptr<Application>>> apps(
      const platform::DispatchWorkItem& dispatchWorkItem) override;

  // Uninstalls the found applications the selection names (their names):
  // the bundle first, to the user's Trash or for good as the preferences
  // say, the leftovers only once it is gone. Only bundles right inside the
  // application folders and leftovers inside the Library folders or the
  // table's places are touched. Answers the bytes that went and the
  // applications whose bundle went.
  std::pair<std::uint64_t, std::vector<Application>> purge(const Sizes& what, const std::vector<Application>& found,
                                                           const platform::DispatchWorkItem& dispatchWorkItem);

  std::vector<Application> installedApps;

  // The application name a path found in a Library folder belongs to.
  std::optional<std::string> checkFileIsRelevantToApps(const std::string& path, std::string_view belowFolder);

 private:
  const std::optional<std::map<std::string, std::vector<std::string>>>& knownAppDir();
  void scanAppsFilesOnDisk();
  bool isRemovable(const std::string& path, bool bundle) const;

  std::string userName_;
  std::vector<std::string> leftoverFolders_;
  std::optional<std::optional<std::map<std::string, std::vector<std::string>>>> knownAppDir_;
  std::vector<std::string> unknownAppList_;
};

// The sanitizer of deleted applications' leftovers: the base sanitizer
// with no folder of its own.
class AppsLeftoversSanitizer : public Sanitizer {
 public:
  static std::unique_ptr<AppsLeftoversSanitizer> make(const std::string& userName);
  std::string name() const override { return "AppsLeftoversSanitizer"; }
  using Sanitizer::Sanitizer;
};

}  // namespace vozi
