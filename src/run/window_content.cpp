#include "run/window_content.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace kalu {

int MessageTimeoutFromEnvironment() {
  const char* value = std::getenv("KALU_MESSAGE_TIMEOUT_MS");
  if (!value || !*value) return 0;
  try {
    return std::max(0, std::stoi(value));
  } catch (const std::exception&) {
    return 0;
  }
}

bool IsFrameworkCommand(std::string_view key) {
  return key.size() >= 2 && std::toupper(static_cast<unsigned char>(key[0])) == 'Z' &&
         std::toupper(static_cast<unsigned char>(key[1])) == 'Q';
}

std::string RowTitle(const Step& step) {
  std::string title = std::to_string(static_cast<int>(step.id) + 1) + ". " + step.title;
  if (!step.detail.empty()) title += ": " + step.detail;
  return title;
}

std::string RowTime(const Step& step) {
  return step.state == StepState::Waiting ? std::string() : SecondsText(step.seconds);
}

std::string RowRows(const Step& step) {
  return step.state != StepState::Waiting && step.rows > 0 ? GroupedNumber(step.rows)
                                                           : std::string();
}

std::string ElapsedText(int64_t seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "Tiempo transcurrido: %lld:%02lld:%02lld",
                static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
  return text;
}

std::string StepCaption(const std::vector<Step>& steps, int current) {
  return "Paso " + std::to_string(current + 1) + " de " + std::to_string(steps.size()) + ": " +
         steps[current].title;
}

std::string FailureText(const Step& step) {
  return step.title + " falló: " + step.error;
}

StepBar StepBarOf(const Step& step) {
  int percent = PercentDone(step);
  if (step.state == StepState::Running && percent < 0) return {true, 0, false};
  return {false, step.state == StepState::Done ? 100 : (percent < 0 ? 0 : percent),
          step.state == StepState::Running || step.state == StepState::Done};
}

std::string PercentText(int percent) {
  return std::to_string(percent) + " %";
}

}  // namespace kalu
