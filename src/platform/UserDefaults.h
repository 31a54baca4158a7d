#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/Result.h"
#include "platform/Value.h"

namespace vozi::platform {

// User defaults in the macOS shape: one persistent domain per name, kept as
// the property list "<home>/Library/Preferences/<domain>.plist" of the
// process user (under the host root), and a volatile registration domain
// whose values answer lookups only while the object lives. Lookups take the
// persistent value first, then the registered one. The file is read on
// first use; changes stay in memory until synchronize() writes the whole
// domain back, atomically.
class UserDefaults {
 public:
  // The process's own domain, named after the process, in the process
  // user's preferences folder. Made on first use, lives for the process.
  static UserDefaults& standard();

  // A named suite in `preferencesFolder` (the process user's by default);
  // none when the name cannot be a domain (see isValidDomainName).
  static std::shared_ptr<UserDefaults> suite(std::string_view suiteName,
                                             std::optional<std::string> preferencesFolder = std::nullopt);

  // A domain name becomes one file name and a tool argument: it must not be
  // empty, ".", "..", start with "-", hold "/" or NUL, be longer than 200
  // bytes, or be the global domain "NSGlobalDomain".
  static bool isValidDomainName(std::string_view name);

  // The process user's "Library/Preferences" host path; none when the user
  // has no home in the layout.
  static std::optional<std::string> userPreferencesFolder();

  UserDefaults(std::string domainName, std::string preferencesFolder);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::string& domainName() const { return domainName_; }
  const std::string& preferencesFolder() const { return preferencesFolder_; }
  std::string filePath() const;

  std::optional<Value> object(const std::string& key);
  // Sets a persistent value; none (or a null value) removes it.
  void set(std::optional<Value> value, const std::string& key);
  void removeObject(const std::string& key) { set(std::nullopt, key); }

  // Adds values to the registration domain (later registrations win).
  void registerDefaults(const Value::Dictionary& defaults);

  // The persistent values only.
  Value::Dictionary persistentDomain();
  // The registered values overlaid by the persistent ones.
  Value::Dictionary dictionaryRepresentation();

  // Why the stored domain could not be read, when its file exists but is
  // unreadable or not a dictionary; the domain then starts empty.
  std::optional<Error> loadError();

  // Writes the persistent domain when it has changed since it was read or
  // last written. A failure leaves the changes in memory for the next try.
  Result<void> synchronize();

 private:
  void loadLocked();

  const std::string domainName_;
  const std::string preferencesFolder_;
  std::mutex mutex_;
  bool loaded_ = false;
  bool dirty_ = false;
  std::optional<Error> loadError_;
  Value::Dictionary persistent_;
  Value::Dictionary registered_;
};

}  // namespace vozi::platform
