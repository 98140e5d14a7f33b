#pragma once
// Lets window messages through from a long loop, at most once per 10 ms of the tick count,
// so that the progress display repaints and the main window can be closed. A loop that
// counts its rows tells the running step of them, and how far it is, at the same pace.

#include <cstdint>

#include "run/context.h"

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
  // A walk over `total` rows begins: the running step hears of the amount at once.
  void BeginWalk(int64_t total) {
    CountRows(0, 0, total);
    ReportRows();
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

}  // namespace kalu
