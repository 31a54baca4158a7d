// What vozi-client prints for a scan's groups: the JSON it writes as it goes
// must read as the document a serialized Value of the same groups gives.

#include <gtest/gtest.h>

#include <cstdio>

#include "client/VoziClient.h"
#include "common/FileItem.h"
#include "common/ItemGroup.h"
#include "platform/Json.h"
#include "platform/URL.h"

namespace vozi {
namespace {

using platform::Value;

TEST(ClientOutput, StreamedJsonIsTheSerializedDocument) {
  auto caches = ItemGroup::group(ItemGroupName::userCache);
  const std::vector<std::pair<std::string, std::uint64_t>> files = {
      {"/Users/u/Library/Caches/plain", 10},
      {"/Users/u/Library/Caches/quote\"back\\slash", 20},
      {"/Users/u/Library/Caches/new\nline\ttab\x01", 30},
      {"/Users/u/Library/Caches/naïve ✓", 40},
  };
  Value::Array items;
  for (const auto& [path, size] : files) {
    caches->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath(path), size, std::nullopt));
    items.push_back(Value(Value::Dictionary{{"path", Value(path)}, {"size", Value(static_cast<std::int64_t>(size))}}));
  }
  auto logs = ItemGroup::group(ItemGroupName::userLogs);
  const Value expected(Value::Array{
      Value(Value::Dictionary{{"name", Value("userCache")}, {"size", Value(100)}, {"items", Value(std::move(items))}}),
      Value(Value::Dictionary{{"name", Value("userLogs")}, {"size", Value(0)}, {"items", Value(Value::Array{})}}),
  });

  EXPECT_EQ(client::json({caches, logs}), *platform::Json::serialize(expected));
  EXPECT_EQ(client::json({}), "[]");
}

TEST(ClientOutput, WrittenInBlocksItIsTheSameText) {
  auto caches = ItemGroup::group(ItemGroupName::userCache);
  for (int i = 0; i < 5000; ++i) {  // several blocks of output
    caches->addItem(std::make_shared<FileItem>(
        platform::URL::fileURLWithPath("/Users/u/Library/Caches/f" + std::to_string(i)), i + 1, std::nullopt));
  }
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  client::writeJson({caches}, file);
  std::string written(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  ASSERT_EQ(std::fread(written.data(), 1, written.size(), file), written.size());
  std::fclose(file);
  EXPECT_GT(written.size(), std::size_t{1} << 17);
  EXPECT_EQ(written, client::json({caches}) + "\n");
}

}  // namespace
}  // namespace vozi
