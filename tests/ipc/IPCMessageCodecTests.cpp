#include <gtest/gtest.h>

#include <string>

#include "ipc/IPCMessageCodec.h"

using vozi::IPCMessageCodec;
using vozi::platform::Value;

TEST(IPCMessageCodec, DecodesOnlyWholeJsonObjects) {
  using namespace std::string_literals;
  EXPECT_EQ(*IPCMessageCodec::decode("{\"method\":\"quit\"}"), (Value::Dictionary{{"method", Value("quit")}}));
  EXPECT_EQ(*IPCMessageCodec::decode(" {\"a\":1}\r"), (Value::Dictionary{{"a", Value(1)}}));
  const std::string refused[] = {
      "",
      "not json",
      "[1,2]",
      "\"text\"",
      "42",
      "{\"a\":1}{\"b\":2}",
      "{\"a\":\"\xff\"}",
      "{\"a\":\"\xed\xa0\x80\"}",  // a surrogate
      "{\"a\":1e999}",
      "\xEF\xBB\xBF{}",
      "{\"method\":\"quit\"}\0trailing"s,
      "{\"method\":\"quit\"}\0"s,
      "{\"a\":\"x\0y\"}"s,
  };
  for (const auto& piece : refused) EXPECT_FALSE(IPCMessageCodec::decode(piece).ok()) << piece;
}

TEST(IPCMessageCodec, EncodesCompactlyAndRefusesWhatJsonCannotCarry) {
  auto json = IPCMessageCodec::encode(
      {{"method", Value("trackingData")}, {"parameters", Value(Value::Dictionary{{"clientID", Value("x y")}})}});
  ASSERT_TRUE(json);
  EXPECT_EQ(*json, "{\"method\":\"trackingData\",\"parameters\":{\"clientID\":\"x y\"}}");
  EXPECT_FALSE(IPCMessageCodec::encode({{"when", Value(vozi::platform::Date(1))}}).ok());
  EXPECT_FALSE(IPCMessageCodec::encode({{"bytes", Value(vozi::platform::Data{1, 2})}}).ok());
  EXPECT_FALSE(IPCMessageCodec::encode({{"bad", Value(std::string("\xff"))}}).ok());
}
