// Force-included into every C++ file of the fuzz build (see
// cmake/VoziFuzz.cmake). clang 14 has no __builtin_source_location, so GCC
// 12's <source_location> declares nothing under it; this supplies the same
// class from the builtins clang 14 does have. Other compilers see the
// standard header unchanged.
#pragma once

#include <source_location>

#if !defined(__cpp_lib_source_location) && defined(__clang__)
#include <cstdint>

namespace std {

struct source_location {
  // The default arguments are evaluated where current() is called, so the
  // caller's place is what is recorded. constexpr rather than consteval:
  // clang 14 refuses a consteval call as a default argument.
  static constexpr source_location current(const char* file = __builtin_FILE(),
                                           const char* function = __builtin_FUNCTION(),
                                           uint_least32_t line = __builtin_LINE(),
                                           uint_least32_t column = __builtin_COLUMN()) noexcept {
    source_location location;
    location.file_ = file;
    location.function_ = function;
    location.line_ = line;
    location.column_ = column;
    return location;
  }

  constexpr source_location() noexcept = default;
  constexpr uint_least32_t line() const noexcept { return line_; }
  constexpr uint_least32_t column() const noexcept { return column_; }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr const char* function_name() const noexcept { return function_; }

 private:
  const char* file_ = "";
  const char* function_ = "";
  uint_least32_t line_ = 0;
  uint_least32_t column_ = 0;
};

}  // namespace std

#define __cpp_lib_source_location 201907L
#endif
