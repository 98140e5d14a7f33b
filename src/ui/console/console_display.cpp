#include "ui/console/console_display.h"

#include <poll.h>

#include <chrono>
#include <thread>

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

ConsoleDisplay::ConsoleDisplay(std::FILE* out, std::FILE* in, bool terminal)
    : out_(out), in_(in), terminal_(terminal) {}

std::string ConsoleDisplay::Paint(const char* color, std::string_view text) const {
  if (!terminal_) return std::string(text);
  return std::string(color) + std::string(text) + kReset;
}

void ConsoleDisplay::EndProgressLine() {
  if (terminal_ && progressShown_) std::fputs("\r\x1b[K", out_);
  progressShown_ = false;
  progressText_.clear();
}

void ConsoleDisplay::SetProgress(std::string_view text) {
  if (terminal_) {
    progressText_ = CutToChars(text, 100);
    PaintProgressLine();
  } else if (IsPhase(text)) {
    std::fprintf(out_, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(out_);
  }
}

void ConsoleDisplay::PaintProgressLine() {
  std::string line = progressText_.empty() ? "" : Paint(kCyan, progressText_);
  if (percent_ >= 0) line += "  " + Paint(kBold, std::to_string(percent_) + " %");
  std::fprintf(out_, "\r\x1b[K%s", line.c_str());
  progressShown_ = !progressText_.empty() || percent_ >= 0;
  std::fflush(out_);
}

std::string ConsoleDisplay::StepLine(const Step& step) {
  constexpr std::size_t kDotsEnd = 40;
  std::string line = step.title + " ";
  for (std::size_t n = CharLength(line); n < kDotsEnd; ++n) line += '.';
  line += std::string(" ") + StateText(step.state) + "  " + SecondsText(step.seconds);
  if (step.rows > 0) line += "  " + GroupedNumber(step.rows) + " filas";
  if (!step.detail.empty()) line += "  " + step.detail;
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
    std::fprintf(out_, "%s\n", Paint(color, StepLine(steps[i])).c_str());
    std::fflush(out_);
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
  std::fprintf(out_, "%s\n", Paint(kBold, "[ACEPTAR] " + shown).c_str());
  if (in_) {
    std::fputs("Presione Enter para ACEPTAR...", out_);
    std::fflush(out_);
    int c;
    while ((c = std::fgetc(in_)) != EOF && c != '\n') {
    }
    std::fputc('\n', out_);
  }
  std::fflush(out_);
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
  std::fprintf(out_, "%s\n", Paint(color, shown).c_str());
  std::fflush(out_);
}

void ConsoleDisplay::ShowMainWindow() {
  std::fprintf(out_, "%s\n", Paint(kBold, "Actualizacion Versión 24.03.20").c_str());
  std::fflush(out_);
}

void ConsoleDisplay::HideWindows() {
  EndProgressLine();
}

void ConsoleDisplay::WaitForInput(int ms) {
  if (!in_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  pollfd fd{fileno(in_), POLLIN, 0};
  poll(&fd, 1, ms);
}

}  // namespace kalu
