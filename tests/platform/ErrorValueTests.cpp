#include <gtest/gtest.h>

#include "platform/ErrorValue.h"

using namespace vozi::platform;

TEST(ErrorValue, BoxesAndUnboxesAnError) {
  const Error error("domain", -4, {{"k", Value("v")}});
  EXPECT_EQ(ErrorValue::unbox(ErrorValue::box(error)), error);
  EXPECT_FALSE(ErrorValue::unbox(Value("x")).has_value());
  EXPECT_FALSE(ErrorValue::underlyingError(error).has_value());
  EXPECT_EQ(ErrorValue::underlyingError(ErrorValue::withUnderlyingError(Error("a", 1), error)), error);
}
