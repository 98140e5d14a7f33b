#pragma once
// A display for tests: keeps every progress text and message and answers messages at once.

#include <string>
#include <vector>

#include "platform/display.h"

namespace kalu {

class RecordingDisplay : public Display {
 public:
  void SetProgress(std::string_view text) override { progress.emplace_back(text); }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void PumpMessages() override { ++pumps; }
  int16_t MousePointer() const override { return pointer; }
  void SetMousePointer(int16_t code) override { pointer = code; }
  void ShowMainWindow() override { shown = true; }
  void HideWindows() override { shown = false; }
  void WaitForInput(int) override {}

  // The last progress text written, or empty.
  std::string LastProgress() const { return progress.empty() ? std::string() : progress.back(); }

  std::vector<std::string> progress;
  std::vector<std::string> messages;
  int pumps = 0;
  int16_t pointer = kPointerDefault;
  bool shown = false;
};

}  // namespace kalu
