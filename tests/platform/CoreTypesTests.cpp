#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <set>

#include "platform/DispatchQueue.h"
#include "platform/UUID.h"
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "platform/Date.h"
#include "platform/Error.h"
#include "platform/Hex.h"
#include "platform/HostRoot.h"
#include "platform/ProcessInfo.h"
#include "platform/Sha256.h"
#include "platform/Value.h"
#include "support/TempRoot.h"

using namespace vozi::platform;

TEST(Date, ConvertsToAndFrom1970TimeAndDescribesItselfInUtc) {
  struct Case {
    double since1970;
    const char* description;
  } cases[] = {
      {978307200.0, "2001-01-01 00:00:00 +0000"},
      {0.0, "1970-01-01 00:00:00 +0000"},
      {1700000000.75, "2023-11-14 22:13:20 +0000"},
      {-1.5, "1969-12-31 23:59:58 +0000"},
  };
  for (const auto& c : cases) {
    const Date date = Date::fromTimeIntervalSince1970(c.since1970);
    EXPECT_EQ(date.description(), c.description) << c.since1970;
    EXPECT_DOUBLE_EQ(date.timeIntervalSince1970(), c.since1970);
  }
  const Date exact(812345678.123456789);
  EXPECT_EQ(Date(exact.timeIntervalSinceReferenceDate()), exact);
}

TEST(Value, KeepsTypesAndUnsignedSizes) {
  Value::Dictionary dict{{"size", Value(std::uint64_t{18446744073709551615ull})},
                         {"count", Value(-3)},
                         {"ratio", Value(0.5)},
                         {"name", Value("x")}};
  Value value(dict);
  EXPECT_TRUE(value.find("size")->isUnsigned());
  EXPECT_EQ(value.find("size")->asUInt64(), 18446744073709551615ull);
  EXPECT_FALSE(value.find("size")->asInt64().has_value());
  EXPECT_EQ(value.find("count")->asInt64(), -3);
  EXPECT_FALSE(value.find("count")->asUInt64().has_value());
  EXPECT_EQ(value.find("missing"), nullptr);
  value["added"] = Value(true);
  EXPECT_EQ(value.find("added")->asBool(), true);
}

TEST(Error, DescribesItselfFromItsUserInfo) {
  Error plain("ZOLBackendErrorDomain", 3);
  EXPECT_NE(plain.localizedDescription().find("ZOLBackendErrorDomain"), std::string::npos);
  Error described("d", 1, {{"NSLocalizedDescription", Value("broken")}});
  EXPECT_EQ(described.localizedDescription(), "broken");
}

TEST(HostRoot, ResolvesTreePathsUnderTheRoot) {
  vozi::test::TempRoot root;
  EXPECT_EQ(HostRoot::resolve("/Library/Caches"), root.path() + "/Library/Caches");
  EXPECT_EQ(HostRoot::resolve(root.path() + "/Users"), root.path() + "/Users");
  EXPECT_EQ(HostRoot::resolve("relative/x"), "relative/x");
  EXPECT_EQ(HostRoot::unresolve(root.path() + "/Users/bob"), "/Users/bob");
  EXPECT_EQ(HostRoot::unresolve(root.path() + "x/Users"), root.path() + "x/Users");
}

TEST(Sha256, DigestsOnlyRegularFiles) {
  // A pipe has no contents: it must not hash like an empty file and so be
  // taken for a duplicate of every one. A folder has none either.
  vozi::test::TempRoot root;
  const std::string pipe = root / "/pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  EXPECT_FALSE(Sha256::digestOfFile(pipe).has_value());
  EXPECT_FALSE(Sha256::hexOfFile(pipe).has_value());
  EXPECT_FALSE(Sha256::digestOfFile(root.makeDirectory("/folder")).has_value());
}

TEST(Sha256, HashesBuffersAndWholeFiles) {
  EXPECT_EQ(Sha256::hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256::hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  vozi::test::TempRoot root;
  const std::string big(3 << 20, 'a');
  const auto path = root.writeFile("/big", big);
  EXPECT_EQ(Sha256::hexOfFile(path), Sha256::hex(big));
  EXPECT_FALSE(Sha256::hexOfFile(root / "/missing").has_value());
  EXPECT_FALSE(Sha256::digestOfFile(root / "/missing").has_value());
  const auto digest = Sha256::digest("abc", 3);
  ASSERT_EQ(digest.size(), 32u);
  EXPECT_EQ(Hex::encode(digest), Sha256::hex("abc"));
  EXPECT_EQ(Sha256::digestOfFile(path), Sha256::digest(big.data(), big.size()));
}

TEST(Hex, WritesBothCasesAndReadsOnlyHexDigits) {
  EXPECT_EQ(Hex::encode(std::vector<std::uint8_t>{0x00, 0x0F, 0xA5, 0xFF}), "000fa5ff");
  EXPECT_EQ(Hex::encode(std::vector<std::uint8_t>{0x00, 0x0F, 0xA5, 0xFF}, Hex::Case::upper), "000FA5FF");
  EXPECT_EQ(Hex::encode(nullptr, 0), "");
  for (const auto& [c, value] : std::vector<std::pair<char, int>>{
           {'0', 0}, {'9', 9}, {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15},
           {'/', -1}, {':', -1}, {'@', -1}, {'G', -1}, {'`', -1}, {'g', -1}, {'\0', -1}, {'\xff', -1}}) {
    SCOPED_TRACE(static_cast<int>(c));
    EXPECT_EQ(Hex::digitValue(c), value);
  }
}

TEST(ProcessInfo, NamesTheProcessAndKnowsTheMainThread) {
  EXPECT_EQ(ProcessInfo::processName(), "test_platform");
  EXPECT_TRUE(ProcessInfo::isMainThread());
  bool other = true;
  std::thread([&] { other = ProcessInfo::isMainThread(); }).join();
  EXPECT_FALSE(other);
}

TEST(ProcessInfo, PhysicalMemoryIsTheMachinesMemTotal) {
  // /proc/meminfo's MemTotal is in kibibytes.
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  unsigned long long kibibytes = 0;
  while (meminfo >> key && key != "MemTotal:") meminfo.ignore(256, '\n');
  ASSERT_TRUE(meminfo >> kibibytes);
  EXPECT_EQ(ProcessInfo::physicalMemory(), kibibytes * 1024);
}

namespace vozi::platform {
namespace {

TEST(UUIDTest, RandomIdentifiersHaveThePlatformsTextFormAndDoNotRepeat) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string text = UUID::randomString();
    ASSERT_TRUE(std::regex_match(text, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(QualityOfServiceTest, RawValuesAreTheOnesClientsCarry) {
  const std::pair<int, std::optional<QualityOfService>> cases[] = {
      {9, QualityOfService::background},      {17, QualityOfService::utility},
      {25, QualityOfService::userInitiated},  {33, QualityOfService::userInteractive},
      {-1, QualityOfService::defaultQoS},     {0, std::nullopt},
      {21, std::nullopt},                     {4096, std::nullopt},
  };
  for (const auto& [raw, level] : cases) {
    EXPECT_EQ(qualityOfServiceFromRawValue(raw), level) << raw;
    if (level) {
      EXPECT_EQ(rawValue(*level), raw);
    }
  }
  // Each level has its own global queue.
  EXPECT_EQ(DispatchQueue::global(QualityOfService::background)->qualityOfService(), QualityOfService::background);
  EXPECT_EQ(DispatchQueue::global(QualityOfService::userInteractive)->qualityOfService(),
            QualityOfService::userInteractive);
}

}  // namespace
}  // namespace vozi::platform
