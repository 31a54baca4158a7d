#include <gtest/gtest.h>

#include "platform/Json.h"
#include "server/CleanHistory.h"

namespace vozi {
namespace {

using platform::Date;
using platform::Value;
using Row = CleanHistory::Row;

// A date by its seconds since 1970, as the reply gives it.
Date At(double seconds) { return Date::fromTimeIntervalSince1970(seconds); }

std::string json(const Value::Dictionary& reply) {
  // Dictionaries keep their keys in order, so the text is stable.
  return *platform::Json::serialize(Value(reply));
}

TEST(CleanHistoryTest, TheReportPassesOnTheStoredFiguresWithTheMachinesMemory) {
  struct Case {
    const char* what;
    std::vector<Row> rows;
    std::optional<Date> lastCompleteClean;
    std::string expected;
  };
  constexpr std::uint64_t kMemory = 16ull << 30;
  const Case cases[] = {
      {"an empty store", {}, std::nullopt, R"({"method":"cleaningHistory","parameters":{"modules":[]}})"},
      {"rows without a name",
       {Row{std::nullopt, 5, 6, std::nullopt}},
       At(1.5),
       R"({"method":"cleaningHistory","parameters":{"lastCompleteCleanTimestamp":1.5,"modules":[]}})"},
      {"memory takes the machine's total; a never-cleaned row has null; fractions kept; a later row wins",
       {Row{"Memory", 7, 123, At(100.5)}, Row{"System", 1, 2, std::nullopt}, Row{"System", 10, 20, At(1600000000.25)}},
       std::nullopt,
       R"({"method":"cleaningHistory","parameters":{"modules":[)"
       R"({"lastCleanedBytes":7,"lastCleanedTimestamp":100.5,"moduleName":"Memory","totalCleanedBytes":17179869184},)"
       R"({"lastCleanedBytes":10,"lastCleanedTimestamp":1600000000.25,"moduleName":"System","totalCleanedBytes":20}]}})"},
      {"a row never cleaned",
       {Row{"Shredder", 0, 0, std::nullopt}},
       std::nullopt,
       R"({"method":"cleaningHistory","parameters":{"modules":[)"
       R"({"lastCleanedBytes":0,"lastCleanedTimestamp":null,"moduleName":"Shredder","totalCleanedBytes":0}]}})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(json(CleanHistory::report(c.rows, c.lastCompleteClean, kMemory)), c.expected);
  }
}

}  // namespace
}  // namespace vozi
