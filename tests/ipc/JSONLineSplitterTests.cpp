#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/JSONLineSplitter.h"

using vozi::JSONLineSplitter;
using Pieces = std::vector<std::string>;

namespace {

// Feeds each chunk as one read and gathers what comes out after each.
std::vector<Pieces> feed(JSONLineSplitter& splitter, const std::vector<std::string>& chunks) {
  std::vector<Pieces> perRead;
  for (const auto& chunk : chunks) {
    Pieces pieces;
    EXPECT_TRUE(splitter.append(chunk, pieces));
    perRead.push_back(pieces);
  }
  return perRead;
}

}  // namespace

TEST(JSONLineSplitter, CutsReadsIntoRequests) {
  struct Case {
    const char* name;
    std::vector<std::string> reads;
    std::vector<Pieces> expected;  // pieces handed out after each read
    std::optional<std::string> tail;
  } cases[] = {
      {"two requests in one read", {"{\"a\":1}\n{\"b\":2}\n"}, {{"{\"a\":1}", "{\"b\":2}"}}, std::nullopt},
      {"request without line feed", {"{\"a\":1}"}, {{"{\"a\":1}"}}, std::nullopt},
      {"only line feeds", {"\n\n\n"}, {{}}, std::nullopt},
      {"blank lines and CRLF", {" \t\r\n{\"a\":1}\r\n"}, {{"{\"a\":1}\r"}}, std::nullopt},
      {"split in two", {"{\"method\":\"sc", "an\"}\n"}, {{}, {"{\"method\":\"scan\"}"}}, std::nullopt},
      {"split in three", {"{\"a\"", ":[1,", "2]}\n"}, {{}, {}, {"{\"a\":[1,2]}"}}, std::nullopt},
      {"whole object then rest of its line", {"{\"a\":1}", "  \n{\"b\":2}\n"}, {{"{\"a\":1}"}, {"{\"b\":2}"}},
       std::nullopt},
      {"braces inside strings do not close", {"{\"a\":\"}\\\"}\"", "}\n"}, {{}, {"{\"a\":\"}\\\"}\"}"}},
       std::nullopt},
      {"garbage line then request", {"hello\n{\"a\":1}\n"}, {{"hello", "{\"a\":1}"}}, std::nullopt},
      {"array waits for its line feed", {"[1,2]", "\n"}, {{}, {"[1,2]"}}, std::nullopt},
      {"two objects on one line stay one piece", {"{}{}", "\n"}, {{}, {"{}{}"}}, std::nullopt},
      {"unfinished tail at the end", {"{\"a\":"}, {{}}, std::string("{\"a\":")},
      {"multi-byte character cut between reads", {"{\"n\":\"\xc3", "\xa9\"}\n"}, {{}, {"{\"n\":\"\xc3\xa9\"}"}},
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JSONLineSplitter splitter;
    EXPECT_EQ(feed(splitter, c.reads), c.expected);
    EXPECT_EQ(splitter.finish(), c.tail);
  }
}

TEST(JSONLineSplitter, EveryCutOfAStreamGivesTheSamePieces) {
  const std::string stream = "{\"a\":\"x\\\\\"}\n\n{\"b\":{\"c\":[1,{}]}}\nnot json\n{\"d\":\"\xe2\x82\xac\"}\n";
  const Pieces expected = {"{\"a\":\"x\\\\\"}", "{\"b\":{\"c\":[1,{}]}}", "not json", "{\"d\":\"\xe2\x82\xac\"}"};
  for (std::size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
    for (std::size_t cut2 = cut1; cut2 <= stream.size(); ++cut2) {
      JSONLineSplitter splitter;
      Pieces all;
      for (const auto& read : feed(splitter, {stream.substr(0, cut1), stream.substr(cut1, cut2 - cut1),
                                              stream.substr(cut2)}))
        all.insert(all.end(), read.begin(), read.end());
      ASSERT_EQ(all, expected) << "cuts at " << cut1 << " and " << cut2;
      ASSERT_FALSE(splitter.finish().has_value());
    }
  }
}

TEST(JSONLineSplitter, RefusesALineLongerThanTheLimit) {
  JSONLineSplitter splitter(16);
  Pieces pieces;
  EXPECT_TRUE(splitter.append("{\"a\":\"0123456\"}\n", pieces));  // 15 bytes: fits
  EXPECT_TRUE(splitter.append("{\"a\":\"01234", pieces));
  EXPECT_FALSE(splitter.append("567890\"}\n{}\n", pieces));  // the line would be 19 bytes
  EXPECT_EQ(pieces, (Pieces{"{\"a\":\"0123456\"}"}));
  EXPECT_TRUE(splitter.overflowed());
  EXPECT_EQ(splitter.pendingLength(), 0u);
  EXPECT_FALSE(splitter.append("{}\n", pieces));  // spent

  // The limit holds for a line that arrives whole, too.
  JSONLineSplitter whole(16);
  Pieces before;
  EXPECT_FALSE(whole.append("{}\n" + std::string(17, ' ') + "\n", before));
  EXPECT_EQ(before, (Pieces{"{}"}));
}
