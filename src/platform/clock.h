#pragma once
// The clock of the run: the local date and time as a date value, and the tick count.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

#include "runtime/convert.h"

namespace kalu {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateValue Now() const = 0;      // local date and time, whole seconds
  virtual int64_t TickCount() const = 0;  // milliseconds of a steady clock
};

class SystemClock : public Clock {
 public:
  DateValue Now() const override;
  int64_t TickCount() const override;
};

// A clock that stands still at a given moment (tests).
class FixedClock : public Clock {
 public:
  explicit FixedClock(DateValue now) : now_(now) {}
  DateValue Now() const override { return now_; }
  int64_t TickCount() const override { return ticks_ += 11; }
  void Set(DateValue now) { now_ = now; }

 private:
  DateValue now_;
  mutable int64_t ticks_ = 0;
};

// The local calendar time of a moment.
std::tm LocalTime(std::time_t moment);
// "2026-12-07T22:10:05-06:00": a moment in local time with its offset from UTC.
std::string IsoLocalTime(std::chrono::system_clock::time_point moment);

}  // namespace kalu
