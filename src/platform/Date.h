#pragma once

#include <compare>
#include <string>

namespace vozi::platform {

// A point in time as seconds since 2001-01-01 00:00:00 UTC, the reference
// date of the stored files and archives this daemon exchanges. The double is
// the whole state, so copies and round trips through it are exact.
class Date {
 public:
  // Seconds from 1970-01-01 to 2001-01-01.
  static constexpr double kIntervalBetween1970And2001 = 978307200.0;

  constexpr Date() = default;
  constexpr explicit Date(double secondsSinceReferenceDate) : seconds_(secondsSinceReferenceDate) {}

  static Date now();
  static Date fromTimeIntervalSince1970(double seconds) { return Date(seconds - kIntervalBetween1970And2001); }
  static Date distantPast() { return Date(-63114076800.0); }
  static Date distantFuture() { return Date(63113904000.0); }

  double timeIntervalSinceReferenceDate() const { return seconds_; }
  double timeIntervalSince1970() const { return seconds_ + kIntervalBetween1970And2001; }
  double timeIntervalSince(const Date& other) const { return seconds_ - other.seconds_; }
  double timeIntervalSinceNow() const { return seconds_ - now().seconds_; }
  Date addingTimeInterval(double seconds) const { return Date(seconds_ + seconds); }

  // "yyyy-MM-dd HH:mm:ss +0000", in UTC, whole seconds rounded down.
  std::string description() const;

  friend bool operator==(const Date&, const Date&) = default;
  friend auto operator<=>(const Date& a, const Date& b) { return a.seconds_ <=> b.seconds_; }

 private:
  double seconds_ = 0;
};

}  // namespace vozi::platform
