#pragma once
// Lets window messages through from a long loop, at most once per 10 ms of the tick count,
// so that the progress display repaints and the main window can be closed. A loop that
// counts its rows tells the running step of them at the same pace; a walk over a known
// number of rows tells it how far it is.

#include <cstdint>

#include "startup/context.h"

namespace kalu {

class MessagePump {
 public:
  explicit MessagePump(Context& ctx) : ctx_(ctx), lastTick_(ctx.clock.TickCount()) {}

  void EveryTenMs() {
    int64_t now = ctx_.clock.TickCount();
    if (now - lastTick_ > 10) {
      lastTick_ = now;
      ReportRows();
      ctx_.display.PumpMessages();
    }
  }

  // Counts `n` rows handled by the running step, `done` of `total` when the amount of work
  // is known (total 0: unknown).
  void CountRows(int64_t n, int64_t done = 0, int64_t total = 0) {
    rows_ += n;
    done_ = done;
    total_ = total;
  }
  // Tells the running step of the rows counted since it last heard; a loop calls it once
  // more at its end.
  void ReportRows() {
    if (rows_ != 0) ctx_.steps.AddRows(rows_);
    if (total_ != 0) ctx_.steps.SetWork(done_, total_);
    rows_ = 0;
  }

 private:
  Context& ctx_;
  int64_t lastTick_;
  int64_t rows_ = 0;
  int64_t done_ = 0;
  int64_t total_ = 0;
};

// Tells the running step how far a walk over `total` rows is and counts the rows it has
// handled: at its start, at most once per 10 ms of the tick count, and at its end.
class WalkWork {
 public:
  WalkWork(Context& ctx, int64_t total)
      : ctx_(ctx), total_(total), lastTick_(ctx.clock.TickCount()) {
    ctx_.steps.SetWork(0, total_);
  }

  void Row() {
    ++done_;
    int64_t now = ctx_.clock.TickCount();
    if (now - lastTick_ > 10) {
      lastTick_ = now;
      Report();
    }
  }
  void Finish() { Report(); }

 private:
  void Report() {
    ctx_.steps.SetWork(done_, total_);
    ctx_.steps.AddRows(done_ - reported_);
    reported_ = done_;
  }

  Context& ctx_;
  int64_t total_;
  int64_t done_ = 0;
  int64_t reported_ = 0;
  int64_t lastTick_;
};

}  // namespace kalu
