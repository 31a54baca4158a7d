#include <gtest/gtest.h>

#include "sanitizers/CleaningScope.h"

namespace vozi {
namespace {

TEST(CleaningScopeTest, AdmitsOnlyCanonicalStoredPathsStrictlyBelowARoot) {
  CleaningScope scope;
  scope.roots = {"/r/Users/bob/Library/Caches", "/r/Library/Logs/"};
  scope.storedPaths = {"/r/Users/bob/Library/Caches/a",        "/r/Users/bob/Library/Caches/d/b.log",
                       "/r/Users/bob/Library/CachesX/c",       "/r/Users/bob/Library/Caches",
                       "/r/Users/bob/Library/Caches/../x",     "/r/Users/bob/Library/Caches/./a",
                       "/r/Users/bob/Library/Caches//a",       "/r/Users/bob/Library/Caches/a/",
                       "/r/Library/Logs/system.log",           "r/Users/bob/Library/Caches/a",
                       "/r/Users/bob/Library/Caches/.hidden"};
  const struct {
    const char* path;
    bool admitted;
  } cases[] = {
      {"/r/Users/bob/Library/Caches/a", true},
      {"/r/Users/bob/Library/Caches/d/b.log", true},
      {"/r/Users/bob/Library/Caches/.hidden", true},
      {"/r/Library/Logs/system.log", true},                // a root written with a trailing slash
      {"/r/Users/bob/Library/Caches/never-scanned", false},  // not in the stored scan
      {"/r/Users/bob/Library/CachesX/c", false},           // a prefix, not a whole component
      {"/r/Users/bob/Library/Caches", false},              // the root itself
      {"/r/Users/bob/Library/Caches/../x", false},
      {"/r/Users/bob/Library/Caches/./a", false},
      {"/r/Users/bob/Library/Caches//a", false},
      {"/r/Users/bob/Library/Caches/a/", false},
      {"r/Users/bob/Library/Caches/a", false},  // relative
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(scope.admits(c.path), c.admitted) << c.path;
}

TEST(CleaningScopeTest, NoRootsAdmitNothing) {
  CleaningScope scope;
  scope.storedPaths = {"/r/a"};
  EXPECT_FALSE(scope.admits("/r/a"));
  scope.roots = {""};
  EXPECT_FALSE(scope.admits("/r/a"));
}

}  // namespace
}  // namespace vozi
