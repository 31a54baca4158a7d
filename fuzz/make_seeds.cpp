// Writes archives the project's own archiver makes, as seeds for the fuzz
// targets: one per record class and group kind, a whole scan result with
// shared items and nested groups, and the exchange records. Each file is
// named "<decoder>-<what>.bplist", <decoder> being the number of the
// decoder in RecordDecoders.h that reads it. fuzz/make_seeds.sh turns them
// into the corpora.
//
//   vozi_fuzz_seeds <output folder>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/ApplicationItem.h"
#include "common/BigFileItem.h"
#include "common/DuplicateItem.h"
#include "common/FileRepresentableGroup.h"
#include "common/FileTypedGroup.h"
#include "common/LanguageItem.h"
#include "common/LanguagesGroup.h"
#include "common/MemoryItem.h"
#include "common/RecordArchive.h"
#include "common/TypedFileItem.h"
#include "common/ZOLMApplicationState.h"
#include "common/ZOLMEvent.h"
#include "common/ZOLMPreferences.h"
#include "common/ZOLMTrackingData.h"
#include "common/ZOLMUserData.h"

using namespace vozi;
using platform::Data;
using platform::Date;
using platform::URL;

namespace {

std::string folder;
int failures = 0;

void write(int decoder, const std::string& what, const platform::Result<Data>& archive) {
  if (!archive) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(), archive.error().localizedDescription().c_str());
    ++failures;
    return;
  }
  std::ofstream out(folder + "/" + std::to_string(decoder) + "-" + what + ".bplist", std::ios::binary);
  out.write(reinterpret_cast<const char*>(archive->data()), static_cast<std::streamsize>(archive->size()));
}

ItemGroupHistoryPtr history(std::uint64_t size) {
  return std::make_shared<ZOLMItemGroupHistory>(size, size * 2, Date(700000000.5));
}

std::shared_ptr<FileItem> file(const std::string& path, std::uint64_t size) {
  return std::make_shared<FileItem>(URL::fileURLWithPath(path), size, Date(600000000.0));
}

// A group of every class, each holding the kind of item it holds in a scan.
std::vector<ItemGroupPtr> everyGroup() {
  std::vector<ItemGroupPtr> groups;
  for (const ItemGroupName name : kAllItemGroupNames) groups.push_back(ItemGroup::group(name));
  groups.push_back(std::make_shared<ItemGroup>("plain", 0, nullptr, std::nullopt, history(1), nullptr));
  groups.push_back(std::make_shared<FileRepresentableGroup>("files", 0, nullptr, std::nullopt, nullptr, history(2)));
  groups.push_back(std::make_shared<FileTypedGroup>("typed", 0, nullptr, std::nullopt, nullptr, nullptr));
  groups.push_back(std::make_shared<LanguagesGroup>("languages", 0, nullptr, std::nullopt, nullptr, nullptr));

  auto shared = file("/Users/u/Library/Caches/shared file", 4096);
  auto big = std::make_shared<BigFileItem>(URL::fileURLWithPath("/Users/u/Movies/big.mov"), std::uint64_t{1} << 63,
                                           std::nullopt, "", 2);
  for (const auto& group : groups) {
    if (group->className() == "MemoryGroup") {
      group->addItem(std::make_shared<MemoryItem>(1024, 8589934592, "memory", "Memory"));
    } else if (group->className() == "DuplicatesGroup") {
      auto set = std::make_shared<DuplicateItem>("set", 0, nullptr, std::nullopt, nullptr, nullptr, Data{1, 2, 3, 4});
      set->addItem(std::make_shared<TypedFileItem>(URL::fileURLWithPath("/Users/u/a.jpg"), 10, std::nullopt, "", 4));
      set->addItem(std::make_shared<TypedFileItem>(URL::fileURLWithPath("/Users/u/b/a.jpg"), 10, std::nullopt, "", 4));
      group->addItem(set);
    } else if (group->className() == "ApplicationsGroup") {
      auto app = std::make_shared<ApplicationItem>("Tool", 0, nullptr, nullptr, nullptr,
                                                   URL::fileURLWithPath("/Applications/Tool.app", true), Date(5.0),
                                                   URL::fileURLWithPath("/Applications/Tool.app/Contents/Resources/t.icns"));
      app->addItem(file("/Users/u/Library/Preferences/tool.plist", 20));
      app->addItem(shared);
      group->addItem(app);
    } else if (group->className().find("Languages") != std::string_view::npos) {
      auto french = std::make_shared<LanguageItem>("fr", 0, nullptr, "fr", nullptr, nullptr);
      french->addItem(file("/Applications/Tool.app/Contents/Resources/fr.lproj", 30));
      group->addItem(french);
    } else {
      group->addItem(file("/Users/u/" + std::string(group->className()) + "/one", 1));
      group->addItem(shared);
      group->addItem(big);
    }
  }
  return groups;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  folder = argv[1];

  // Decoder 0: arrays of groups; the whole set, and each group alone.
  const auto groups = everyGroup();
  write(0, "every-group", RecordArchive::archivedGroups(groups));
  write(0, "no-groups", RecordArchive::archivedGroups({}));
  // Decoders 1 and 2: one record of the item tree as the root.
  for (const auto& group : groups) write(2, std::string(group->className()), RecordArchive::archived(group));
  write(1, "FileItem", RecordArchive::archived(std::static_pointer_cast<IModelItem>(file("/tmp/x y", 3))));
  write(1, "TypedFileItem",
        RecordArchive::archived(std::static_pointer_cast<IModelItem>(std::make_shared<TypedFileItem>(
            URL::fileURLWithPath("/Users/u/doc.pdf"), 7, Date(1.5), "", 3))));
  write(1, "BigFileItem",
        RecordArchive::archived(std::static_pointer_cast<IModelItem>(std::make_shared<BigFileItem>(
            URL::fileURLWithPath("/Users/u/disk.img"), 2000000000, std::nullopt, "", 1))));
  write(1, "MemoryItem", RecordArchive::archived(std::static_pointer_cast<IModelItem>(
                             std::make_shared<MemoryItem>(5, 50, std::nullopt, std::nullopt))));
  // Decoders 3 to 9: a group without a class list, then the other records.
  write(3, "ItemGroup", RecordArchive::archived(groups.front()));
  write(4, "ZOLMItemGroupHistory", RecordArchive::archived(history(42)));
  write(5, "ZOLMPreferences", RecordArchive::archived(ZOLMPreferences()));
  write(6, "ZOLMTrackingData", RecordArchive::archived(ZOLMTrackingData("c", "id", "src", std::nullopt, "kw", "content",
                                                                        "gad", "ref", "dev", std::nullopt, "grp", true)));
  write(7, "ZOLMApplicationState", RecordArchive::archived(ZOLMApplicationState("user-1")));
  write(8, "ZOLMEvent", RecordArchive::archived(ZOLMEvent("clean", "1024", "done", "cleaning")));
  write(9, "ZOLMUserData", RecordArchive::archived(ZOLMUserData("a@example.com")));
  return failures == 0 ? 0 : 1;
}
