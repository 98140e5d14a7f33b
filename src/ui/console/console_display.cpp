#include "ui/console/console_display.h"

#include <chrono>
#include <thread>

#include "platform/process.h"
#include "runtime/convert.h"
#include "runtime/text.h"

namespace kalu {

namespace {
constexpr const char* kBold = "\x1b[1m";
constexpr const char* kCyan = "\x1b[36m";
constexpr const char* kRed = "\x1b[1;31m";
constexpr const char* kYellow = "\x1b[1;33m";
constexpr const char* kReset = "\x1b[0m";

// A phase text ends with dots; row texts are only shown in place on a terminal.
bool IsPhase(std::string_view text) {
  std::string t = RTrim(text);
  return t.size() >= 2 && t.compare(t.size() - 2, 2, "..") == 0;
}
}  // namespace

ConsoleDisplay::ConsoleDisplay(std::FILE* out, std::FILE* in, bool terminal,
                               const StopRequest* stop)
    : out_(out), in_(in), terminal_(terminal), stop_(stop) {}

std::string ConsoleDisplay::Paint(const char* color, std::string_view text) const {
  if (!terminal_) return std::string(text);
  return std::string(color) + std::string(text) + kReset;
}

void ConsoleDisplay::EndProgressLine() {
  if (terminal_ && progressShown_) WriteText(out_, "\r\x1b[K");
  progressShown_ = false;
  progressText_.clear();
}

void ConsoleDisplay::SetProgress(std::string_view text) {
  if (terminal_) {
    progressText_ = CutToChars(text, 100);
    PaintProgressLine();
  } else if (IsPhase(text)) {
    WriteText(out_, std::string(text) + "\n");
  }
}

void ConsoleDisplay::PaintProgressLine() {
  std::string line = progressText_.empty() ? "" : Paint(kCyan, progressText_);
  if (percent_ >= 0) line += "  " + Paint(kBold, std::to_string(percent_) + " %");
  WriteText(out_, "\r\x1b[K" + line);
  progressShown_ = !progressText_.empty() || percent_ >= 0;
}

std::string ConsoleDisplay::StepLine(const Step& step) {
  constexpr std::size_t kDotsEnd = 40;
  std::string line = step.title + " ";
  for (std::size_t n = CharLength(line); n < kDotsEnd; ++n) line += '.';
  line += std::string(" ") + StateText(step.state) + "  " + SecondsText(step.seconds);
  if (step.rows > 0) line += "  " + GroupedNumber(step.rows) + " filas";
  if (!step.detail.empty()) line += "  " + step.detail;
  // The first line of the error that failed it: a fatal error is shown whole after it.
  if (step.state == StepState::Failed && !step.error.empty()) {
    line += "  " + step.error.substr(0, step.error.find_first_of("\r\n"));
  }
  return line;
}

void ConsoleDisplay::StepsChanged(const std::vector<Step>& steps, int current) {
  states_.resize(steps.size(), StepState::Waiting);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    bool ended = states_[i] == StepState::Running &&
                 (steps[i].state == StepState::Done || steps[i].state == StepState::Failed);
    states_[i] = steps[i].state;
    if (!ended) continue;
    EndProgressLine();
    const char* color = steps[i].state == StepState::Failed ? kRed : kBold;
    WriteText(out_, Paint(color, StepLine(steps[i])) + "\n");
  }
  if (!terminal_) return;
  bool running = current >= 0 && steps[current].state == StepState::Running;
  int percent = running ? PercentDone(steps[current]) : -1;
  // The line is painted again only when the percentage moves: at most a hundred times a step.
  if (percent == percent_) return;
  percent_ = percent;
  if (running) PaintProgressLine();
}

void ConsoleDisplay::ShowMessage(std::string_view text) {
  EndProgressLine();
  std::string shown = ReplaceAll(text, "\r\n", "\n");
  WriteText(out_, Paint(kBold, "[ACEPTAR] " + shown) + "\n");
  if (in_) {
    WriteText(out_, "Presione Enter para ACEPTAR...");
    auto stopping = [this] { return stop_ && stop_->Requested(); };
    while (!stopping() && !kalu::WaitForInput(in_, 200)) {
    }
    int c;
    while (!stopping() && (c = std::fgetc(in_)) != EOF && c != '\n') {
    }
    WriteText(out_, "\n");
  }
}

void ConsoleDisplay::ShowError(std::string_view text) {
  PrintLine(kRed, text);
}

void ConsoleDisplay::Noticed(std::string_view text) {
  PrintLine(kYellow, text);
}

void ConsoleDisplay::PrintLine(const char* color, std::string_view text) {
  EndProgressLine();
  std::string shown = ReplaceAll(text, "\r\n", "\n");
  WriteText(out_, Paint(color, shown) + "\n");
}

void ConsoleDisplay::ShowMainWindow() {
  WriteText(out_, Paint(kBold, "Actualizacion Versión 24.03.20") + "\n");
}

void ConsoleDisplay::HideWindows() {
  EndProgressLine();
}

void ConsoleDisplay::WaitForInput(int ms) {
  if (!in_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  kalu::WaitForInput(in_, ms);
}

}  // namespace kalu
