#include <gtest/gtest.h>

#include <set>

#include "cleaners/BigFilesGroupSanitizer.h"
#include "cleaners/Cleaners.h"
#include "cleaners/DuplicatesSanitizer.h"
#include "cleaners/LanguagesSanitizer.h"
#include "cleaners/MemorySanitizer.h"
#include "cleaners/ShredderGroupSanitizer.h"
#include "cleaners/TrashBinGroupSanitizer.h"
#include "cleaners/MailAttachmentGroupSanitizer.h"
#include "cleaners/MailAttachmentScanner.h"
#include "common/BigFileItem.h"
#include "common/BigFilesGroup.h"
#include "common/MailAttachmentsGroup.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"
#include "support/LogCapture.h"

namespace vozi {
namespace {

// What bob's Mail folders hold, and which scan finds each file: the
// operation looks for "attachments" anywhere below "Mail" in the path, the
// scanner for a folder of that name; the operation walks "Mail Downloads"
// below "Mail" as part of "Mail", the scanner as a downloads folder.
struct MailCase {
  std::string path;  // below the Library
  bool byOperation;
  bool byScanner;
};

const std::vector<MailCase>& mailCases() {
  static const std::vector<MailCase> cases = {
      {"Mail/V8/box/Attachments/1/photo.jpg", true, true},
      {"Mail/V8/box/attachments/2/notes.txt", true, true},
      {"Mail/V8/box/Attachments/2/MSG.EMLX", true, true},
      {"Mail/V8/box/Attachments/2/msg.emlx", false, false},
      {"Mail/V8/box/Attachments/2/info.plist", false, false},
      {"Mail/V8/box/Messages/1.emlx", false, false},
      {"Mail/V8/box/Messages/letter.pdf", false, false},
      {"Mail/V8/box/myattachments.pdf", true, false},
      {"Mail/Mail Downloads/y.txt", false, true},
      {"Mail Downloads/anything.emlx", true, true},
      {"Mail Downloads/sub/deeper.zip", true, true},
      {"Containers/com.apple.mail/Data/Library/Mail Downloads/x.zip", true, true},
      {"Mailbox/attachments/other.txt", false, false},
  };
  return cases;
}

class MailTest : public ::testing::Test, public test::ScanFixture {
 protected:
  // A user whose very name holds the word sought: only what lies below
  // "Mail" may be judged by it.
  const std::string user = "attachments";
  std::string library() const { return tree.host(test::MacTree::libraryOf(user)); }

  MailTest() { tree.addUser(user); }

  void layOut(bool withMailFolder = true) {
    for (const auto& mailCase : mailCases()) {
      if (!withMailFolder && mailCase.path.starts_with("Mail/")) continue;
      tree.addFile(test::MacTree::libraryOf(user) + "/" + mailCase.path, 100 + mailCase.path.size());
    }
  }
  std::set<std::string> expected(bool MailCase::*by, bool withMailFolder = true) const {
    std::set<std::string> paths;
    for (const auto& mailCase : mailCases()) {
      if (!withMailFolder && mailCase.path.starts_with("Mail/")) continue;
      if (mailCase.*by) paths.insert(mailCase.path);
    }
    return paths;
  }
  // The group's files below the Library; the sizes add up to the group's.
  std::set<std::string> found(const ItemGroup& group) const {
    std::set<std::string> paths;
    std::uint64_t total = 0;
    group.enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      const auto* file = dynamic_cast<const FileItem*>(item.get());
      EXPECT_TRUE(file);
      if (!file) return;
      const std::string below = file->path().substr(library().size() + 1);
      EXPECT_EQ(file->size(), 100 + below.size()) << below;
      total += file->size();
      paths.insert(below);
    });
    EXPECT_EQ(group.size(), total);
    return paths;
  }
  std::shared_ptr<MailAttachmentsGroup> scanWithOperation(std::shared_ptr<IUserAgentLink> link) {
    auto group = std::static_pointer_cast<MailAttachmentsGroup>(ItemGroup::group(ItemGroupName::mailAttachments));
    group->setFileItemTypes(31);
    run(std::make_shared<MailAttachmentsScanningOperation>(group, nullptr, nullptr, std::move(link)));
    return group;
  }
};

TEST_F(MailTest, TheOperationFindsWhatLiesInTheMailFoldersByItsRules) {
  layOut();
  auto link = std::make_shared<test::FakeUserAgentLink>("", library());
  EXPECT_EQ(found(*scanWithOperation(link)), expected(&MailCase::byOperation));
  EXPECT_EQ(link->libraryAsks, 1);
}

TEST_F(MailTest, WithoutAMailFolderEveryDownloadIsOffered) {
  layOut(false);
  EXPECT_EQ(found(*scanWithOperation(std::make_shared<test::FakeUserAgentLink>("", library()))),
            expected(&MailCase::byOperation, false));
  EXPECT_EQ(found(*MailAttachmentScanner(library()).scan()), expected(&MailCase::byScanner, false));
}

TEST_F(MailTest, WithoutAnAgentNothingIsScannedAndTwoLinesSaySo) {
  layOut();
  test::LogCapture log;
  EXPECT_EQ(scanWithOperation(nullptr)->count(), 0u);
  EXPECT_EQ(log.count("Couldn\\'t get libraryDirectory from user agent"), 2u);
}

TEST_F(MailTest, TheScannerFindsAttachmentFoldersAndEveryDownload) {
  layOut();
  const auto group = MailAttachmentScanner(library()).scan();
  EXPECT_EQ(group->name(), std::optional<std::string>("MailAttachments"));
  EXPECT_EQ(found(*group), expected(&MailCase::byScanner));
  // No Library at all: an empty group.
  EXPECT_EQ(MailAttachmentScanner(tree.host("/Users/nobody/Library")).scan()->count(), 0u);
}

TEST(MailAttachmentScannerTest, OnlyADiskKnownNotToSpinGetsThirtyTwoWorkers) {
  using Rotation = platform::DiskKind::Rotation;
  EXPECT_EQ(MailAttachmentScanner::workerCount(Rotation::rotating), 1);
  EXPECT_EQ(MailAttachmentScanner::workerCount(Rotation::solid), 32);
  EXPECT_EQ(MailAttachmentScanner::workerCount(Rotation::unknown), 1);
  EXPECT_EQ(platform::DiskKind::rotation("/no/such/path"), Rotation::unknown);
}

// --- Big files ----------------------------------------------------------------

class BigFilesScanTest : public ::testing::Test, public test::ScanFixture {};

TEST_F(BigFilesScanTest, WalksOnlyTheNamedFoldersInsideTheSessionUsersHome) {
  tree.addUser("eve")
      .addSparseFile("/Users/bob/Movies/film.mov", 60'000'000)
      .addSparseFile("/Users/bob/Movies/small.mov", 1'000)
      .addSparseFile("/Users/eve/Movies/hers.mov", 60'000'000)
      .addSparseFile("/Library/big.zip", 60'000'000);
  auto group = std::static_pointer_cast<BigFilesGroup>(ItemGroup::group(ItemGroupName::bigFiles));
  group->setFileItemTypes(31);
  group->setMinFileSizeToScan(52'428'800);
  group->setScanningURLs(std::vector<platform::URL>{platform::URL::fileURLWithPath(tree.host("/Users/bob/Movies"), true),
                                                    platform::URL::fileURLWithPath(tree.host("/Users/eve"), true),
                                                    platform::URL::fileURLWithPath(tree.host("/Library"), true)});
  auto link = std::make_shared<test::FakeUserAgentLink>("", tree.host("/Users/bob/Library"));
  test::LogCapture log;
  auto operation = std::make_shared<BigFilesScanningOperation>(group, nullptr, nullptr, link);
  EXPECT_EQ(operation->scanningRoots(), std::vector<std::string>{tree.host("/Users/bob/Movies")});
  EXPECT_EQ(log.count("Not searched for big files, outside "), 2u);
  run(operation);
  std::set<std::string> paths;
  group->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    const auto* file = dynamic_cast<const BigFileItem*>(item.get());
    ASSERT_TRUE(file);
    paths.insert(file->path());
  });
  EXPECT_EQ(paths, std::set<std::string>{tree.host("/Users/bob/Movies/film.mov")});

  // With no agent, any home is allowed, nothing outside them.
  auto anyHome = std::make_shared<BigFilesScanningOperation>(group, nullptr, nullptr, nullptr);
  EXPECT_EQ(anyHome->scanningRoots(),
            (std::vector<std::string>{tree.host("/Users/bob/Movies"), tree.host("/Users/eve")}));

  // A clean deletes within the named folders or, for a stored result that
  // names none, within the home.
  EXPECT_EQ(BigFilesGroupSanitizer(group, SanitizerEnvironment{queue, link, nullptr}).scanRoots(),
            std::vector<std::string>{tree.host("/Users/bob/Movies")});
  auto stored = std::static_pointer_cast<BigFilesGroup>(ItemGroup::group(ItemGroupName::bigFiles));
  EXPECT_EQ(BigFilesGroupSanitizer(stored, SanitizerEnvironment{queue, link, nullptr}).scanRoots(),
            std::vector<std::string>{tree.host("/Users/bob")});
}

// --- The processor's choice ------------------------------------------------------

class CleanersChoiceTest : public ::testing::Test, public test::ScanFixture {};

// Each group of the cleaning modules gets its sanitizer, and a clean of it
// may delete only within the folders its scan walks.
TEST_F(CleanersChoiceTest, EveryGroupOfTheModulesGetsItsSanitizerAndItsFolders) {
  SanitizerChoice choice;
  registerCleaners(choice);
  const std::string library = tree.host("/Users/bob/Library");
  const SanitizerEnvironment environment{queue, std::make_shared<test::FakeUserAgentLink>("", library), nullptr};
  struct Case {
    ItemGroupName name;
    const std::type_info* sanitizer;
    std::vector<std::string> roots;
  };
  const std::vector<Case> cases = {
      {ItemGroupName::memory, &typeid(RAMMemorySanitizer), {}},
      {ItemGroupName::duplicates, &typeid(DuplicatesSanitizer), {tree.host("/Users/bob")}},
      {ItemGroupName::shredder, &typeid(ShredderGroupSanitizer), {}},
      {ItemGroupName::systemLanguages, &typeid(LanguagesSanitizer<>), {library}},
      {ItemGroupName::applicationsLanguages, &typeid(LanguagesSanitizer<>), {tree.host("/Applications")}},
      {ItemGroupName::bigFiles, &typeid(BigFilesGroupSanitizer), {tree.host("/Users/bob")}},
      {ItemGroupName::mailAttachments,
       &typeid(MailAttachmentGroupSanitizer),
       {library + "/Mail", library + "/Mail Downloads",
        library + "/Containers/com.apple.mail/Data/Library/Mail Downloads"}},
  };
  for (const Case& c : cases) {
    const auto group = ItemGroup::group(c.name);
    SCOPED_TRACE(group->description());
    const auto sanitizer = choice.sanitizer(group, environment);
    ASSERT_TRUE(sanitizer);
    EXPECT_EQ(typeid(*sanitizer), *c.sanitizer);
    EXPECT_EQ(sanitizer->scanRoots(), c.roots);
  }
}

}  // namespace
}  // namespace vozi
