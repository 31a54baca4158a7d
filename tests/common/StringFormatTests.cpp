#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string>

#include "common/StringFormat.h"

namespace vozi {
namespace {

struct Described {
  std::string description() const { return "<described>"; }
};

enum class Small : int { three = 3 };

TEST(StringFormatTest, PlaceholdersTakeTheirArgumentsInOrder) {
  const std::string path = "/Library/Caches";
  const std::optional<std::string> none;
  const struct {
    std::string result;
    std::string expected;
  } cases[] = {
      {StringFormat::formatted("Failed create directory at path:%@ (%@)", path, "denied"),
       "Failed create directory at path:/Library/Caches (denied)"},
      {StringFormat::formatted("%@ %@ %@ %@", 42, -7L, 2.5, true), "42 -7 2.5 1"},
      {StringFormat::formatted("%@ and %@", Described{}, none), "<described> and (null)"},
      {StringFormat::formatted("%s|%d|%ld|%lu|%llu|%lld|%i", "c", 1, -2L, 3UL, 4ULL, -5LL, Small::three),
       "c|1|-2|3|4|-5|3"},
      {StringFormat::formatted("%lu", UINT64_MAX), "18446744073709551615"},
      {StringFormat::formatted("%ld", UINT64_MAX), "18446744073709551615"},
      {StringFormat::formatted("%d", INT64_MIN), "-9223372036854775808"},
      {StringFormat::formatted("%.2f|%f|%e|%g", 3.14159, 1.5, 1500.0, 0.5), "3.14|1.500000|1.500000e+03|0.5"},
      {StringFormat::formatted("%5d|%-5d|%05d|%+d|%x|%X|%#o", 42, 42, 42, 42, 255, 255, 8),
       "   42|42   |00042|+42|ff|FF|010"},
      {StringFormat::formatted("%02hhx%02hhx", 0x0F, 0x1FF), "0fff"},
      {StringFormat::formatted("%hd", 65537), "1"},
      {StringFormat::formatted("[%8@][%-4s][%.3@]", std::string("right"), "l", std::string("truncate")),
       "[   right][l   ][tru]"},
      {StringFormat::formatted("%*d|%-*d|%.*f", 4, 7, 3, 8, 1, 2.25), "   7|8  |2.2"},
      {StringFormat::formatted("%2$@ %1$@", "world", "hello"), "hello world"},
      {StringFormat::formatted("100%% done%"), "100% done%"},
      {StringFormat::formatted("%c%c", 'o', 0x263A), "o\xE2\x98\xBA"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected);
}

TEST(StringFormatTest, MismatchedAndMissingArgumentsAreRenderedSafely) {
  const struct {
    std::string result;
    std::string expected;
  } cases[] = {
      // A placeholder without an argument reads nothing.
      {StringFormat::formatted("%@ and %s and %d"), "(null) and (null) and (null)"},
      {StringFormat::formatted("%@ %@", "one"), "one (null)"},
      // Text given to a number placeholder, and numbers given to %s.
      {StringFormat::formatted("%d items", "three"), "three items"},
      {StringFormat::formatted("%s|%s", 12, 1.5), "12|1.5"},
      {StringFormat::formatted("%f", 2), "2.000000"},
      {StringFormat::formatted("%d", 2.9), "2"},
      // %n never writes; unknown and unfinished placeholders stay as written.
      {StringFormat::formatted("a%nb", 1), "ab"},
      {StringFormat::formatted("%k %5", 1), "%k %5"},
      // Extra arguments are ignored; widths are clamped.
      {StringFormat::formatted("plain", 1, 2), "plain"},
      {std::to_string(StringFormat::formatted("%999999999d", 1).size()), "4096"},
      {StringFormat::formatted("%s", static_cast<const char*>(nullptr)), "(null)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected);
}

}  // namespace
}  // namespace vozi
