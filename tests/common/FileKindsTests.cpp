#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/FileKinds.h"
#include "support/LogCapture.h"
#include "platform/Bundle.h"
#include "platform/PropertyList.h"
#include "platform/UniformType.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = ZOLMFileItemType;

std::string plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

// A resource folder of the test's own (VOZI_RESOURCES), a fresh extension
// table, and the log lines the test causes.
class FileKindsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* previous = std::getenv("VOZI_RESOURCES")) previousResources_ = previous;
    ::setenv("VOZI_RESOURCES", (root_ / "/Resources").c_str(), 1);
    root_.makeDirectory("/Resources");
    FileKinds::resetFilesExtensionsForTesting();
  }
  void TearDown() override {
    FileKinds::resetFilesExtensionsForTesting();
    if (previousResources_)
      ::setenv("VOZI_RESOURCES", previousResources_->c_str(), 1);
    else
      ::unsetenv("VOZI_RESOURCES");
  }
  void writeTable(const std::string& body) { root_.writeFile("/Resources/filesExtensions.plist", plist(body)); }

  test::TempRoot root_;
  std::optional<std::string> previousResources_;
  test::LogCapture log_;
};

constexpr const char* kTable = R"(<dict>
  <key>Archives</key><array><string>pak</string></array>
  <key>Documents</key><array><string>docx</string></array>
  <key>Movies</key><array><string>jpgx</string><string>mkv2</string></array>
  <key>Photoz</key><array><string>typo</string></array>
  <key>Tracks</key><array><string>typo</string></array>
</dict>)";

TEST_F(FileKindsTest, ClassificationOrder) {
  writeTable(kTable);
  const std::string docx = "org.openxmlformats.wordprocessingml.document";  // content and archive
  const struct {
    std::optional<std::string> uti;
    const char* extension;
    std::optional<Kind> expected;
    const char* why;
  } cases[] = {
      {std::nullopt, "pak", std::nullopt, "no identifier: the extension alone never decides"},
      {std::nullopt, "", std::nullopt, "no identifier, no extension"},
      {"public.jpeg", "jpgx", Kind::photos, "image before the table's Movies entry"},
      {"public.image", "pak", Kind::photos, "image"},
      {"public.mp3", "pak", Kind::tracks, "audio before the table"},
      {"public.mpeg-4", "pak", Kind::movies, "movie before the table"},
      {"public.plain-text", "pak", Kind::archives, "the table before content"},
      {"public.zip-archive", "docx", Kind::documents, "the table before archive"},
      {"dyn.ext.pak", "pak", Kind::archives, "neither media, content nor archive: the table"},
      {"dyn.ext.zzz", "zzz", Kind::documents, "neither, unlisted: Documents"},
      {"dyn.ext.pak", "PAK", Kind::documents, "the table matches extensions case-sensitively"},
      {docx, "unlisted", Kind::documents, "content and archive: content wins"},
      {"public.content", "unlisted", Kind::documents, "content"},
      {"public.composite-content", "unlisted", Kind::documents, "composite content"},
      {"com.adobe.pdf", "unlisted", Kind::documents, "composite content by ancestry"},
      {"public.zip-archive", "unlisted", Kind::archives, "archive"},
      {"com.apple.disk-image-udif", "unlisted", Kind::archives, "archive by ancestry"},
      {"", "", Kind::documents, "an unknown identifier ends as Documents"},
      {"", "pak", Kind::archives, "...unless the table claims the extension"},
      {"public.archive", "typo", Kind::tracks, "a misspelt kind is skipped, the next entry decides"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FileKinds::fileType(c.uti, c.extension), c.expected) << c.why;
  EXPECT_THAT(log_.messages(), ElementsAre("\"Wrong string representation of file: Photoz\""));
}

TEST_F(FileKindsTest, WithoutTheResourceTheTableIsSkippedAndLookedForAgain) {
  EXPECT_EQ(FileKinds::filesExtensions(), nullptr);
  EXPECT_EQ(FileKinds::fileType(std::string("public.zip-archive"), "docx"), Kind::archives);
  EXPECT_EQ(FileKinds::fileType(std::string("dyn.ext.pak"), "pak"), Kind::documents);
  writeTable(kTable);
  EXPECT_EQ(FileKinds::fileType(std::string("public.zip-archive"), "docx"), Kind::documents);
  // Once loaded, the table stays even if the resource goes.
  std::filesystem::remove(root_ / "/Resources/filesExtensions.plist");
  EXPECT_NE(FileKinds::filesExtensions(), nullptr);
}

TEST_F(FileKindsTest, MalformedTablesAreIgnored) {
  const char* bodies[] = {
      "<array><string>pak</string></array>",                                     // not a dictionary
      "<dict><key>Archives</key><string>pak</string></dict>",                    // value not a list
      "<dict><key>Archives</key><array><integer>1</integer></array></dict>",     // list of non-texts
      "<dict><key>Archives</key><array><string>pak</string></array>",            // not a property list
  };
  for (const char* body : bodies) {
    writeTable(body);
    EXPECT_EQ(FileKinds::filesExtensions(), nullptr) << body;
    EXPECT_EQ(FileKinds::fileType(std::string("dyn.ext.pak"), "pak"), Kind::documents) << body;
  }
  root_.writeFile("/Resources/filesExtensions.plist", "");
  EXPECT_EQ(FileKinds::filesExtensions(), nullptr);
}

TEST_F(FileKindsTest, ABinaryTableIsReadToo) {
  using platform::Value;
  const Value table(Value::Dictionary{{"Archives", Value(Value::Array{Value("pak")})}});
  const auto bytes = platform::PropertyList::toBinary(table);
  ASSERT_TRUE(bytes.ok());
  root_.writeFile("/Resources/filesExtensions.plist", std::string(bytes->begin(), bytes->end()));
  EXPECT_EQ(FileKinds::fileType(std::string("dyn.ext.pak"), "pak"), Kind::archives);
}

TEST_F(FileKindsTest, ConcurrentFirstLoadsSeeOneTable) {
  writeTable(kTable);
  std::vector<std::shared_ptr<const FileKinds::ExtensionTable>> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = FileKinds::filesExtensions(); });
  for (auto& t : threads) t.join();
  ASSERT_NE(seen[0], nullptr);
  for (const auto& table : seen) EXPECT_EQ(table, seen[0]);
  EXPECT_THAT(seen[0]->at("Movies"), ElementsAre("jpgx", "mkv2"));
}

TEST_F(FileKindsTest, NamesAndMasks) {
  const struct {
    std::uint64_t value;
    const char* name;
  } names[] = {{1, "Tracks"}, {2, "Movies"}, {4, "Photos"}, {8, "Archives"}, {16, "Documents"},
               {0, "Tracks"}, {3, "Tracks"}, {32, "Tracks"}};
  for (const auto& n : names) EXPECT_EQ(FileKinds::stringRepresentation(static_cast<Kind>(n.value)), n.name);

  EXPECT_EQ(FileKinds::fileType("Photos"), Kind::photos);
  EXPECT_EQ(FileKinds::fileType("Documents"), Kind::documents);
  EXPECT_EQ(FileKinds::fileType("photos"), std::nullopt);
  EXPECT_EQ(FileKinds::fileType(""), std::nullopt);
  EXPECT_THAT(log_.messages(), ElementsAre("\"Wrong string representation of file: photos\"",
                                             "\"Wrong string representation of file: \""));

  EXPECT_EQ(FileKinds::fileTypes({Kind::tracks, Kind::photos, Kind::tracks}), 5u);
  EXPECT_EQ(FileKinds::fileTypes({}), 0u);
  EXPECT_EQ(FileKinds::fileTypes({Kind::tracks, Kind::movies, Kind::photos, Kind::archives, Kind::documents}), 31u);
}

TEST_F(FileKindsTest, TheShippedTableNamesEveryKindAndListsEachExtensionOnce) {
  ::unsetenv("VOZI_RESOURCES");
  const auto table = FileKinds::filesExtensions();
  ASSERT_NE(table, nullptr) << platform::Bundle::main().resourcePath();
  std::vector<std::string> kinds;
  std::set<std::string> seen;
  for (const auto& [kind, extensions] : *table) {
    kinds.push_back(kind);
    EXPECT_TRUE(FileKinds::fileType(kind).has_value()) << kind;
    for (const auto& extension : extensions) EXPECT_TRUE(seen.insert(extension).second) << extension;
  }
  EXPECT_THAT(kinds, ElementsAre("Archives", "Documents", "Movies", "Photos", "Tracks"));
  EXPECT_THAT(log_.messages(), IsEmpty());
  // The table and the type table agree on what the common kinds are.
  for (const char* extension : {"zip", "rar", "dmg", "docx", "pdf", "pages", "mp3", "flac", "mkv", "jpg", "heic"}) {
    const auto uti = platform::UniformType::typeIdentifier(extension);
    const auto kind = FileKinds::fileType(uti, extension);
    ASSERT_TRUE(kind.has_value()) << extension;
    const auto& listed = table->at(FileKinds::stringRepresentation(*kind));
    EXPECT_NE(std::find(listed.begin(), listed.end(), extension), listed.end()) << extension;
  }
}

}  // namespace
}  // namespace vozi
