#include "run/run_log.h"

#include <ctime>

#include "platform/clock.h"
#include "platform/paths.h"

namespace kalu {

RunLog::RunLog(const std::string& path) {
  if (!path.empty()) file_.reset(OpenFile(PathOf(path), "a"));
}

void RunLog::Line(std::string_view text) {
  if (!file_) return;
  std::tm local = LocalTime(std::time(nullptr));
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::fprintf(file_.get(), "%s %.*s\n", stamp, static_cast<int>(text.size()), text.data());
  std::fflush(file_.get());
}

void RunLog::Progress(std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) return;  // a blanked display
  auto now = std::chrono::steady_clock::now();
  if (now - lastProgress_ < std::chrono::milliseconds(250)) return;
  lastProgress_ = now;
  Line(std::string("  ") + std::string(text));
}

}  // namespace kalu
