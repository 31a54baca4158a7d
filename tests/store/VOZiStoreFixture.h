#pragma once

// Runtime trees for the store tests, a canonical text form to compare trees
// by, and waiting on the store manager's completions.

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "common/ApplicationItem.h"
#include "common/ApplicationsGroup.h"
#include "common/BigFileItem.h"
#include "common/BigFilesGroup.h"
#include "common/DuplicateItem.h"
#include "common/DuplicatesGroup.h"
#include "common/FileItem.h"
#include "common/ItemGroup.h"
#include "common/LanguageItem.h"
#include "common/MemoryGroup.h"
#include "common/MemoryItem.h"
#include "common/ModelItemArray.h"
#include "common/ModelItemDictionary.h"
#include "common/ModelItemOrderedSet.h"
#include "common/TypedFileItem.h"
#include "platform/HostRoot.h"
#include "platform/URL.h"
#include "store/ZOLCoreDataManager.h"
#include "support/LogCapture.h"
#include "support/TempRoot.h"

namespace vozi::storetest {

inline platform::Date date(double seconds) { return platform::Date(seconds); }

// Records name files by host paths: a tree path under the test's root, so
// that nothing a record looks up on disk lies outside it.
inline std::string host(const std::string& treePath) { return platform::HostRoot::resolve(treePath); }

inline std::shared_ptr<FileItem> file(const std::string& path, std::uint64_t size,
                                      std::optional<platform::Date> lastOpen = std::nullopt) {
  return std::make_shared<FileItem>(platform::URL::fileURLWithPath(host(path)), size, lastOpen);
}
inline std::shared_ptr<TypedFileItem> typedFile(const std::string& path, std::uint64_t size, std::uint64_t type,
                                                std::optional<platform::Date> lastOpen = std::nullopt) {
  return std::make_shared<TypedFileItem>(platform::URL::fileURLWithPath(host(path)), size, lastOpen, "", type);
}
inline std::shared_ptr<BigFileItem> bigFile(const std::string& path, std::uint64_t size, std::uint64_t type,
                                            std::optional<platform::Date> lastOpen = std::nullopt) {
  return std::make_shared<BigFileItem>(platform::URL::fileURLWithPath(host(path)), size, lastOpen, "", type);
}

// A 32-byte digest whose bytes all equal `seed`.
inline platform::Data digest(std::uint8_t seed) { return platform::Data(32, seed); }

// A duplicate set over the given files (taken as they are: the files need
// not exist), with the content hash given.
inline std::shared_ptr<DuplicateItem> duplicateSet(std::uint8_t seed, const std::vector<ModelItemPtr>& files) {
  std::uint64_t size = 0;
  for (const auto& f : files) size += f->size();
  auto set = std::make_shared<ModelItemOrderedSet>(files);
  return std::make_shared<DuplicateItem>(std::nullopt, size, set, std::nullopt, nullptr, nullptr, digest(seed));
}

inline std::shared_ptr<ApplicationItem> application(const std::string& path, const std::vector<ModelItemPtr>& leftovers,
                                                    std::optional<std::string> iconPath = std::nullopt) {
  std::uint64_t size = 0;
  for (const auto& f : leftovers) size += f->size();
  std::optional<platform::URL> icon;
  if (iconPath) icon = platform::URL::fileURLWithPath(host(*iconPath));
  return std::make_shared<ApplicationItem>(platform::URL::fileURLWithPath(host(path), true), size,
                                           std::make_shared<ModelItemArray>(leftovers), std::nullopt, nullptr, nullptr,
                                           icon);
}

inline std::shared_ptr<LanguageItem> language(const std::string& name, const std::vector<ModelItemPtr>& files) {
  std::uint64_t size = 0;
  for (const auto& f : files) size += f->size();
  return std::make_shared<LanguageItem>(name, size, std::make_shared<ModelItemArray>(files), name, nullptr, nullptr);
}

// A freshly scanned group of the kind: its items added, its scanning history
// recorded. `variant` changes the paths and sizes, for rescans.
inline ItemGroupPtr scannedGroup(ItemGroupName name, int variant = 0) {
  ItemGroupPtr group = ItemGroup::group(name);
  const std::string v = std::to_string(variant);
  const auto n = static_cast<std::uint64_t>(variant);
  const platform::Date opened = date(700000000.5 + variant);
  switch (name) {
    case ItemGroupName::memory:
      group->addItem(std::make_shared<MemoryItem>(1000 + n, 16000000000ULL, "memory-" + v, "RAM " + v));
      break;
    case ItemGroupName::duplicates:
      group->addItem(duplicateSet(1, {typedFile("/Users/u/Docs/a" + v + ".pdf", 10, 16, opened),
                                      typedFile("/Users/u/Desktop/a" + v + ".pdf", 10, 16)}));
      group->addItem(duplicateSet(2, {typedFile("/Users/u/Music/b.mp3", 30 + n, 1),
                                      typedFile("/Users/u/Music/copy/b.mp3", 30 + n, 1),
                                      typedFile("/Users/u/Music/copy 2/b.mp3", 30 + n, 1)}));
      break;
    case ItemGroupName::applications:
      group->addItem(application("/Applications/Tool " + v + ".app",
                                 {file("/Users/u/Library/Caches/com.tool" + v, 40, opened),
                                  file("/Users/u/Library/Preferences/com.tool.plist", 2)},
                                 "/Applications/Tool " + v + ".app/Contents/Resources/icon.icns"));
      group->addItem(application("/Applications/Other.app", {file("/Users/u/Library/Logs/Other", 7 + n)}));
      break;
    case ItemGroupName::bigFiles:
      group->addItem(bigFile("/Users/u/Movies/film" + v + ".mov", 2000000000, 2, opened));
      group->addItem(bigFile("/Users/u/Downloads/disk.dmg", 600000000 + n, 8));
      break;
    case ItemGroupName::systemLanguages:
    case ItemGroupName::applicationsLanguages:
      group->addItem(language("fr", {file("/Applications/A.app/Contents/Resources/fr.lproj", 100 + n),
                                      file("/Applications/B.app/Contents/Resources/fr.lproj", 50)}));
      group->addItem(language("de" + v, {file("/Applications/A.app/Contents/Resources/de" + v + ".lproj", 70)}));
      break;
    default:
      // The plain file groups.
      group->addItem(file("/" + std::string(rawValue(name)) + "/one " + v + ".log", 123, opened));
      group->addItem(file("/" + std::string(rawValue(name)) + "/two", 456 + n));
      group->addItem(file("/" + std::string(rawValue(name)) + "/dir/three%.txt", 7));
      break;
  }
  group->updateScanningHistory();
  return group;
}

// A canonical text of a record and its subtree: class, the fields the store
// keeps, children sorted. Two trees that store the same have equal texts.
inline std::string canonical(const IModelItem& item, const std::string& indent = "") {
  std::string out = indent + std::string(item.className()) + " name=" + item.name().value_or("-") +
                    " id=" + item.identifier().value_or("-") + " size=" + std::to_string(item.size());
  if (const auto* f = dynamic_cast<const FileItem*>(&item)) {
    out += " path=" + f->path();
    out += " opened=" + (f->lastOpenDate() ? std::to_string(f->lastOpenDate()->timeIntervalSinceReferenceDate()) : "-");
  }
  if (const auto* t = dynamic_cast<const ITypedItem*>(&item)) out += " type=" + std::to_string(t->fileType());
  if (const auto* m = dynamic_cast<const MemoryItem*>(&item)) out += " installed=" + std::to_string(m->installedMemorySize());
  if (const auto* d = dynamic_cast<const DuplicateItem*>(&item)) out += " hash=" + std::to_string(d->storedHash().has_value());
  if (const auto* a = dynamic_cast<const ApplicationItem*>(&item)) {
    out += " app=" + a->path().value_or("-");
    out += " icon=" + (a->iconURL() ? a->iconURL()->path() : std::string("-"));
  }
  if (const auto* g = dynamic_cast<const ItemGroup*>(&item)) {
    out += g->items() ? " container=" + std::to_string(static_cast<int>(g->items()->kind())) : " container=none";
    std::vector<std::string> children;
    g->enumerateObjects([&](const ModelItemPtr& child, const ModelItemKey&, bool&) {
      children.push_back(canonical(*child, indent + "  "));
    });
    std::sort(children.begin(), children.end());
    for (const auto& c : children) out += "\n" + c;
  }
  return out;
}

// Waiting for the manager's completions.
inline void scan(ZOLCoreDataManager& manager, ItemGroupPtr group) {
  std::promise<void> done;
  manager.updateAfterScanning(std::move(group), [&] { done.set_value(); });
  done.get_future().wait();
}
inline void clean(ZOLCoreDataManager& manager, ItemGroupPtr group) {
  std::promise<void> done;
  manager.updateAfterCleaning(std::move(group), [&] { done.set_value(); });
  done.get_future().wait();
}
inline std::vector<ItemGroupPtr> loadOrCreate(ZOLCoreDataManager& manager, std::vector<ItemGroupName> names) {
  std::promise<std::vector<ItemGroupPtr>> done;
  manager.loadOrCreateItemGroups(std::move(names), [&](std::vector<ItemGroupPtr> groups) {
    done.set_value(std::move(groups));
  });
  return done.get_future().get();
}
inline ItemGroupPtr load(ZOLCoreDataManager& manager, ItemGroupName name) {
  auto groups = loadOrCreate(manager, {name});
  return groups.empty() ? nullptr : groups.front();
}

// The runtime group of a kind holding some of the items of a scanned group
// (the cleaned ones), with its cleaning history recorded.
inline ItemGroupPtr cleanedGroup(ItemGroupName name, const std::vector<ModelItemPtr>& items) {
  ItemGroupPtr group = ItemGroup::group(name);
  for (const auto& item : items) group->addItem(item);
  group->updateCleaningHistory();
  return group;
}

// A test on a "VOZi" store under its own temporary root, with the log
// captured. The manager is opened on first use; reopen() makes a new one on
// the same file, as after a restart.
class StoreManagerTest : public ::testing::Test {
 protected:
  void TearDown() override { manager.reset(); }
  ZOLCoreDataManager& store() {
    if (!manager) manager = std::make_unique<ZOLCoreDataManager>();
    return *manager;
  }
  ZOLCoreDataManager& reopen() {
    manager.reset();
    return store();
  }

  test::TempRoot root;
  test::LogCapture log;
  std::unique_ptr<ZOLCoreDataManager> manager;
};

}  // namespace vozi::storetest
