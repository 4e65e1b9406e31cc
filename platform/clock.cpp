// System and fixed clocks.
#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace platform {

DateTime SystemClock::now() const {
  auto tp = std::chrono::system_clock::now();
  std::time_t secs = std::chrono::system_clock::to_time_t(tp);
  std::tm local{};
  localtime_r(&secs, &local);
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count() % 1000;
  return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,       local.tm_hour,
                  local.tm_min,         local.tm_sec,     static_cast<int>(ms)};
}

void FixedClock::advance_ms(int64_t ms) {
  using namespace std::chrono;
  sys_days day = year_month_day{year{now_.year}, month{static_cast<unsigned>(now_.month)},
                                std::chrono::day{static_cast<unsigned>(now_.day)}};
  milliseconds t = duration_cast<milliseconds>(day.time_since_epoch()) + hours{now_.hour} +
                   minutes{now_.minute} + seconds{now_.second} + milliseconds{now_.millis + ms};
  sys_days new_day = floor<days>(sys_time<milliseconds>{t});
  year_month_day ymd{new_day};
  milliseconds rest = t - duration_cast<milliseconds>(new_day.time_since_epoch());
  now_.year = static_cast<int>(ymd.year());
  now_.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  now_.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  now_.hour = static_cast<int>(rest.count() / 3600000);
  now_.minute = static_cast<int>(rest.count() / 60000 % 60);
  now_.second = static_cast<int>(rest.count() / 1000 % 60);
  now_.millis = static_cast<int>(rest.count() % 1000);
}

std::string format_date(const DateTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", t.day % 100, t.month % 100, t.year % 10000);
  return buf;
}

std::string format_time(const DateTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
  return buf;
}

}  // namespace platform
