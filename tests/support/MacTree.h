#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Date.h"
#include "support/TempRoot.h"

namespace vozi::test {

// What addApplication puts into a bundle. Only name and bundleIdentifier
// are needed; the rest has usable defaults.
struct ApplicationBundle {
  std::string name;              // the bundle is "<name>.app"; also CFBundleName
  std::string bundleIdentifier;  // CFBundleIdentifier; left out of Info.plist when empty
  std::string version = "1.0";         // CFBundleVersion
  std::string shortVersion = "1.0";    // CFBundleShortVersionString
  std::string iconFile = "AppIcon";    // CFBundleIconFile and Resources/<iconFile>.icns; "" for none
  std::string executable;              // CFBundleExecutable and Contents/MacOS/<executable>; defaults to name
  std::vector<std::string> languages = {"en", "Base"};  // Resources/<language>.lproj folders
  std::string folder = "/Applications";                  // the tree folder the bundle goes in
  std::vector<std::pair<std::string, std::string>> extraInfo;  // more string entries of Info.plist
  bool writeInfoPlist = true;
};

// Lays out a macOS-style tree under a TempRoot, for any test that needs one.
// The constructor makes the machine-wide part:
//   /Users, /Applications, /var/root,
//   /Library/{Caches,Logs,Application Support,Preferences,LaunchAgents,LaunchDaemons},
//   /System/Library/Caches, /private/tmp and "/tmp" -> "private/tmp".
// The add... calls take tree paths ("/Users/bob/x"), create missing folders
// on the way and return the tree for chaining:
//   MacTree tree(root);
//   tree.addUser("bob").addApplication("Foo", "com.x.foo").addFile("/Users/bob/Library/Caches/a", 10);
class MacTree {
 public:
  explicit MacTree(const TempRoot& root);

  const TempRoot& root() const { return root_; }
  // The host path of a tree path.
  std::string host(const std::string& treePath) const { return root_ / treePath; }

  // A user's home with Desktop, Documents, Downloads, Movies, Music,
  // Pictures, ".Trash" and Library/{Caches,Logs,Containers,Application
  // Support,Preferences}. "root" lives in /var/root.
  MacTree& addUser(const std::string& name);
  static std::string homeOf(const std::string& user);     // tree path
  static std::string libraryOf(const std::string& user);  // tree path of <home>/Library

  // An application's sandbox container:
  // <home>/Library/Containers/<id>/Data/Library/{Caches,Logs,Preferences}.
  MacTree& addContainer(const std::string& user, const std::string& bundleIdentifier);

  // An application bundle "<folder>/<name>.app" with Contents/Info.plist,
  // PkgInfo, MacOS/<executable>, Resources/<icon>.icns and *.lproj folders.
  MacTree& addApplication(const std::string& name, const std::string& bundleIdentifier);
  MacTree& addApplication(const ApplicationBundle& bundle);
  static std::string applicationPath(const ApplicationBundle& bundle);  // tree path of the bundle
  // The XML property-list text of a bundle's Info.plist.
  static std::string infoPlist(const ApplicationBundle& bundle);

  MacTree& addDirectory(const std::string& treePath);
  // A file of exactly `size` bytes; the bytes repeat the tree path, so
  // files at different paths differ.
  MacTree& addFile(const std::string& treePath, std::uint64_t size);
  MacTree& addFile(const std::string& treePath, const std::string& contents);
  // A file of `size` bytes that takes no disk space (a hole), for big files.
  MacTree& addSparseFile(const std::string& treePath, std::uint64_t size);
  // A symbolic link holding `target` exactly as given (relative or host path).
  MacTree& addSymlink(const std::string& treePath, const std::string& target);
  // Sets the last access and modification dates of an item (not following a link).
  MacTree& setDates(const std::string& treePath, platform::Date access, platform::Date modification);

 private:
  std::string ensureParent(const std::string& treePath) const;

  const TempRoot& root_;
};

}  // namespace vozi::test
