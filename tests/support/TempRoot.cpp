#include "support/TempRoot.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vozi::test {

namespace fs = std::filesystem;

TempRoot::TempRoot() {
  std::string pattern = (fs::temp_directory_path() / "vozi-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (const char* previous = std::getenv("VOZI_ROOT")) {
    hadPreviousRoot_ = true;
    previousRoot_ = previous;
  }
  ::setenv("VOZI_ROOT", path_.c_str(), 1);
}

TempRoot TempRoot::kept(const std::string& folder) { return TempRoot(folder, Keep{}); }

TempRoot::TempRoot(const std::string& folder, Keep) : kept_(true) {
  fs::create_directories(folder);
  path_ = fs::canonical(folder).string();
  if (const char* previous = std::getenv("VOZI_ROOT")) {
    hadPreviousRoot_ = true;
    previousRoot_ = previous;
  }
  ::setenv("VOZI_ROOT", path_.c_str(), 1);
}

TempRoot::TempRoot(TempRoot&& other) noexcept
    : path_(std::move(other.path_)),
      previousRoot_(std::move(other.previousRoot_)),
      hadPreviousRoot_(other.hadPreviousRoot_),
      kept_(other.kept_) {
  other.path_.clear();
}

TempRoot::~TempRoot() {
  if (path_.empty()) return;  // moved from
  if (hadPreviousRoot_)
    ::setenv("VOZI_ROOT", previousRoot_.c_str(), 1);
  else
    ::unsetenv("VOZI_ROOT");
  if (kept_) return;
  std::error_code ignored;
  // Give back write permission first so that read-only fixtures go too.
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string TempRoot::operator/(const std::string& treePath) const {
  if (treePath.empty() || treePath.front() != '/') return path_ + "/" + treePath;
  return path_ + treePath;
}

std::string TempRoot::makeDirectory(const std::string& treePath) const {
  const std::string host = *this / treePath;
  fs::create_directories(host);
  return host;
}

std::string TempRoot::writeFile(const std::string& treePath, const std::string& contents) const {
  const std::string host = *this / treePath;
  fs::create_directories(fs::path(host).parent_path());
  std::ofstream(host, std::ios::binary | std::ios::trunc) << contents;
  return host;
}

}  // namespace vozi::test
