#pragma once
// Lets window messages through from a long loop, at most once per 10 ms of the tick count,
// so that the progress display repaints and the main window can be closed.

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
      ctx_.display.PumpMessages();
    }
  }

 private:
  Context& ctx_;
  int64_t lastTick_;
};

}  // namespace kalu
