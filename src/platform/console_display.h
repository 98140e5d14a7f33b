#pragma once
// The display of a run without a window: the progress text on one line rewritten in place
// on a terminal (a line per phase otherwise), each message printed and, when someone is
// at the terminal, acknowledged with Enter. Unattended, every message is acknowledged at
// once.

#include <cstdio>
#include <string>

#include "platform/display.h"

namespace kalu {

class ConsoleDisplay : public Display {
 public:
  // `out` is where the display writes; `in` where Enter is read (null: unattended).
  ConsoleDisplay(std::FILE* out, std::FILE* in, bool terminal);

  void SetProgress(std::string_view text) override;
  void ShowMessage(std::string_view text) override;
  void PumpMessages() override {}
  int16_t MousePointer() const override { return pointer_; }
  void SetMousePointer(int16_t code) override { pointer_ = code; }
  void ShowMainWindow() override;
  void HideWindows() override;
  void WaitForInput(int ms) override;
  // Prints the error that ended the run.
  void ShowError(std::string_view text);

 private:
  void EndProgressLine();
  std::string Paint(const char* color, std::string_view text) const;

  std::FILE* out_;
  std::FILE* in_;
  bool terminal_;
  bool progressShown_ = false;
  int16_t pointer_ = kPointerDefault;
};

}  // namespace kalu
