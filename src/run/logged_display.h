#pragma once
// A display that also writes what it shows to the run log: every message, and progress
// texts at most a few a second. Where messages are let through and around every message,
// the run meets a stop request (a safe point).

#include "platform/display.h"
#include "run/run_log.h"
#include "run/stop_request.h"

namespace kalu {

class LoggedDisplay : public Display {
 public:
  // With `answerAlone`, nobody is there to answer: a message is only logged, as if
  // acknowledged at once (a window that nobody attends only shows the run).
  LoggedDisplay(Display& inner, RunLog& log, const StopRequest& stop, bool answerAlone = false)
      : inner_(inner), log_(log), stop_(stop), answerAlone_(answerAlone) {}

  void SetProgress(std::string_view text) override {
    log_.Progress(text);
    inner_.SetProgress(text);
  }
  void ShowMessage(std::string_view text) override {
    stop_.AtSafePoint();
    log_.Line("Mensaje: " + std::string(text));
    if (!answerAlone_) inner_.ShowMessage(text);
    stop_.AtSafePoint();
  }
  void PumpMessages() override {
    inner_.PumpMessages();
    stop_.AtSafePoint();
  }
  int16_t MousePointer() const override { return inner_.MousePointer(); }
  void SetMousePointer(int16_t code) override { inner_.SetMousePointer(code); }
  void ShowMainWindow() override { inner_.ShowMainWindow(); }
  void HideWindows() override { inner_.HideWindows(); }
  void WaitForInput(int ms) override { inner_.WaitForInput(ms); }

 private:
  Display& inner_;
  RunLog& log_;
  const StopRequest& stop_;
  bool answerAlone_;
};

}  // namespace kalu
