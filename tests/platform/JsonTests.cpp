#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/CocoaError.h"
#include "platform/Json.h"

using namespace vozi::platform;

TEST(Json, WritesCompactlyAndReadsBackExactly) {
  const Value original(Value::Dictionary{
      {"size", Value(std::uint64_t{18446744073709551615ull})},
      {"min", Value(std::numeric_limits<std::int64_t>::min())},
      {"count", Value(3)},
      {"stamp", Value(712345678.123456789)},
      {"tiny", Value(4.9e-324)},
      {"whole", Value(5.0)},
      {"negativeZero", Value(-0.0)},
      {"text", Value("line\n\"quoted\" \\ tab\t \x01 naïve ✓")},
      {"list", Value(Value::Array{Value(), Value(true), Value(false), Value(Value::Dictionary{})})},
  });
  auto text = Json::serialize(original);
  ASSERT_TRUE(text) << text.error().localizedDescription();
  auto back = Json::parse(*text);
  ASSERT_TRUE(back) << back.error().localizedDescription();
  EXPECT_EQ(*back, original);
  EXPECT_TRUE(back->find("size")->isUnsigned());
  EXPECT_TRUE(back->find("whole")->isReal());
  EXPECT_TRUE(back->find("count")->isInteger());
  EXPECT_FALSE(back->find("count")->isUnsigned());
  EXPECT_EQ(back->find("stamp")->asDouble(), 712345678.123456789);
  EXPECT_TRUE(std::signbit(*back->find("negativeZero")->asDouble()));

  EXPECT_EQ(*Json::serialize(Value(Value::Dictionary{{"b", Value(Value::Array{Value(1), Value(2.5), Value("x")})},
                                                     {"a", Value()}})),
            R"({"a":null,"b":[1,2.5,"x"]})");
}

TEST(Json, AStreamedStringIsEscapedAsSerializedAndRefusedWholeWhenNotUtf8) {
  const std::string text = "line\n\"quoted\" \\ tab\t \x01 naïve ✓";
  std::string out = "x";
  ASSERT_TRUE(Json::appendString(out, text));
  EXPECT_EQ(out, "x" + *Json::serialize(Value(text), {.allowFragments = true}));
  EXPECT_FALSE(Json::appendString(out, "\xFF\xFE"));
  EXPECT_EQ(out, "x" + *Json::serialize(Value(text), {.allowFragments = true}));
}

TEST(Json, MalformedInputIsAnErrorNotACrash) {
  std::string deep(100000, '[');
  deep += std::string(100000, ']');
  const std::string cases[] = {
      "",
      "{",
      "[1,]",
      "{\"a\":1} trailing",
      "\"just a string\"",
      "42",
      "null",
      "[\"\xFF\xFE\"]",
      "[\"\xC0\xAF\"]",
      "{\"a\":\"\xED\xA0\x80\"}",
      "[1e400]",
      "[NaN]",
      std::string("{\"a\":1}\0trailing", 16),
      std::string("[\"x\0y\"]", 7),
      deep,
  };
  for (const auto& text : cases) {
    SCOPED_TRACE(text.substr(0, 40));
    auto result = Json::parse(text);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().domain, "NSCocoaErrorDomain");
    EXPECT_EQ(result.error().code, CocoaError::propertyListReadCorrupt);
  }
  EXPECT_EQ(*Json::parse("42", true), Value(42));
  EXPECT_TRUE(Json::parse(std::string(Json::kMaxDepth, '[') + std::string(Json::kMaxDepth, ']')));
  EXPECT_FALSE(Json::parse(std::string(Json::kMaxDepth + 1, '[') + std::string(Json::kMaxDepth + 1, ']')));
}

TEST(Json, ValuesWithoutAJsonFormAreRefusedUnlessConverted) {
  const Value dated(Value::Dictionary{{"when", Value(Date(1.5))}, {"blob", Value(Data{0xFB, 0xFF})}});
  auto refused = Json::serialize(dated);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, CocoaError::propertyListWriteInvalid);
  Json::WriteOptions options;
  options.datesAsSecondsSince2001 = true;
  options.dataAsBase64 = true;
  EXPECT_EQ(*Json::serialize(dated, options), R"({"blob":"+/8=","when":1.5})");

  const Value refusedValues[] = {
      Value(Value::Array{Value(std::nan(""))}),
      Value(Value::Array{Value(std::numeric_limits<double>::infinity())}),
      Value(Value::Array{Value("\xFF")}),
      Value(Value::Dictionary{{"\xC3", Value(1)}}),
      Value("fragment"),
  };
  for (const auto& v : refusedValues) EXPECT_FALSE(Json::serialize(v));
  Json::WriteOptions fragments;
  fragments.allowFragments = true;
  EXPECT_EQ(*Json::serialize(Value("fragment"), fragments), "\"fragment\"");
}
