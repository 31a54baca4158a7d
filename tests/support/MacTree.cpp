#include "support/MacTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/FileSystemLayout.h"

namespace vozi::test {

namespace fs = std::filesystem;

namespace {

std::string escapeXml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

void requireValidName(const std::string& name) {
  if (!platform::FileSystemLayout::isValidUserName(name))
    throw std::invalid_argument("MacTree: not a usable user name: " + name);
}

timespec toTimespec(platform::Date date) {
  const double seconds = date.timeIntervalSince1970();
  timespec value{};
  value.tv_sec = static_cast<time_t>(std::floor(seconds));
  value.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
  return value;
}

}  // namespace

MacTree::MacTree(const TempRoot& root) : root_(root) {
  for (const char* folder :
       {"/Users", "/Applications", "/var/root", "/Library/Caches", "/Library/Logs", "/Library/Application Support",
        "/Library/Preferences", "/Library/LaunchAgents", "/Library/LaunchDaemons", "/System/Library/Caches",
        "/private/tmp"})
    addDirectory(folder);
  ::chmod(host("/private/tmp").c_str(), 01777);
  addSymlink("/tmp", "private/tmp");
}

std::string MacTree::homeOf(const std::string& user) {
  requireValidName(user);
  return *platform::FileSystemLayout::homeTreePath(user);
}

std::string MacTree::libraryOf(const std::string& user) { return homeOf(user) + "/Library"; }

MacTree& MacTree::addUser(const std::string& name) {
  const std::string home = homeOf(name);
  for (const char* folder : {"/Desktop", "/Documents", "/Downloads", "/Movies", "/Music", "/Pictures", "/.Trash",
                             "/Library/Caches", "/Library/Logs", "/Library/Containers",
                             "/Library/Application Support", "/Library/Preferences"})
    addDirectory(home + folder);
  return *this;
}

MacTree& MacTree::addContainer(const std::string& user, const std::string& bundleIdentifier) {
  requireValidName(bundleIdentifier);
  const std::string data = libraryOf(user) + "/Containers/" + bundleIdentifier + "/Data/Library";
  for (const char* folder : {"/Caches", "/Logs", "/Preferences"}) addDirectory(data + folder);
  return *this;
}

std::string MacTree::applicationPath(const ApplicationBundle& bundle) {
  std::string folder = bundle.folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder + "/" + bundle.name + ".app";
}

std::string MacTree::infoPlist(const ApplicationBundle& bundle) {
  std::vector<std::pair<std::string, std::string>> entries;
  const std::string executable = bundle.executable.empty() ? bundle.name : bundle.executable;
  entries.emplace_back("CFBundleDevelopmentRegion", "en");
  entries.emplace_back("CFBundleExecutable", executable);
  if (!bundle.iconFile.empty()) entries.emplace_back("CFBundleIconFile", bundle.iconFile);
  if (!bundle.bundleIdentifier.empty()) entries.emplace_back("CFBundleIdentifier", bundle.bundleIdentifier);
  entries.emplace_back("CFBundleInfoDictionaryVersion", "6.0");
  entries.emplace_back("CFBundleName", bundle.name);
  entries.emplace_back("CFBundlePackageType", "APPL");
  entries.emplace_back("CFBundleShortVersionString", bundle.shortVersion);
  entries.emplace_back("CFBundleVersion", bundle.version);
  for (const auto& extra : bundle.extraInfo) entries.push_back(extra);

  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n";
  for (const auto& [key, value] : entries)
    text += "\t<key>" + escapeXml(key) + "</key>\n\t<string>" + escapeXml(value) + "</string>\n";
  text += "</dict>\n</plist>\n";
  return text;
}

MacTree& MacTree::addApplication(const std::string& name, const std::string& bundleIdentifier) {
  ApplicationBundle bundle;
  bundle.name = name;
  bundle.bundleIdentifier = bundleIdentifier;
  return addApplication(bundle);
}

MacTree& MacTree::addApplication(const ApplicationBundle& bundle) {
  if (bundle.name.empty() || bundle.name.find('/') != std::string::npos)
    throw std::invalid_argument("MacTree: not a usable application name: " + bundle.name);
  const std::string contents = applicationPath(bundle) + "/Contents";
  const std::string executable = bundle.executable.empty() ? bundle.name : bundle.executable;
  addDirectory(contents + "/Resources");
  if (bundle.writeInfoPlist) addFile(contents + "/Info.plist", infoPlist(bundle));
  addFile(contents + "/PkgInfo", std::string("APPL????"));
  addFile(contents + "/MacOS/" + executable, std::string("#!/bin/sh\nexit 0\n"));
  ::chmod(host(contents + "/MacOS/" + executable).c_str(), 0755);
  if (!bundle.iconFile.empty()) {
    // An icon family header: the magic and the big-endian total length.
    std::string icon = "icns";
    icon += std::string("\0\0\0\x08", 4);
    addFile(contents + "/Resources/" + bundle.iconFile + ".icns", icon);
  }
  for (const std::string& language : bundle.languages) {
    const std::string folder = contents + "/Resources/" + language + ".lproj";
    addFile(folder + "/InfoPlist.strings", "\"CFBundleName\" = \"" + bundle.name + "\";\n");
    addFile(folder + "/Localizable.strings", "\"Hello\" = \"Hello\";\n");
  }
  return *this;
}

std::string MacTree::ensureParent(const std::string& treePath) const {
  const std::string path = host(treePath);
  fs::create_directories(fs::path(path).parent_path());
  return path;
}

MacTree& MacTree::addDirectory(const std::string& treePath) {
  fs::create_directories(host(treePath));
  return *this;
}

MacTree& MacTree::addFile(const std::string& treePath, std::uint64_t size) {
  const std::string path = ensureParent(treePath);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string pattern = treePath + "\n";
  std::string block;
  while (block.size() < 65536) block += pattern;
  std::uint64_t left = size;
  while (left > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
    out.write(block.data(), static_cast<std::streamsize>(chunk));
    left -= chunk;
  }
  if (!out) throw std::runtime_error("MacTree: cannot write " + path);
  return *this;
}

MacTree& MacTree::addFile(const std::string& treePath, const std::string& contents) {
  const std::string path = ensureParent(treePath);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("MacTree: cannot write " + path);
  return *this;
}

MacTree& MacTree::addSparseFile(const std::string& treePath, std::uint64_t size) {
  const std::string path = ensureParent(treePath);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("MacTree: cannot make " + path);
  }
  ::close(fd);
  return *this;
}

MacTree& MacTree::addSymlink(const std::string& treePath, const std::string& target) {
  const std::string path = ensureParent(treePath);
  ::unlink(path.c_str());
  if (::symlink(target.c_str(), path.c_str()) != 0) throw std::runtime_error("MacTree: cannot link " + path);
  return *this;
}

MacTree& MacTree::setDates(const std::string& treePath, platform::Date access, platform::Date modification) {
  const timespec times[2] = {toTimespec(access), toTimespec(modification)};
  if (::utimensat(AT_FDCWD, host(treePath).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    throw std::runtime_error("MacTree: cannot date " + treePath);
  return *this;
}

}  // namespace vozi::test
