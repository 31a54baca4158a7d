#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "cleaners/Language.h"
#include "cleaners/LanguageSanitizers.h"
#include "cleaners/LanguagesSanitizer.h"
#include "common/ApplicationsLanguagesGroup.h"
#include "common/SystemLanguagesGroup.h"
#include "sanitizers/FakeUserAgentLink.h"
#include "sanitizers/ScanFixture.h"
#include "support/LogCapture.h"
#include "support/ScopedProcessUser.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;

// --- The language table --------------------------------------------------

TEST(LanguageTest, TheTableHas111RowsUniqueBothWays) {
  const auto& rows = Language::languageNamesTable();
  EXPECT_EQ(rows.size(), 111u);
  std::set<std::string_view> codes, names;
  for (const auto& [code, name] : rows) {
    codes.insert(code);
    names.insert(name);
    EXPECT_EQ(code.size(), 2u) << code;
  }
  EXPECT_EQ(codes.size(), 111u);
  EXPECT_EQ(names.size(), 111u);
  EXPECT_EQ(Language::nameOfCode("bg"), "Bulgarian");
  EXPECT_EQ(Language::systemIntegrityImportantLanguageNames(), (std::unordered_set<std::string>{"en"}));
}

TEST(LanguageTest, FolderNamesGiveTheirLanguage) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"fr.lproj", "French"},        {"fr_CA.lproj", "French"},   {"FR.lproj", "French"},
      {"French.lproj", "French"},    {"English.lproj", "English"}, {"en.lproj", "English"},
      {"en_GB.lproj", "English"},    {"zh_CN.lproj", "Chinese"},  {"zh-Hans.lproj", "Chinese"},
      {"pt-BR.lproj", "Portugal"},   {"Japanese.lproj", "Japanese"}, {"ja.lproj", "Japanese"},
      {"jp.lproj", "Japan"},         {"Japan.lproj", "Japan"},    {"fil.lproj", "Finnish"},
      {"Base.lproj", std::nullopt},  {"no.lproj", std::nullopt},  {"yue.lproj", std::nullopt},
      {"", std::nullopt},            {"x", std::nullopt},         {".lproj", std::nullopt},
      {"x.lproj", std::nullopt},     {"de", "German"},
  };
  for (const auto& [folder, name] : cases) EXPECT_EQ(Language::getLangName(folder), name) << folder;
}

TEST(LanguageTest, ARecordIsOneLanguagePerCode) {
  const Language fromCode("fr");
  const Language fromName("French");
  EXPECT_EQ(fromCode.name, "fr");
  EXPECT_EQ(fromCode.fullName, "French");
  EXPECT_EQ(fromName.name, "fr");
  EXPECT_EQ(fromName.fullName, "French");
  EXPECT_EQ(fromCode, fromName);
  EXPECT_EQ(std::hash<Language>{}(fromCode), std::hash<Language>{}(fromName));
  EXPECT_EQ(Language("English").name, "en");

  const Language klingon("Klingon");
  EXPECT_EQ(klingon.name, "");
  EXPECT_EQ(klingon.fullName, "Klingon");
  EXPECT_EQ(klingon, Language("Elvish"));
  EXPECT_FALSE(fromCode == Language("de"));

  EXPECT_EQ(fromCode.debugDescription(), "Name = French, Size = 0, Files = 0");
  const auto dictionary = fromCode.asDictionary();
  EXPECT_EQ(dictionary.size(), 2u);
  EXPECT_EQ(*dictionary.at("sectionName").asString(), "French");
  EXPECT_EQ(dictionary.at("sectionSize").asUInt64(), 0u);
}

class LanguagePurgeTest : public ::testing::Test, public test::ScanFixture {};

TEST_F(LanguagePurgeTest, DeletesItsFoldersWithoutFollowingLinksAndCountsWhatWent) {
  tree.addFile("/Applications/A.app/Contents/Resources/fr.lproj/a.strings", 10)
      .addFile("/Applications/A.app/Contents/Resources/fr.lproj/b.strings", 5)
      .addFile("/Users/bob/keep/precious", 7)
      .addSymlink("/Applications/A.app/Contents/Resources/fr.lproj/link", tree.host("/Users/bob/keep"));
  Language french("fr");
  french.urls = {platform::URL::fileURLWithPath(tree.host("/Applications/A.app/Contents/Resources/fr.lproj"), true),
                 platform::URL::fileURLWithPath(tree.host("/Applications/B.app/Contents/Resources/fr.lproj"), true)};
  test::LogCapture log;
  EXPECT_EQ(french.purge(), 15u);
  EXPECT_FALSE(fs::exists(tree.host("/Applications/A.app/Contents/Resources/fr.lproj")));
  EXPECT_TRUE(fs::exists(tree.host("/Users/bob/keep/precious")));
  // The missing folder is logged and not counted; the record is unchanged.
  std::size_t errors = 0;
  for (const auto& message : log.messages()) errors += message.starts_with("Error delete file: ") ? 1 : 0;
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(french.urls.size(), 2u);
  EXPECT_EQ(french.purge(), 0u);
}

// --- The localisations scan ------------------------------------------------

class LanguagesScanTest : public ::testing::Test, public test::ScanFixture {
 protected:
  std::shared_ptr<test::FakeUserAgentLink> link =
      std::make_shared<test::FakeUserAgentLink>("", tree.host("/Users/bob/Library"));

  template <typename Group>
  std::shared_ptr<Group> scan(ItemGroupName name, std::shared_ptr<IUserAgentLink> agent, bool withProgress = false) {
    auto group = std::static_pointer_cast<Group>(ItemGroup::group(name));
    std::uint64_t total = 0;
    std::uint64_t reported = 0;
    typename LanguagesScanningOperation<Group>::ProgressHandler progress;
    if (withProgress) {
      progress = [&](std::uint64_t done, std::uint64_t duration) {
        reported += done;
        total = duration;
      };
    }
    run(std::make_shared<LanguagesScanningOperation<Group>>(group, nullptr, progress, std::move(agent)));
    if (withProgress) {
      EXPECT_EQ(reported, total);
    }
    return group;
  }

  // Code -> (folder below the root -> size), and the sizes add up.
  static std::map<std::string, std::map<std::string, std::uint64_t>> languages(const ItemGroup& group,
                                                                               const std::string& root) {
    std::map<std::string, std::map<std::string, std::uint64_t>> found;
    std::uint64_t groupTotal = 0;
    group.enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey& key, bool&) {
      const auto* language = dynamic_cast<const LanguageItem*>(item.get());
      EXPECT_TRUE(language);
      if (!language) return;
      EXPECT_EQ(std::get<std::string>(key), language->name().value_or(""));
      std::uint64_t itemTotal = 0;
      language->enumerateObjects([&](const ModelItemPtr& child, const ModelItemKey&, bool&) {
        const auto* file = dynamic_cast<const FileItem*>(child.get());
        EXPECT_TRUE(file);
        if (!file) return;
        found[*language->name()][file->path().substr(root.size() + 1)] = file->size();
        itemTotal += file->size();
      });
      EXPECT_EQ(language->size(), itemTotal) << *language->name();
      groupTotal += language->size();
    });
    EXPECT_EQ(group.size(), groupTotal);
    return found;
  }
};

TEST_F(LanguagesScanTest, FilesEachLocalisationUnderItsCodeAndNeverEnglish) {
  const std::string library = "/Users/bob/Library";
  for (const std::string folder : {"en", "en_GB", "English", "Base", "no", "yue", "fil", "pt_BR", "pt_PT", "ja",
                                   "Japanese", "jp", "x", ""}) {
    tree.addFile(library + "/Stuff/" + folder + ".lproj/strings", 10);
  }
  tree.addFile(library + "/Other/fr.lproj/a", 3).addFile(library + "/Other/fr.lproj/sub/b", 4);
  tree.addFile(library + "/More/fr.lproj/c", 5);
  // Inside an offered folder nothing is offered again.
  tree.addFile(library + "/More/fr.lproj/de.lproj/d", 6);
  const auto found = languages(*scan<SystemLanguagesGroup>(ItemGroupName::systemLanguages, link, true),
                               tree.host(library));
  EXPECT_EQ(found, (std::map<std::string, std::map<std::string, std::uint64_t>>{
                       {"fi", {{"Stuff/fil.lproj", 10}}},
                       {"pt", {{"Stuff/pt_BR.lproj", 10}, {"Stuff/pt_PT.lproj", 10}}},
                       {"ja", {{"Stuff/ja.lproj", 10}, {"Stuff/Japanese.lproj", 10}}},
                       {"jp", {{"Stuff/jp.lproj", 10}}},
                       {"fr", {{"Other/fr.lproj", 7}, {"More/fr.lproj", 11}}},
                   }));
  EXPECT_EQ(link->libraryAsks, 1);
}

TEST_F(LanguagesScanTest, TheApplicationsGroupSkipsSystemAndMicrosoftBundles) {
  for (const auto& [name, identifier] : std::vector<std::pair<std::string, std::string>>{
           {"Editor", "com.example.editor"}, {"Word", "com.MicroSoft.x"}, {"Safari", "com.apple.Safari"}}) {
    test::ApplicationBundle bundle;
    bundle.name = name;
    bundle.bundleIdentifier = identifier;
    bundle.languages = {"en", "Base", "fr"};
    tree.addApplication(bundle);
  }
  // No readable identifier: walked like any folder.
  test::ApplicationBundle anonymous;
  anonymous.name = "Anonymous";
  anonymous.writeInfoPlist = false;
  anonymous.languages = {"de"};
  tree.addApplication(anonymous);

  const auto found = languages(*scan<ApplicationsLanguagesGroup>(ItemGroupName::applicationsLanguages, nullptr, true),
                               tree.host("/Applications"));
  std::map<std::string, std::set<std::string>> folders;
  for (const auto& [code, files] : found) {
    for (const auto& [folder, size] : files) folders[code].insert(folder);
  }
  EXPECT_EQ(folders, (std::map<std::string, std::set<std::string>>{
                         {"fr", {"Editor.app/Contents/Resources/fr.lproj"}},
                         {"de", {"Anonymous.app/Contents/Resources/de.lproj"}},
                     }));
}

TEST_F(LanguagesScanTest, WithoutAnAgentTheSystemGroupIsEmptyAndOtherGroupsWalkNothing) {
  tree.addFile("/Users/bob/Library/fr.lproj/a", 3);
  test::LogCapture log;
  const auto group = scan<SystemLanguagesGroup>(ItemGroupName::systemLanguages, nullptr);
  EXPECT_EQ(group->count(), 0u);
  EXPECT_EQ(log.count("Couldn\\'t get libraryDirectory from user agent"), 1u);

  auto plain = std::make_shared<LanguagesGroup>("languages", 0, nullptr, "languages", nullptr, nullptr);
  auto operation = std::make_shared<LanguagesScanningOperation<LanguagesGroup>>(plain, nullptr, nullptr, link);
  EXPECT_TRUE(operation->scanningRoots().empty());
}

TEST_F(LanguagesScanTest, ACancelledScanHandsBackNothing) {
  tree.addFile("/Users/bob/Library/fr.lproj/a", 3);
  auto group = std::static_pointer_cast<SystemLanguagesGroup>(ItemGroup::group(ItemGroupName::systemLanguages));
  std::optional<bool> cancelled;
  ItemGroupPtr handed;
  auto operation = std::make_shared<LanguagesScanningOperation<SystemLanguagesGroup>>(
      group,
      [&](const std::shared_ptr<SystemLanguagesGroup>& result, bool wasCancelled) {
        handed = result;
        cancelled = wasCancelled;
      },
      nullptr, link);
  operation->cancel();
  operation->main();
  EXPECT_EQ(cancelled, true);
  EXPECT_EQ(handed, nullptr);
}

// --- The synchronous localisation sanitizers ----------------------------------

class OlderLanguagesTest : public ::testing::Test, public test::ScanFixture {
 protected:
  platform::DispatchWorkItem work;
  static std::map<std::string, std::vector<std::string>> byCode(const std::vector<std::shared_ptr<Language>>& found) {
    std::map<std::string, std::vector<std::string>> codes;
    for (const auto& language : found) {
      for (const auto& url : language->urls) codes[language->name].push_back(url.path());
      std::sort(codes[language->name].begin(), codes[language->name].end());
    }
    return codes;
  }
};

TEST_F(OlderLanguagesTest, TheSystemsFoldersAreFiledByCodeKeepingEnglishAndWhatTheCallerKeeps) {
  const std::string library = "/Users/bob/Library/Stuff/";
  for (const char* folder : {"en", "English", "en_GB", "Base", "fr", "de"}) {
    tree.addFile(library + folder + ".lproj/a", 10);
  }
  tree.addFile("/Library/Other/French.lproj/b", 5).addFile("/System/Library/X/ja.lproj/c", 7);
  test::ScopedProcessUser asBob("bob");
  SystemLangsSanitizer sanitizer("bob");
  EXPECT_EQ(sanitizer.dirs(), (std::vector<std::string>{tree.host("/Library"), tree.host("/System/Library"),
                                                        tree.host("/Users/bob/Library")}));
  test::LogCapture log;
  const auto [bytes, found] = sanitizer.langs(work, {"de"});
  EXPECT_EQ(log.count("Excluded language: en"), 3u);
  EXPECT_EQ(bytes, 10u + 5u + 7u);
  EXPECT_EQ(byCode(found), (std::map<std::string, std::vector<std::string>>{
                               {"fr", {tree.host("/Library/Other/French.lproj"), tree.host(library + "fr.lproj")}},
                               {"ja", {tree.host("/System/Library/X/ja.lproj")}}}));
  // A second walk starts afresh; a name is no code to keep.
  const auto again = sanitizer.langs(work, {"German"});
  EXPECT_EQ(again.first, 10u + 5u + 7u + 10u);
  EXPECT_EQ(again.second.size(), 3u);
}

TEST_F(OlderLanguagesTest, ApplicationsOfTheSystemAreNotLookedInto) {
  for (const auto& [name, identifier] : std::vector<std::pair<std::string, std::string>>{
           {"Editor", "com.example.editor"}, {"Word", "com.MicroSoft.x"}, {"Safari", "com.apple.Safari"}}) {
    test::ApplicationBundle bundle;
    bundle.name = name;
    bundle.bundleIdentifier = identifier;
    bundle.languages = {"en", "fr"};
    tree.addApplication(bundle);
  }
  AppsLangsSanitizer sanitizer("bob");
  const auto found = sanitizer.langs(work, {}).second;
  EXPECT_EQ(byCode(found), (std::map<std::string, std::vector<std::string>>{
                               {"fr", {tree.host("/Applications/Editor.app/Contents/Resources/fr.lproj")}}}));
  EXPECT_TRUE(sanitizer.filterSystemApplication(tree.host("/Applications/Safari.app/Contents")));
  EXPECT_FALSE(sanitizer.filterSystemApplication(tree.host("/Applications/Editor.app")));
  EXPECT_FALSE(sanitizer.filterSystemApplication(tree.host("/Applications/loose.txt")));
}

TEST_F(OlderLanguagesTest, APurgeDeletesTheChosenLanguagesInsideItsFoldersOnly) {
  tree.addFile("/Users/bob/Library/A/fr.lproj/a", 10)
      .addFile("/Users/bob/Library/A/en.lproj/a", 10)
      .addFile("/Users/bob/Elsewhere/fr.lproj/x", 3);
  test::ScopedProcessUser asBob("bob");
  SystemLangsSanitizer sanitizer("bob");
  const auto found = sanitizer.langs(work, {}).second;
  ASSERT_EQ(found.size(), 1u);
  // A kept result naming a folder outside, and English.
  Language french = *found.front();
  french.urls.push_back(platform::URL::fileURLWithPath(tree.host("/Users/bob/Elsewhere/fr.lproj"), true));
  Language english("en");
  english.urls.push_back(platform::URL::fileURLWithPath(tree.host("/Users/bob/Library/A/en.lproj"), true));
  test::LogCapture log;
  platform::DispatchWorkItem cancelled;
  cancelled.cancel();
  EXPECT_EQ(sanitizer.purge({{"French", 1}}, {french, english}, cancelled).first, 0u);
  const auto [bytes, removed] = sanitizer.purge({{"French", 1}, {"English", 1}}, {french, english}, work);
  EXPECT_EQ(bytes, 10u);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(log.count("Language English not found"), 1u);
  EXPECT_FALSE(fs::exists(tree.host("/Users/bob/Library/A/fr.lproj")));
  EXPECT_TRUE(fs::exists(tree.host("/Users/bob/Library/A/en.lproj/a")));
  EXPECT_TRUE(fs::exists(tree.host("/Users/bob/Elsewhere/fr.lproj/x")));
  // By details: the walk's languages, never English.
  tree.addFile("/Users/bob/Library/A/de.lproj/a", 4);
  sanitizer.langs(work, {});
  EXPECT_EQ(sanitizer.purge(Sanitizer::Sizes{{"German", 1}, {"English", 1}}), 4u);
  EXPECT_TRUE(fs::exists(tree.host("/Users/bob/Library/A/en.lproj/a")));
}

}  // namespace
}  // namespace vozi
