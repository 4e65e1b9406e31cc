// Today's date and the time of day: the system clock, or a fixed clock for tests that
// advances only when a wait times out.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct DateTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
  int millis = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime now() const = 0;
};

class SystemClock : public Clock {
 public:
  DateTime now() const override;
};

class FixedClock : public Clock {
 public:
  explicit FixedClock(DateTime start) : now_(start) {}
  DateTime now() const override { return now_; }
  void set(DateTime t) { now_ = t; }
  // Moves the clock forward, carrying into minutes, hours and days.
  void advance_ms(int64_t ms);

 private:
  DateTime now_;
};

// "dd.mm.yyyy", the session's date format.
std::string format_date(const DateTime& t);
// "hh:mm:ss", 24-hour clock.
std::string format_time(const DateTime& t);

}  // namespace platform
