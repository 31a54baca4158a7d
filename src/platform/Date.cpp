#include "platform/Date.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace vozi::platform {

Date Date::now() {
  using namespace std::chrono;
  const auto since1970 = duration<double>(system_clock::now().time_since_epoch()).count();
  return fromTimeIntervalSince1970(since1970);
}

std::string Date::description() const {
  using namespace std::chrono;
  const double since1970 = std::floor(timeIntervalSince1970());
  // Keep within four-digit years (0000 to 9999); out-of-range dates clamp.
  const double clamped = std::fmax(std::fmin(since1970, 253402300799.0), -62167219200.0);
  const sys_seconds tp{seconds{static_cast<long long>(clamped)}};
  const auto day = floor<days>(tp);
  const year_month_day ymd{day};
  const hh_mm_ss hms{tp - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d +0000", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                static_cast<int>(hms.seconds().count()));
  return text;
}

}  // namespace vozi::platform
