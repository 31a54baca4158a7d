#include "platform/UserDefaults.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/FileManager.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"
#include "platform/ProcessInfo.h"
#include "platform/ProcessUser.h"
#include "platform/PropertyList.h"

namespace vozi::platform {

namespace {

constexpr std::size_t kMaxDomainNameLength = 200;

}  // namespace

UserDefaults& UserDefaults::standard() {
  static UserDefaults* const instance =
      new UserDefaults(ProcessInfo::processName(), userPreferencesFolder().value_or(std::string()));
  return *instance;
}

std::shared_ptr<UserDefaults> UserDefaults::suite(std::string_view suiteName,
                                                  std::optional<std::string> preferencesFolder) {
  if (!isValidDomainName(suiteName)) return nullptr;
  if (!preferencesFolder) preferencesFolder = userPreferencesFolder();
  if (!preferencesFolder) return nullptr;
  return std::make_shared<UserDefaults>(std::string(suiteName), std::move(*preferencesFolder));
}

bool UserDefaults::isValidDomainName(std::string_view name) {
  if (!PathComponents::isSingleComponent(name) || name.front() == '-') return false;
  return name.size() <= kMaxDomainNameLength && name != "NSGlobalDomain";
}

std::optional<std::string> UserDefaults::userPreferencesFolder() {
  const auto home = ProcessUser::homeDirectory();
  if (!home) return std::nullopt;
  return *home + "/Library/Preferences";
}

UserDefaults::UserDefaults(std::string domainName, std::string preferencesFolder)
    : domainName_(std::move(domainName)), preferencesFolder_(std::move(preferencesFolder)) {}

std::string UserDefaults::filePath() const { return preferencesFolder_ + "/" + domainName_ + ".plist"; }

void UserDefaults::loadLocked() {
  if (loaded_) return;
  loaded_ = true;
  struct stat info {};
  if (::lstat(filePath().c_str(), &info) != 0) {
    if (errno != ENOENT) loadError_ = PosixError::make(errno, filePath());
    return;  // no stored domain yet
  }
  Result<Value> stored = PropertyList::readFile(filePath());
  if (!stored) {
    loadError_ = stored.error();
    return;
  }
  if (auto* dictionary = stored->asDictionary()) {
    persistent_ = std::move(*dictionary);
    return;
  }
  loadError_ = PosixError::make(EINVAL, filePath());
}

std::optional<Value> UserDefaults::object(const std::string& key) {
  std::lock_guard lock(mutex_);
  loadLocked();
  if (auto found = persistent_.find(key); found != persistent_.end()) return found->second;
  if (auto found = registered_.find(key); found != registered_.end()) return found->second;
  return std::nullopt;
}

void UserDefaults::set(std::optional<Value> value, const std::string& key) {
  std::lock_guard lock(mutex_);
  loadLocked();
  if (value && !value->isNull())
    persistent_[key] = std::move(*value);
  else if (persistent_.erase(key) == 0)
    return;
  dirty_ = true;
}

void UserDefaults::registerDefaults(const Value::Dictionary& defaults) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : defaults) registered_[key] = value;
}

Value::Dictionary UserDefaults::persistentDomain() {
  std::lock_guard lock(mutex_);
  loadLocked();
  return persistent_;
}

Value::Dictionary UserDefaults::dictionaryRepresentation() {
  std::lock_guard lock(mutex_);
  loadLocked();
  Value::Dictionary merged = registered_;
  for (const auto& [key, value] : persistent_) merged[key] = value;
  return merged;
}

std::optional<Error> UserDefaults::loadError() {
  std::lock_guard lock(mutex_);
  loadLocked();
  return loadError_;
}

Result<void> UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  loadLocked();
  if (!dirty_) return {};
  Error error;
  if (!FileManager().createDirectory(preferencesFolder_, true, &error)) return error;
  Result<void> written = PropertyList::writeFile(filePath(), Value(persistent_), PropertyList::Format::binary, 0600);
  if (written) dirty_ = false;
  return written;
}

}  // namespace vozi::platform
