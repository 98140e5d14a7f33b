#pragma once
// The display of the run: the progress text (third panel of the main window's status
// bar), information messages with an OK button, the message pump and the mouse pointer.
// One display per process; the Qt window, the console and the recording display of the
// tests implement it.

#include <cstdint>
#include <string>
#include <string_view>

namespace kalu {

constexpr int16_t kPointerDefault = 0;
constexpr int16_t kPointerHourglass = 11;

class Display {
 public:
  virtual ~Display() = default;
  // Replaces the progress text.
  virtual void SetProgress(std::string_view text) = 0;
  // Shows an information message with an OK button and returns when it is acknowledged.
  virtual void ShowMessage(std::string_view text) = 0;
  // Lets pending window messages through (repaint, a close request).
  virtual void PumpMessages() = 0;
  virtual int16_t MousePointer() const = 0;
  virtual void SetMousePointer(int16_t code) = 0;
  // Shows the main window (start-up) and hides every window (shutdown).
  virtual void ShowMainWindow() = 0;
  virtual void HideWindows() = 0;
  // Waits up to `ms` milliseconds, less when input or a message arrives.
  virtual void WaitForInput(int ms) = 0;
};

}  // namespace kalu
