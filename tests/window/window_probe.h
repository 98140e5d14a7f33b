#pragma once
// What the window tests read of a main window and do to it as the operator does, the same
// for every toolkit that draws it: the Qt window on Linux, the native window on Windows.
// Each window's test program gives its own probe; the tests themselves are written once.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display.h"

namespace kalu::test {

// What a message box showed while it was up.
struct SeenMessage {
  std::string title;
  std::string text;
  bool informationIcon = false;
  std::vector<std::string> buttons;  // their texts, "OK" for the OK button
};

// Watches for a message box of this process; notes what the first one shows and, when
// asked to, presses its OK button as the operator does.
class MessageWatch {
 public:
  virtual ~MessageWatch() = default;
  // What the box showed, once it has closed or the watch has ended.
  virtual std::vector<SeenMessage> Seen() = 0;
};

// Counts something over a while: the paints of a control, or the probes of the window
// while a run works.
class Tally {
 public:
  virtual ~Tally() = default;
  virtual int Count() = 0;
  // Probes that the window took a second or more to answer (0 for a paint count).
  virtual int Late() { return 0; }
};

enum class Pointer { Ordinary, Wait, Mixed };

class WindowProbe {
 public:
  virtual ~WindowProbe() = default;

  virtual Display& Screen() = 0;
  virtual bool Visible() = 0;
  virtual std::string Caption() = 0;
  // For each button of the tool bar (separators left out), whether it shows an image.
  virtual std::vector<bool> ToolBarImages() = 0;
  virtual int PanelCount() = 0;
  // The text of a panel of the status bar (1 to 3).
  virtual std::string Panel(int number) = 0;
  // The width and height the window keeps when it is made 200 by 150; then its size is
  // given back.
  virtual std::pair<int, int> ShrunkSize() = 0;
  virtual std::unique_ptr<Tally> CountProgressPaints() = 0;
  // Lets messages through for `ms` milliseconds.
  virtual void PumpFor(int ms) = 0;
  // A picture of the window under the build folder, where the toolkit can take one.
  virtual void Picture(const std::string& name) = 0;

  // `picture` names the picture taken while the box is up, where the toolkit can take one.
  virtual std::unique_ptr<MessageWatch> WatchMessages(bool pressOk,
                                                      const std::string& picture = "") = 0;
  virtual bool MessageUp() = 0;
  virtual void ClickToolButton(std::string_view key) = 0;
  // Runs a command by its key, as a menu would.
  virtual void Dispatch(std::string_view key) = 0;
  virtual Pointer PointerShown() = 0;
  // The operator's close, taken at the next message pump.
  virtual void Close() = 0;
  // Probes the window every tenth of a second, from outside the run's thread.
  virtual std::unique_ptr<Tally> ProbeAnswers() = 0;

  // The client area: the steps list, the step's caption and progress, the error of a failed
  // step, the time, the summary.
  virtual int StepRows() = 0;
  virtual std::string Cell(int row, int column) = 0;
  // The tip a failed step's state shows, where the list has tips.
  virtual std::optional<std::string> StateTip(int row) = 0;
  virtual std::string StepCaption() = 0;
  virtual int ProgressValue() = 0;
  virtual std::string ProgressText() = 0;
  virtual bool ProgressVisible() = 0;
  virtual std::string Elapsed() = 0;
  virtual bool ErrorVisible() = 0;
  virtual std::string ErrorText() = 0;
  virtual bool SummaryVisible() = 0;
  // Lines separated by "\n".
  virtual std::string SummaryText() = 0;
  // How long the window may wait before it paints the progress panel and the steps.
  virtual int ProgressPaintIntervalMs() = 0;
  virtual int StepsPaintIntervalMs() = 0;
};

// The probe of the test program's window; `onClose` runs when the operator closes it.
// Messages nobody answers close by themselves after 1.5 s.
std::unique_ptr<WindowProbe> MakeWindowProbe(std::function<void()> onClose);

}  // namespace kalu::test
