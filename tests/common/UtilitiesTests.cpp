#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/ByteCountFormatterExtensions.h"
#include "common/CollectionExtensions.h"
#include "common/DataExtensions.h"
#include "common/MacroConstantsProvider.h"
#include "common/URLExtensions.h"
#include "common/Utilities.h"
#include "common/VfsPurge.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using ::testing::ElementsAre;
using platform::Date;

enum class Colour { red, green, blue };
constexpr std::size_t enumCaseCount(Colour) { return 3; }

enum class Single { only };
constexpr std::size_t enumCaseCount(Single) { return 1; }

TEST(URLExtensionsTest, CaseInsensitiveContainsMatchesThePathAsWritten) {
  const struct {
    const char* path;
    std::vector<std::string> fragments;
    bool expected;
  } cases[] = {
      {"/Users/me/repo/.git/config", {".GIT"}, true},
      {"/Users/me/My Documents/a.txt", {"my documents"}, true},  // a blank matches a blank
      {"/Users/me/a%20b", {"a b"}, false},                       // no decoding of what the name holds
      {"/Users/me/Photos/x.jpg", {"file"}, false},              // no scheme to match through
      {"/Users/me/Photos/x.jpg", {}, false},
      {"/Users/me/Photos/x.jpg", {""}, false},
      {"/Users/me/Photos/x.jpg", {"nothing", "PHOTOS"}, true},
      {"/Users/me/\xC3\x89t\xC3\xA9/x", {"\xC3\xA9T\xC3\x89"}, true},  // Été vs éTÉ
      {"/Users/me/\xFF/node_modules/x", {"NODE_MODULES"}, true},       // invalid bytes kept
      {"/Users/me/\xE2\x84\xAAit/x", {"kit"}, true},                  // KELVIN SIGN lowercases to k
      {"/Users/me/Docs", {"DOCSX"}, false},                            // a fragment longer than the rest
      {"/a/div.ez.iru/b", {"DIV.EZ.IRU"}, true},
      {"/d/dIv/DIV.EZ.IRU/y", {"div.ez.iru"}, true},                  // after near misses in both cases
      {"/a/div.ez.ir", {"div.ez.iru"}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(URLExtensions::caseInsensitiveContains(c.path, c.fragments), c.expected) << c.path;
}

TEST(URLExtensionsTest, LastAccessDateFromResourceValues) {
  const Date access(300), added(200), created(100), later(400);
  using Dates = URLExtensions::ResourceDates;
  const struct {
    std::optional<Dates> values;
    std::optional<Date> expected;
  } cases[] = {
      {std::nullopt, std::nullopt},
      {Dates{}, std::nullopt},
      {Dates{std::nullopt, std::nullopt, created}, created},
      {Dates{std::nullopt, added, std::nullopt}, added},
      {Dates{std::nullopt, added, created}, added},
      {Dates{std::nullopt, added, later}, later},
      {Dates{std::nullopt, created, created}, created},
      {Dates{access, added, later}, access},
  };
  for (const auto& c : cases) EXPECT_EQ(URLExtensions::lastAccessDate(c.values), c.expected);
}

TEST(URLExtensionsTest, LastAccessDateFromMetadata) {
  const Date used(500), added(200), modified(100), later(400);
  using D = platform::Value::Dictionary;
  const struct {
    D attributes;
    std::optional<Date> expected;
  } cases[] = {
      {D{}, std::nullopt},
      {D{{URLExtensions::kLastUsedDate, used}, {URLExtensions::kDateAdded, added}}, used},
      {D{{URLExtensions::kDateAdded, added}, {URLExtensions::kContentModificationDate, modified}}, added},
      {D{{URLExtensions::kDateAdded, added}, {URLExtensions::kContentModificationDate, later}}, later},
      {D{{URLExtensions::kDateAdded, added}, {URLExtensions::kContentModificationDate, added}}, added},
      {D{{URLExtensions::kContentModificationDate, modified}}, modified},
      {D{{URLExtensions::kDateAdded, "not a date"}}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(URLExtensions::lastAccessDateFromMetadata(c.attributes), c.expected);
}

TEST(URLExtensionsTest, FileDatesComeFromTheFileAndTheIndexHasNone) {
  test::TempRoot root;
  const std::string path = root.writeFile("/f.txt", "x");
  const auto dates = URLExtensions::resourceDates(path);
  ASSERT_TRUE(dates.has_value());
  ASSERT_TRUE(dates->contentAccessDate.has_value());
  EXPECT_LT(std::abs(dates->contentAccessDate->timeIntervalSinceNow()), 3600);
  EXPECT_FALSE(dates->addedToDirectoryDate.has_value());
  EXPECT_EQ(URLExtensions::lastAccessDate(dates), dates->contentAccessDate);
  EXPECT_FALSE(URLExtensions::resourceDates(root / "/missing").has_value());
  EXPECT_EQ(URLExtensions::lastAccessDateFromIndex(path), std::nullopt);
}

TEST(DataExtensionsTest, DigestAndHex) {
  EXPECT_EQ(DataExtensions::com_zol_hexEncodedString({0x00, 0x0F, 0xFF}), "000fff");
  EXPECT_EQ(DataExtensions::com_zol_hexEncodedString({}), "");
  const platform::Data abc{'a', 'b', 'c'};
  const platform::Data digest = DataExtensions::sha256(abc);
  ASSERT_EQ(digest.size(), 32u);
  EXPECT_EQ(DataExtensions::com_zol_hexEncodedString(digest),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(DataExtensions::com_zol_sha256_hash(abc), digest);
  EXPECT_EQ(DataExtensions::com_zol_hexEncodedString(DataExtensions::sha256({})),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(CollectionExtensionsTest, RemoveElementTakesOnlyTheFirstEqual) {
  std::vector<std::string> list{"a", "b", "a"};
  EXPECT_EQ(removeElement(list, std::string("a")), "a");
  EXPECT_THAT(list, ElementsAre("b", "a"));
  EXPECT_EQ(removeElement(list, std::string("z")), std::nullopt);
  EXPECT_THAT(list, ElementsAre("b", "a"));
}

TEST(CollectionExtensionsTest, MergeOverwritesAndAdds) {
  std::map<std::string, std::uint64_t> sizes{{"a", 1}, {"b", 2}};
  merge(sizes, std::map<std::string, std::uint64_t>{{"b", 20}, {"c", 30}});
  EXPECT_EQ(sizes, (std::map<std::string, std::uint64_t>{{"a", 1}, {"b", 20}, {"c", 30}}));
}

TEST(UtilitiesTest, IterateEnumYieldsEveryCaseInOrder) {
  std::vector<Colour> colours;
  for (Colour c : Utilities::iterateEnum<Colour>()) colours.push_back(c);
  EXPECT_THAT(colours, ElementsAre(Colour::red, Colour::green, Colour::blue));
  std::vector<Single> singles(Utilities::iterateEnum<Single>().begin(), Utilities::iterateEnum<Single>().end());
  EXPECT_THAT(singles, ElementsAre(Single::only));
}

TEST(SmallUtilitiesTest, VersionAndSharedByteCountFormatter) {
  EXPECT_EQ(MacroConstantsProvider::zolVersionString(), "1.0.99");
  const auto& formatter = ByteCountFormatterExtensions::shared();
  EXPECT_EQ(&formatter, &ByteCountFormatterExtensions::shared());
  EXPECT_EQ(formatter.countStyle(), platform::ByteCountFormatter::CountStyle::memory);
  EXPECT_FALSE(formatter.isAdaptive());
  const struct {
    std::int64_t bytes;
    const char* text;
  } cases[] = {
      {0, "Zero KB"},         {1, "1 byte"},          {512, "512 bytes"},       {1024, "1 KB"},
      {1536, "1.5 KB"},       {1000000, "977 KB"},    {1048576, "1 MB"},        {1572864, "1.5 MB"},
      {15 * 1048576 + 524288, "15.5 MB"},             {1610612736, "1.5 GB"},   {1569325056, "1.46 GB"},
      {-2048, "-2 KB"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatter.string(c.bytes), c.text) << c.bytes;

  platform::ByteCountFormatter adaptive;  // the platform's defaults: decimal file style, adaptive
  EXPECT_EQ(adaptive.string(1500), "2 KB");
  EXPECT_EQ(adaptive.string(1'550'000), "1.6 MB");
  EXPECT_EQ(adaptive.string(1'234'000'000), "1.23 GB");
}

TEST(VfsPurgeTest, WritesOneToTheControlFileAndReportsFailure) {
  test::TempRoot root;
  const std::string control = root.writeFile("/drop_caches", "");
  EXPECT_EQ(VfsPurge::purge(control), 0);
  std::ifstream in(control);
  std::stringstream contents;
  contents << in.rdbuf();
  EXPECT_EQ(contents.str(), "1");

  EXPECT_EQ(VfsPurge::purge(root / "/missing"), 1);  // never created
  EXPECT_FALSE(std::filesystem::exists(root / "/missing"));
  const std::string link = root / "/link";
  std::filesystem::create_symlink(control, link);
  EXPECT_EQ(VfsPurge::purge(link), 1);

  VfsPurge::setDropCachesPathForTesting(root / "/missing");
  EXPECT_EQ(zol_vfs_purge(), 1);
  VfsPurge::setDropCachesPathForTesting(control);
  EXPECT_EQ(zol_vfs_purge(), 0);
  VfsPurge::setDropCachesPathForTesting(std::nullopt);
}

}  // namespace
}  // namespace vozi
