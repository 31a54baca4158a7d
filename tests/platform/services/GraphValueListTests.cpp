#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/AllowedClasses.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

using namespace vozi::platform;

namespace {

struct ValueCase {
  const char* name;
  Value value;
  AllowedClasses list;
  bool accepted;
};

}  // namespace

// A receiver's class list bounds free-form values as it bounds records: a
// userInfo dictionary cannot smuggle in a class the list leaves out.
TEST(GraphValueList, FreeFormValuesAreCheckedAgainstTheGraphList) {
  const AllowedClasses kNotification{"NSDictionary", "NSString", "NSNumber", "NSArray"};
  const Value date{Date(1000.0)};
  const std::vector<ValueCase> cases = {
      {"strings and numbers in a dictionary",
       Value(Value::Dictionary{{"s", Value("x")}, {"n", Value(1)}, {"list", Value(Value::Array{Value("y")})}}),
       kNotification, true},
      {"a date inside a dictionary", Value(Value::Dictionary{{"when", date}}), kNotification, false},
      {"a date deeper down", Value(Value::Dictionary{{"list", Value(Value::Array{date})}}), kNotification, false},
      {"the date listed", Value(Value::Dictionary{{"when", date}}),
       AllowedClasses{"NSDictionary", "NSDate"}, true},
      {"a number the list leaves out", Value(Value::Dictionary{{"n", Value(1)}}),
       AllowedClasses{"NSDictionary", "NSString"}, false},
      {"data the list leaves out", Value(Value::Dictionary{{"d", Value(Data{1, 2})}}), kNotification, false},
      {"an array the list leaves out", Value(Value::Array{Value("x")}), AllowedClasses{"NSDictionary", "NSString"},
       false},
      {"NSObject admits every class", Value(Value::Dictionary{{"when", date}}), AllowedClasses{"NSObject"}, true},
      {"a number read on its own is a typed read", Value(5), AllowedClasses{"SomeRecord"}, true},
      {"a date read on its own is not", date, AllowedClasses{"NSString"}, false},
      {"no list: anything", Value(Value::Dictionary{{"when", date}}), AllowedClasses{}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    KeyedArchiver archiver;
    archiver.encodePropertyList("value", c.value);
    auto bytes = archiver.finishEncoding();
    ASSERT_TRUE(bytes.ok());
    KeyedUnarchiver unarchiver(*bytes);
    unarchiver.setAllowedClassesForGraph(c.list);
    auto decoded = unarchiver.decodePropertyListForKey("value");
    EXPECT_EQ(!unarchiver.error().has_value(), c.accepted);
    if (c.accepted) {
      ASSERT_TRUE(decoded.has_value());
      EXPECT_EQ(*decoded, c.value);
    } else {
      EXPECT_NE(unarchiver.error()->localizedDescription().find("is not allowed"), std::string::npos);
    }
  }
}
