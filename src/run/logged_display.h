#pragma once
// A display that also writes what it shows to the run log: every message, and progress
// texts at most a few a second.

#include "platform/display.h"
#include "run/run_log.h"

namespace kalu {

class LoggedDisplay : public Display {
 public:
  LoggedDisplay(Display& inner, RunLog& log) : inner_(inner), log_(log) {}

  void SetProgress(std::string_view text) override {
    log_.Progress(text);
    inner_.SetProgress(text);
  }
  void ShowMessage(std::string_view text) override {
    log_.Line("Mensaje: " + std::string(text));
    inner_.ShowMessage(text);
  }
  void PumpMessages() override { inner_.PumpMessages(); }
  int16_t MousePointer() const override { return inner_.MousePointer(); }
  void SetMousePointer(int16_t code) override { inner_.SetMousePointer(code); }
  void ShowMainWindow() override { inner_.ShowMainWindow(); }
  void HideWindows() override { inner_.HideWindows(); }
  void WaitForInput(int ms) override { inner_.WaitForInput(ms); }

 private:
  Display& inner_;
  RunLog& log_;
};

}  // namespace kalu
