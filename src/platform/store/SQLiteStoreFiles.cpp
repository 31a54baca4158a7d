#include "platform/store/SQLiteStoreFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "platform/FileDescriptor.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"

namespace vozi::platform {

namespace {

constexpr std::string_view kAsideInfix = ".corrupt-";
constexpr std::size_t kStampLength = 16;  // "YYYYMMDDTHHMMSSZ"
constexpr std::size_t kReasonLimit = 1024;
constexpr int kMaxSameSecond = 1000;

// The store's folder, opened without following a link, and the file's name in it.
struct Place {
  FileDescriptor folder;
  std::string folderPath;
  std::string name;
};

Result<std::unique_ptr<Place>> placeOf(const std::string& storePath) {
  auto place = std::make_unique<Place>();
  place->name = std::string(PathComponents::lastComponent(storePath));
  const auto slash = storePath.find_last_of('/');
  place->folderPath = slash == std::string::npos ? "." : slash == 0 ? "/" : storePath.substr(0, slash);
  if (!PathComponents::isSingleComponent(place->name)) return PosixError::make(EINVAL, storePath);
  place->folder.reset(::open(place->folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!place->folder) return PosixError::make(errno, place->folderPath);
  return place;
}

bool exists(const Place& place, const std::string& name) {
  struct stat st {};
  return ::fstatat(place.folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

std::string stampOf(Date when) {
  const auto seconds = static_cast<std::time_t>(std::floor(when.timeIntervalSince1970()));
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

// The order key of a set's base name "<name>.corrupt-<stamp>[-<n>]", or none
// when the text after the infix is not of that form.
std::optional<std::pair<std::string, long>> setKey(std::string_view rest) {
  if (rest.size() < kStampLength) return std::nullopt;
  const std::string stamp(rest.substr(0, kStampLength));
  if (stamp[8] != 'T' || stamp.back() != 'Z') return std::nullopt;
  for (std::size_t i = 0; i < kStampLength; ++i)
    if (i != 8 && i != kStampLength - 1 && (stamp[i] < '0' || stamp[i] > '9')) return std::nullopt;
  rest.remove_prefix(kStampLength);
  if (rest.empty()) return std::pair{stamp, 1L};
  if (rest.front() != '-' || rest.size() < 2 || rest.size() > 5) return std::nullopt;
  long n = 0;
  for (char c : rest.substr(1)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return std::pair{stamp, n};
}

// The sets beside the store: base name -> the names of its files.
using Sets = std::map<std::tuple<std::string, long, std::string>, std::vector<std::string>>;

Sets setsOf(const Place& place) {
  Sets sets;
  const int fd = ::openat(place.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return sets;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return sets;
  }
  const std::string prefix = place.name + std::string(kAsideInfix);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view entryName = entry->d_name;
    if (!entryName.starts_with(prefix)) continue;
    std::string_view rest = entryName.substr(prefix.size());
    for (std::string_view suffix : SQLiteStoreFiles::kCompanionSuffixes) {
      if (rest.ends_with(suffix)) {
        rest.remove_suffix(suffix.size());
        break;
      }
    }
    auto key = setKey(rest);
    if (!key) continue;
    sets[{key->first, key->second, prefix + std::string(rest)}].emplace_back(entryName);
  }
  ::closedir(dir);
  return sets;
}

}  // namespace

Result<void> SQLiteStoreFiles::markCorrupt(const std::string& storePath, std::string_view reason) {
  auto found = placeOf(storePath);
  if (!found) return found.error();
  const Place& place = **found;
  const std::string mark = place.name + std::string(kCorruptMarkSuffix);
  FileDescriptor fd(::openat(place.folder.get(), mark.c_str(),
                             O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600));
  if (!fd) return PosixError::make(errno, storePath + std::string(kCorruptMarkSuffix));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)
    return PosixError::make(EINVAL, storePath + std::string(kCorruptMarkSuffix));
  const std::string_view text = reason.substr(0, kReasonLimit);
  if (::ftruncate(fd.get(), 0) != 0) return PosixError::make(errno, storePath + std::string(kCorruptMarkSuffix));
  if (const int failed = FileDescriptor::writeAll(fd.get(), text.data(), text.size()))
    return PosixError::make(failed, storePath + std::string(kCorruptMarkSuffix));
  return {};
}

bool SQLiteStoreFiles::isMarkedCorrupt(const std::string& storePath) {
  auto found = placeOf(storePath);
  return found && exists(**found, (*found)->name + std::string(kCorruptMarkSuffix));
}

void SQLiteStoreFiles::clearCorruptMark(const std::string& storePath) {
  if (auto found = placeOf(storePath))
    ::unlinkat((*found)->folder.get(), ((*found)->name + std::string(kCorruptMarkSuffix)).c_str(), 0);
}

Result<std::string> SQLiteStoreFiles::moveAside(const std::string& storePath, Date when) {
  auto found = placeOf(storePath);
  if (!found) return found.error();
  const Place& place = **found;
  const int folder = place.folder.get();
  const std::string stamped = place.name + std::string(kAsideInfix) + stampOf(when);
  std::string base;
  for (int n = 1; n <= kMaxSameSecond && base.empty(); ++n) {
    const std::string candidate = n == 1 ? stamped : stamped + "-" + std::to_string(n);
    bool taken = exists(place, candidate);
    for (std::string_view suffix : kCompanionSuffixes) taken = taken || exists(place, candidate + std::string(suffix));
    if (!taken) base = candidate;
  }
  if (base.empty()) return PosixError::make(EEXIST, place.folderPath + "/" + stamped);

  auto moveOne = [&](const std::string& from, const std::string& to) -> Result<void> {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) != 0)
      return PosixError::make(errno, place.folderPath + "/" + from);
    return {};
  };
  for (std::string_view suffix : kCompanionSuffixes) {
    const std::string companion = place.name + std::string(suffix);
    if (!exists(place, companion)) continue;
    if (auto moved = moveOne(companion, base + std::string(suffix)); !moved) return moved.error();
  }
  if (auto moved = moveOne(place.name, base); !moved) return moved.error();
  ::unlinkat(folder, (place.name + std::string(kCorruptMarkSuffix)).c_str(), 0);

  Sets sets = setsOf(place);
  std::size_t surplus = sets.size() > kKeptCorruptSets ? sets.size() - kKeptCorruptSets : 0;
  for (auto it = sets.begin(); surplus > 0; ++it, --surplus)
    for (const std::string& name : it->second) ::unlinkat(folder, name.c_str(), 0);
  // The renames and removals are the store's state from now on.
  ::fsync(folder);
  return place.folderPath + "/" + base;
}

std::vector<std::string> SQLiteStoreFiles::corruptSets(const std::string& storePath) {
  std::vector<std::string> out;
  auto found = placeOf(storePath);
  if (!found) return out;
  for (const auto& [key, names] : setsOf(**found)) out.push_back((*found)->folderPath + "/" + std::get<2>(key));
  return out;
}

}  // namespace vozi::platform
