#include "run/run_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace kalu {

namespace {

std::string Stamped(std::string_view text) {
  std::tm local = LocalTime(std::time(nullptr));
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(stamp) + " " + std::string(text) + "\n";
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(PathOf(path), ec);
  return ec ? path : TextOf(absolute);
}

}  // namespace

RunLog::RunLog(const std::string& path) : path_(path) {
  if (path_.empty()) return;
  file_.reset(OpenFile(PathOf(path_), "a"));
  if (!file_) MoveAside(std::strerror(errno));
}

void RunLog::Line(std::string_view text) {
  if (!file_) return;  // no log asked for, or given up
  const std::string line = Stamped(text);
  if (Write(line)) return;
  const std::string why = std::strerror(errno);
  if (!aside_.empty()) return Lose(aside_ + " (" + why + ")");
  if (MoveAside(why) && !Write(line)) Lose(aside_ + " (" + std::strerror(errno) + ")");
}

void RunLog::Progress(std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) return;  // a blanked display
  auto now = std::chrono::steady_clock::now();
  if (now - lastProgress_ < std::chrono::milliseconds(250)) return;
  lastProgress_ = now;
  Line(std::string("  ") + std::string(text));
}

bool RunLog::MoveAside(const std::string& why) {
  const std::string asked = Absolute(path_) + " (" + why + ")";
  const std::filesystem::path folder = UserStateFolder("kalu-upgrade");
  if (folder.empty()) {
    Lose(asked + " ni en una carpeta del usuario");
    return false;
  }
  const std::filesystem::path aside = folder / PathOf(path_).filename();
  aside_ = TextOf(aside);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  file_.reset(OpenFile(aside, "a"));
  notice_ = "La bitácora se escribe en " + aside_ + ": no se puede escribir en " + asked;
  if (file_ && Write(Stamped(notice_))) return true;
  Lose(asked + " ni en " + aside_ + " (" + std::strerror(errno) + ")");
  return false;
}

void RunLog::Lose(const std::string& what) {
  file_.reset();
  notice_ = "No se puede escribir la bitácora en " + what + ": sus líneas se pierden";
  WriteText(stderr, "kalu-upgrade: " + notice_ + "\n");
}

bool RunLog::Write(std::string_view stampedLine) {
  const bool written =
      std::fwrite(stampedLine.data(), 1, stampedLine.size(), file_.get()) == stampedLine.size();
  return std::fflush(file_.get()) == 0 && written;
}

}  // namespace kalu
