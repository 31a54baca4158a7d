#include <gtest/gtest.h>

#include "common/BigFileItem.h"
#include "common/FileSizeCategory.h"

namespace vozi {
namespace {

// Both classifiers on and around the bounds: a big-file item puts a size on
// a bound into the bucket below, a file model into the bucket above.
TEST(FileSizeCategory, BothClassifiersAgreeExceptOnTheBounds) {
  using C = FileSizeCategory;
  struct Case {
    std::uint64_t size;
    C strict;
    C inclusive;
  };
  const Case cases[] = {
      {0, C::less50MB, C::less50MB},
      {52422799, C::less50MB, C::less50MB},
      {52422800, C::less50MB, C::from50MBTo500MB},
      {52422801, C::from50MBTo500MB, C::from50MBTo500MB},
      {52428800, C::from50MBTo500MB, C::from50MBTo500MB},
      {524228000, C::from50MBTo500MB, C::from500MBTo1GB},
      {524228001, C::from500MBTo1GB, C::from500MBTo1GB},
      {524288000, C::from500MBTo1GB, C::from500MBTo1GB},
      {1073741823, C::from500MBTo1GB, C::from500MBTo1GB},
      {1073741824, C::from500MBTo1GB, C::bigger1GB},
      {1073741825, C::bigger1GB, C::bigger1GB},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fileSizeCategoryStrict(c.size), c.strict) << c.size;
    EXPECT_EQ(fileSizeCategoryInclusive(c.size), c.inclusive) << c.size;
    const BigFileItem item(platform::URL::fileURLWithPath("/b"), c.size, std::nullopt, "", 2);
    EXPECT_EQ(item.fileSizeCategory(), static_cast<long>(c.strict)) << c.size;
  }
}

TEST(FileSizeCategory, RawValuesAreTheCaseNamesExactly) {
  for (const auto category : {FileSizeCategory::bigger1GB, FileSizeCategory::from500MBTo1GB,
                              FileSizeCategory::from50MBTo500MB, FileSizeCategory::less50MB}) {
    EXPECT_EQ(fromRawValue<FileSizeCategory>(rawValue(category)), category);
  }
  EXPECT_EQ(rawValue(FileSizeCategory::from50MBTo500MB), "from50MBTo500MB");
  for (const char* refused : {"Bigger1GB", "bigger1gb", "", "less50MB "})
    EXPECT_FALSE(fromRawValue<FileSizeCategory>(refused)) << refused;
}

TEST(FileLastOpenInterval, RawValuesAreExactSecondCounts) {
  EXPECT_EQ(fileLastOpenInterval(-2592000.0), FileLastOpenInterval::daysAgo30);
  EXPECT_EQ(fileLastOpenInterval(-5184000.0), FileLastOpenInterval::daysAgo60);
  EXPECT_EQ(fileLastOpenInterval(-7776000.0), FileLastOpenInterval::daysAgo90);
  EXPECT_EQ(rawValue(FileLastOpenInterval::daysAgo90), -7776000.0);
  for (const double refused : {-2592000.5, 2592000.0, 0.0}) EXPECT_FALSE(fileLastOpenInterval(refused)) << refused;
}

}  // namespace
}  // namespace vozi
