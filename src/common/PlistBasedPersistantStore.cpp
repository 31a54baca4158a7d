#include "common/PlistBasedPersistantStore.h"

#include "common/MLog.h"
#include "platform/HostRoot.h"
#include "platform/PropertyList.h"

namespace vozi {

PlistBasedPersistantStore::PlistBasedPersistantStore(std::string filePath) : filePath_(std::move(filePath)) {}

std::string PlistBasedPersistantStore::notificationsManagerFilePath() {
  return platform::HostRoot::resolve("/Library/Application Support/div.ez.iru/ZOLNotificationsManager.plist");
}

platform::Value::Dictionary& PlistBasedPersistantStore::storedDictionaryLocked() {
  if (!storedDictionary_) {
    storedDictionary_.emplace();
    platform::Result<platform::Value> stored = platform::PropertyList::readFile(filePath_);
    if (stored) {
      if (auto* dictionary = stored->asDictionary()) *storedDictionary_ = std::move(*dictionary);
    }
  }
  return *storedDictionary_;
}

std::optional<platform::Value> PlistBasedPersistantStore::getStoredObject(const std::string& key) {
  std::lock_guard lock(mutex_);
  const auto& dictionary = storedDictionaryLocked();
  const auto found = dictionary.find(key);
  if (found == dictionary.end()) return std::nullopt;
  return found->second;
}

void PlistBasedPersistantStore::set(std::optional<platform::Value> storedObject, const std::string& key) {
  std::lock_guard lock(mutex_);
  auto& dictionary = storedDictionaryLocked();
  platform::Value::Dictionary changed = dictionary;
  if (storedObject && !storedObject->isNull())
    changed[key] = std::move(*storedObject);
  else
    changed.erase(key);
  // A value that cannot be stored would make every later write fail and so
  // lose every later change: it is turned away instead.
  platform::Result<std::string> text = platform::PropertyList::toXML(platform::Value(changed));
  if (!text) {
    MLog("can not store the value for key " + key + ": " + text.error().localizedDescription());
    return;
  }
  dictionary = std::move(changed);
  (void)platform::PropertyList::writeFileAtomically(filePath_, *text);
}

}  // namespace vozi
