#include "run/steps.h"

#include <cstdio>

#include "runtime/failure_point.h"

namespace kalu {

Steps::Steps() : created_(std::chrono::steady_clock::now()) {
  for (const StepInfo& info : kStepTable) {
    Step step;
    step.id = info.id;
    step.title = info.title;
    steps_.push_back(step);
  }
}

double Steps::Elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - created_).count();
}

double Steps::SinceBegin() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun_).count();
}

void Steps::Begin(StepId id) {
  FailurePoint("step", kStepTable[static_cast<int>(id)].reportKey);
  if (running_) End();
  current_ = static_cast<int>(id);
  running_ = true;
  Step& s = steps_[current_];
  // A step begun again after it was done resumes: its time and rows go on adding up.
  begun_ = std::chrono::steady_clock::now();
  if (s.state == StepState::Done) {
    begun_ -= std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(s.seconds));
  } else {
    s.seconds = 0;
    s.rows = 0;
  }
  s.state = StepState::Running;
  s.done = s.total = 0;
  s.error.clear();
  Changed();
}

void Steps::SetWork(int64_t done, int64_t total) {
  if (!running_) return;
  Step& s = steps_[current_];
  s.done = done;
  s.total = total;
  s.seconds = SinceBegin();
  Changed();
}

void Steps::AddRows(int64_t n) {
  if (!running_) return;
  Step& s = steps_[current_];
  s.rows += n;
  s.seconds = SinceBegin();
  Changed();
}

void Steps::SetDetail(std::string_view detail) {
  if (!running_) return;
  steps_[current_].detail = std::string(detail);
  Changed();
}

void Steps::End() {
  if (!running_) return;
  Step& s = steps_[current_];
  s.state = s.error.empty() ? StepState::Done : StepState::Failed;
  s.seconds = SinceBegin();
  if (s.total > 0) s.done = s.total;
  running_ = false;
  Changed();
}

void Steps::Fail(std::string_view error) {
  if (!running_) return;
  Step& s = steps_[current_];
  s.state = StepState::Failed;
  s.seconds = SinceBegin();
  s.error = std::string(error);
  running_ = false;
  Changed();
}

void Steps::Fault(std::string_view error) {
  if (!running_ || !steps_[current_].error.empty()) return;
  steps_[current_].error = std::string(error);
  Changed();
}

bool Steps::AnyFailed() const {
  for (const Step& s : steps_) {
    if (s.state == StepState::Failed) return true;
  }
  return false;
}

void Steps::Summarize(const std::vector<std::string>& lines) {
  if (observer_) observer_->RunSummarized(lines);
}

void Steps::Notice(std::string_view text) {
  notices_.emplace_back(text);
  if (observer_) observer_->Noticed(text);
}

void Steps::Changed() {
  if (observer_) observer_->StepsChanged(steps_, current_);
}

bool PaintPace::Due(const std::vector<Step>& steps, int current) {
  auto now = std::chrono::steady_clock::now();
  bool changed = current != paintedCurrent_ || painted_.size() != steps.size();
  for (size_t i = 0; !changed && i < steps.size(); ++i) changed = painted_[i] != steps[i].state;
  if (!changed && now - last_ < interval_) return false;
  painted_.clear();
  for (const Step& s : steps) painted_.push_back(s.state);
  paintedCurrent_ = current;
  last_ = now;
  return true;
}

std::string GroupedNumber(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += '.';
    text += digits[i];
  }
  return n < 0 ? "-" + text : text;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

int PercentDone(const Step& step) {
  if (step.total <= 0) return -1;
  int64_t done = step.done < 0 ? 0 : (step.done > step.total ? step.total : step.done);
  return static_cast<int>(done * 100 / step.total);
}

}  // namespace kalu
