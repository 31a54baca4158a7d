#include "platform/ArchiveClassRegistry.h"

#include <algorithm>
#include <mutex>

namespace vozi::platform {

namespace {

struct FoundationClass {
  std::string_view name;
  std::vector<std::string> chain;
};

const std::vector<FoundationClass>& foundationClasses() {
  static const std::vector<FoundationClass> classes = {
      {"NSObject", {"NSObject"}},
      {"NSArray", {"NSArray", "NSObject"}},
      {"NSMutableArray", {"NSMutableArray", "NSArray", "NSObject"}},
      {"NSDictionary", {"NSDictionary", "NSObject"}},
      {"NSMutableDictionary", {"NSMutableDictionary", "NSDictionary", "NSObject"}},
      {"NSOrderedSet", {"NSOrderedSet", "NSObject"}},
      {"NSMutableOrderedSet", {"NSMutableOrderedSet", "NSOrderedSet", "NSObject"}},
      {"NSSet", {"NSSet", "NSObject"}},
      {"NSMutableSet", {"NSMutableSet", "NSSet", "NSObject"}},
      {"NSString", {"NSString", "NSObject"}},
      {"NSMutableString", {"NSMutableString", "NSString", "NSObject"}},
      {"NSNumber", {"NSNumber", "NSValue", "NSObject"}},
      {"NSValue", {"NSValue", "NSObject"}},
      {"NSData", {"NSData", "NSObject"}},
      {"NSMutableData", {"NSMutableData", "NSData", "NSObject"}},
      {"NSDate", {"NSDate", "NSObject"}},
      {"NSURL", {"NSURL", "NSObject"}},
      {"NSNull", {"NSNull", "NSObject"}},
  };
  return classes;
}

}  // namespace

bool ArchiveClass::isKindOf(std::string_view className) const {
  return std::find(classes.begin(), classes.end(), className) != classes.end();
}

std::shared_ptr<void> ArchiveClass::upcast(const std::shared_ptr<void>& object, std::type_index target) const {
  for (const auto& [type, cast] : upcasts) {
    if (type == target) return cast(object);
  }
  return nullptr;
}

ArchiveClassRegistry& ArchiveClassRegistry::shared() {
  static ArchiveClassRegistry registry;
  return registry;
}

const std::vector<std::string>* ArchiveClassRegistry::foundationClassChain(std::string_view name) {
  for (const auto& c : foundationClasses()) {
    if (c.name == name) return &c.chain;
  }
  return nullptr;
}

bool ArchiveClassRegistry::add(ArchiveClass entry, const std::type_index* base) {
  if (entry.name.empty() || foundationClassChain(entry.name)) return false;
  std::unique_lock lock(mutex_);
  const auto sameName = byName_.find(entry.name);
  const auto sameType = byType_.find(entry.type);
  if (sameName != byName_.end() || sameType != byType_.end()) {
    // Registering the same type under the same name again is harmless.
    return sameName != byName_.end() && sameType != byType_.end() && sameName->second == sameType->second;
  }
  std::vector<std::string> chain{entry.name};
  if (base) {
    const auto baseEntry = byType_.find(*base);
    if (baseEntry == byType_.end()) return false;
    const ArchiveClass& parent = *baseEntry->second;
    chain.insert(chain.end(), parent.classes.begin(), parent.classes.end());
    // entry.upcasts holds T -> T and T -> Base; extend with Base's own casts
    // to its bases, applied after T -> Base.
    const ArchiveClass::Upcast toBase = entry.upcasts.back().second;
    for (const auto& upcast : parent.upcasts) {
      if (upcast.first == *base) continue;
      entry.upcasts.emplace_back(upcast.first, [toBase, cast = upcast.second](const std::shared_ptr<void>& p) {
        return cast(toBase(p));
      });
    }
  } else {
    chain.emplace_back("NSObject");
  }
  entry.classes = std::move(chain);
  classes_.push_back(std::move(entry));
  const ArchiveClass* stored = &classes_.back();
  byName_.emplace(stored->name, stored);
  byType_.emplace(stored->type, stored);
  return true;
}

bool ArchiveClassRegistry::addInterface(ArchiveClass entry) {
  std::unique_lock lock(mutex_);
  const auto sameType = byType_.find(entry.type);
  if (sameType != byType_.end()) return sameType->second->name.empty();
  classes_.push_back(std::move(entry));
  byType_.emplace(classes_.back().type, &classes_.back());
  return true;
}

const ArchiveClass* ArchiveClassRegistry::classNamed(std::string_view name) const {
  std::shared_lock lock(mutex_);
  const auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

const ArchiveClass* ArchiveClassRegistry::classForType(std::type_index type) const {
  std::shared_lock lock(mutex_);
  const auto it = byType_.find(type);
  return it == byType_.end() ? nullptr : it->second;
}

}  // namespace vozi::platform
