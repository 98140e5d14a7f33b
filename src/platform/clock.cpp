#include "platform/clock.h"

#include <chrono>
#include <cstdio>

namespace kalu {

DateValue SystemClock::Now() const {
  std::tm local = LocalTime(std::time(nullptr));
  return MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec);
}

int64_t SystemClock::TickCount() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::tm LocalTime(std::time_t moment) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &moment);
#else
  localtime_r(&moment, &local);
#endif
  return local;
}

std::string IsoLocalTime(std::chrono::system_clock::time_point moment) {
  using namespace std::chrono;
  const std::time_t seconds = system_clock::to_time_t(moment);
  const std::tm local = LocalTime(seconds);
  // The offset is the local wall clock read as if it were UTC, less the moment itself.
  const sys_days day =
      year_month_day(year(local.tm_year + 1900), month(static_cast<unsigned>(local.tm_mon + 1)),
                     std::chrono::day(static_cast<unsigned>(local.tm_mday)));
  const int64_t wall = day.time_since_epoch().count() * 86400 + local.tm_hour * 3600 +
                       local.tm_min * 60 + local.tm_sec;
  const int64_t offset = (wall - static_cast<int64_t>(seconds)) / 60;  // minutes east of UTC
  const int64_t minutes = offset < 0 ? -offset : offset;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                offset < 0 ? '-' : '+', static_cast<int>(minutes / 60),
                static_cast<int>(minutes % 60));
  return text;
}

}  // namespace kalu
