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
      {"blank lines and CRLF", {" \t\r\n{\"a\":1}\r\n"}, {{"{\"a\":1}"}}, std::nullopt},
      {"split in two", {"{\"method\":\"sc", "an\"}\n"}, {{}, {"{\"method\":\"scan\"}"}}, std::nullopt},
      {"split in three", {"{\"a\"", ":[1,", "2]}\n"}, {{}, {}, {"{\"a\":[1,2]}"}}, std::nullopt},
      {"whole object then rest of its line", {"{\"a\":1}", "  \n{\"b\":2}\n"}, {{"{\"a\":1}"}, {"{\"b\":2}"}},
       std::nullopt},
      {"braces inside strings do not close", {"{\"a\":\"}\\\"}\"", "}\n"}, {{}, {"{\"a\":\"}\\\"}\"}"}},
       std::nullopt},
      {"garbage line then request", {"hello\n{\"a\":1}\n"}, {{"hello", "{\"a\":1}"}}, std::nullopt},
      {"array waits for its line feed", {"[1,2]", "\n"}, {{}, {"[1,2]"}}, std::nullopt},
      {"two objects on one line are two requests", {"{}{}", "\n"}, {{"{}", "{}"}, {}}, std::nullopt},
      {"object then junk on its line", {"{\"a\":1} x}", "y\n{}"}, {{"{\"a\":1}"}, {"x}y", "{}"}}, std::nullopt},
      {"junk then object on one line is one piece", {"x{\"a\":1}\n"}, {{"x{\"a\":1}"}}, std::nullopt},
      {"line feed ends an open object", {"{\"a\":", "\n{\"b\":1}"}, {{}, {"{\"a\":", "{\"b\":1}"}}, std::nullopt},
      {"malformed tail at the end", {"{}\r\n oops"}, {{"{}"}}, std::string("oops")},
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
  struct Case {
    const char* name;
    std::string stream;
    Pieces expected;                  // handed out by append
    std::optional<std::string> tail;  // given by finish
    std::size_t limit = JSONLineSplitter::defaultMaxLineLength;
    bool overflows = false;
  } cases[] = {
      {"two requests on one line", "{\"method\":\"a\"}{\"method\":\"b\"}\n",
       {"{\"method\":\"a\"}", "{\"method\":\"b\"}"}, std::nullopt},
      {"objects between spaces and line feeds", " {\"a\":1} \t{\"b\":2}\n\n\r\n  {\"c\":3}\r\n",
       {"{\"a\":1}", "{\"b\":2}", "{\"c\":3}"}, std::nullopt},
      {"junk then an object on the next line", "not json {\"a\":1}\n{\"b\":2}\n", {"not json {\"a\":1}", "{\"b\":2}"},
       std::nullopt},
      {"braces and escaped quotes in strings", "{\"a\":\"}\\\"{\"}{\"b\":\"\\\\\"}{\"c\":\"[{\"}\n",
       {"{\"a\":\"}\\\"{\"}", "{\"b\":\"\\\\\"}", "{\"c\":\"[{\"}"}, std::nullopt},
      {"lines of every kind", "{\"a\":\"x\\\\\"}\n\n{\"b\":{\"c\":[1,{}]}}\nnot json\n{\"d\":\"\xe2\x82\xac\"}\n",
       {"{\"a\":\"x\\\\\"}", "{\"b\":{\"c\":[1,{}]}}", "not json", "{\"d\":\"\xe2\x82\xac\"}"}, std::nullopt},
      {"an object broken by a line feed costs its line", "{\"a\":[1,\n{\"b\":1}", {"{\"a\":[1,", "{\"b\":1}"},
       std::nullopt},
      {"unclosed object at the end", "{\"a\":1}{\"b\":", {"{\"a\":1}"}, std::string("{\"b\":")},
      {"junk without a line feed at the end", "{\"a\":1} [2]\r", {"{\"a\":1}"}, std::string("[2]\r")},
      {"whitespace does not count towards the limit", "         {\"a\":1}      \n\n       {}", {"{\"a\":1}", "{}"},
       std::nullopt, 7},
      {"an overlong object ends the stream", "{\"a\":1}  {\"bb\":22}{}\n", {"{\"a\":1}"}, std::nullopt, 8, true},
      {"an overlong malformed line ends the stream", "{}\nabcdefghi\n{}", {"{}"}, std::nullopt, 8, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string& stream = c.stream;
    for (std::size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
      for (std::size_t cut2 = cut1; cut2 <= stream.size(); ++cut2) {
        JSONLineSplitter splitter(c.limit);
        Pieces all;
        bool withinLimit = true;
        for (const auto& read : {stream.substr(0, cut1), stream.substr(cut1, cut2 - cut1), stream.substr(cut2)})
          withinLimit = withinLimit && splitter.append(read, all);
        ASSERT_EQ(all, c.expected) << "cuts at " << cut1 << " and " << cut2;
        ASSERT_EQ(!withinLimit, c.overflows) << "cuts at " << cut1 << " and " << cut2;
        ASSERT_EQ(splitter.finish(), c.tail) << "cuts at " << cut1 << " and " << cut2;
      }
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

  // The limit holds for a piece that arrives whole, too.
  for (const std::string& overlong : {std::string(17, 'x'), "{\"a\":\"" + std::string(10, ' ') + "\"}"}) {
    SCOPED_TRACE(overlong);
    JSONLineSplitter whole(16);
    Pieces before;
    EXPECT_FALSE(whole.append("{}\n" + overlong + "\n{}\n", before));
    EXPECT_EQ(before, (Pieces{"{}"}));
  }
}
