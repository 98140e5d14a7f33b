#pragma once
// The display of a run without a window: the progress text on one line rewritten in place
// on a terminal, with the running step's percentage when its amount of work is known (a
// line per phase otherwise); a line per step when it ends ("Códigos postales ........ ok
// 12.3 s  95.000 filas"); each message printed and, when someone is at the terminal,
// acknowledged with Enter; each notice of the run on a line of its own. Unattended, every
// message is acknowledged at once.

#include <cstdio>
#include <string>
#include <vector>

#include "platform/display.h"
#include "run/steps.h"
#include "run/stop_request.h"

namespace kalu {

class ConsoleDisplay : public Display, public StepObserver {
 public:
  // `out` is where the display writes; `in` where Enter is read (null: unattended). A
  // request to `stop` (null: none) ends the wait for Enter as well.
  ConsoleDisplay(std::FILE* out, std::FILE* in, bool terminal, const StopRequest* stop = nullptr);

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

  // Prints the line of each step that ended; on a terminal, keeps the running step's
  // percentage on the progress line.
  void StepsChanged(const std::vector<Step>& steps, int current) override;
  // Prints a notice of the run on its own line.
  void Noticed(std::string_view text) override;

  // The line of an ended step: its title, dots, the outcome, its time and rows.
  static std::string StepLine(const Step& step);

 private:
  void EndProgressLine();
  // Ends the progress line and prints `text` on a line of its own.
  void PrintLine(const char* color, std::string_view text);
  void PaintProgressLine();
  std::string Paint(const char* color, std::string_view text) const;

  std::FILE* out_;
  std::FILE* in_;
  bool terminal_;
  const StopRequest* stop_;
  bool progressShown_ = false;
  std::string progressText_;       // the progress text shown on the terminal's line
  int percent_ = -1;               // the running step's percentage, -1 when unknown
  std::vector<StepState> states_;  // the states of the steps at the last change
  int16_t pointer_ = kPointerDefault;
};

}  // namespace kalu
