#include "common/PlistBasedPersistantStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/PropertyList.h"
#include "support/TempRoot.h"

namespace vozi {
namespace {

namespace fs = std::filesystem;
using platform::Value;

const std::string kStoreFile = "/Library/Application Support/div.ez.iru/ZOLNotificationsManager.plist";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ino_t inodeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_ino;
}

class PlistBasedPersistantStoreTest : public ::testing::Test {
 protected:
  test::TempRoot root;
  std::string folder = root.makeDirectory("/Library/Application Support/div.ez.iru");
  std::string path = PlistBasedPersistantStore::notificationsManagerFilePath();
};

TEST_F(PlistBasedPersistantStoreTest, ValuesRoundTripThroughTheFile) {
  EXPECT_EQ(path, root / kStoreFile);
  const Value::Dictionary nested{{"a", Value(1)}, {"b", Value(Value::Array{Value("x"), Value(2.5)})}};
  const std::pair<std::string, Value> entries[] = {
      {"text", Value("héllo")},
      {"integer", Value(-42)},
      {"real", Value(0.25)},
      {"bool", Value(true)},
      {"date", Value(platform::Date(700000000))},
      {"data", Value(platform::Data{0, 1, 255})},
      {"nested", Value(nested)},
  };
  {
    PlistBasedPersistantStore store(path);
    EXPECT_EQ(store.getStoredObject("text"), std::nullopt);
    EXPECT_FALSE(fs::exists(path));  // reading creates nothing
    for (const auto& [key, value] : entries) store.set(value, key);
    EXPECT_TRUE(fs::exists(path));
  }
  PlistBasedPersistantStore reopened(path);
  for (const auto& [key, value] : entries) {
    SCOPED_TRACE(key);
    EXPECT_EQ(reopened.getStoredObject(key), value);
  }
  // The file is an ordinary property list others can read.
  auto onDisk = platform::PropertyList::readFile(path);
  ASSERT_TRUE(onDisk);
  EXPECT_EQ(onDisk->find("integer")->asInt64(), -42);
}

TEST_F(PlistBasedPersistantStoreTest, RemovingAKeyRewritesTheFileEvenWhenItWasAbsent) {
  PlistBasedPersistantStore store(path);
  store.set(Value("v"), "k");
  store.set(std::nullopt, "k");
  EXPECT_EQ(store.getStoredObject("k"), std::nullopt);
  EXPECT_EQ(PlistBasedPersistantStore(path).getStoredObject("k"), std::nullopt);

  fs::remove(path);
  store.set(std::nullopt, "never-set");
  EXPECT_TRUE(fs::exists(path));
}

TEST_F(PlistBasedPersistantStoreTest, EachWriteReplacesTheFileWhole) {
  PlistBasedPersistantStore store(path);
  store.set(Value("first"), "k");
  const std::string before = readFile(path);
  const ino_t inodeBefore = inodeOf(path);
  // Keep the old file reachable: a write in place would change what it holds.
  const std::string keep = folder + "/old-copy";
  fs::create_hard_link(path, keep);

  store.set(Value("second"), "k");
  EXPECT_NE(inodeOf(path), inodeBefore);
  EXPECT_EQ(readFile(keep), before);
  EXPECT_EQ(PlistBasedPersistantStore(path).getStoredObject("k"), Value("second"));
  // No temporary file is left behind.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"ZOLNotificationsManager.plist", "old-copy"}));
}

TEST_F(PlistBasedPersistantStoreTest, TheFileIsReadOnceAndOverwrittenAtTheNextChange) {
  root.writeFile(kStoreFile, "not a property list");
  PlistBasedPersistantStore store(path);
  EXPECT_EQ(store.getStoredObject("k"), std::nullopt);  // corrupt: empty, silently
  // An edit behind the store's back is not seen and is overwritten.
  PlistBasedPersistantStore other(path);
  other.set(Value("theirs"), "other");
  EXPECT_EQ(store.getStoredObject("other"), std::nullopt);
  store.set(Value("mine"), "k");
  PlistBasedPersistantStore reopened(path);
  EXPECT_EQ(reopened.getStoredObject("k"), Value("mine"));
  EXPECT_EQ(reopened.getStoredObject("other"), std::nullopt);
}

TEST_F(PlistBasedPersistantStoreTest, AFailedWriteKeepsTheChangeInMemory) {
  PlistBasedPersistantStore store(root / "/missing/folder/store.plist");
  store.set(Value(5), "k");
  EXPECT_EQ(store.getStoredObject("k"), Value(5));
  EXPECT_FALSE(fs::exists(root / "/missing"));
}

TEST_F(PlistBasedPersistantStoreTest, AValueThatCannotBeStoredIsTurnedAwayAndLaterChangesStillLand) {
  PlistBasedPersistantStore store(path);
  store.set(Value(Value::Array{Value(1), Value()}), "unstorable");  // a null inside
  store.set(Value("ok"), "k");
  EXPECT_EQ(store.getStoredObject("unstorable"), std::nullopt);
  EXPECT_EQ(PlistBasedPersistantStore(path).getStoredObject("k"), Value("ok"));
}

}  // namespace
}  // namespace vozi
