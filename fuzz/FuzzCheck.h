// What the fuzz targets share: a failed invariant aborts with its reason, so
// libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "platform/PropertyList.h"

namespace vozi::fuzz {

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

inline void check(bool condition, const char* what) {
  if (!condition) fail(what);
}

// A value a reader accepted, written as a binary property list (when the
// writer takes it), must read back as the same value. The values are
// compared by what they write, so a NaN equals itself.
inline void checkPropertyListRoundTrip(const platform::Value& value) {
  auto binary = platform::PropertyList::toBinary(value);
  if (!binary) return;
  auto again = platform::PropertyList::fromBinary(*binary);
  check(again.ok(), "a written binary property list does not read back");
  auto rewritten = platform::PropertyList::toBinary(*again);
  check(rewritten.ok(), "a value read back from a binary property list cannot be written");
  check(*rewritten == *binary, "a value changed on its way through a binary property list");
}

}  // namespace vozi::fuzz
