#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/Value.h"

namespace vozi {

// A key-value store over one property-list file. The file is read once, on
// first use (a missing or unreadable file gives an empty store), and from
// then on the in-memory dictionary is the truth: every change writes the
// whole dictionary back, replacing the file atomically. A failed write is
// silent and keeps the change in memory.
class PlistBasedPersistantStore {
 public:
  // `filePath` is a host path.
  explicit PlistBasedPersistantStore(std::string filePath);

  // The notifications manager's file, "ZOLNotificationsManager.plist" in the
  // product folder under the host root.
  static std::string notificationsManagerFilePath();

  const std::string& fileURL() const { return filePath_; }

  std::optional<platform::Value> getStoredObject(const std::string& key);
  // Sets the key, or removes it when `storedObject` is none, then writes the
  // file (also when nothing changed).
  void set(std::optional<platform::Value> storedObject, const std::string& key);

 private:
  platform::Value::Dictionary& storedDictionaryLocked();

  const std::string filePath_;
  std::mutex mutex_;
  std::optional<platform::Value::Dictionary> storedDictionary_;
};

}  // namespace vozi
