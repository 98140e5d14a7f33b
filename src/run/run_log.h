#pragma once
// The run log, kalu-upgrade.log in the working folder: start and end with their times,
// each message shown, each procedure's start and elapsed time, each fatal error, and
// progress texts at most a few a second. It never holds a password.
//
// When the working folder cannot take the log (a folder the user may not write, a disk
// that is full), the lines go to the file of the same name in the user's own state folder
// (UserStateFolder), whose first line says why; Notice() names that file for the
// operator. A line that can go nowhere is told on standard error.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kalu {

class RunLog {
 public:
  // Appends to `path`, or to the file aside when it cannot be opened; an empty path gives
  // a log that writes nothing.
  explicit RunLog(const std::string& path);
  RunLog() = default;

  // One line, with the local time in front.
  void Line(std::string_view text);
  // A progress text, kept only when the last one kept is older than a quarter second.
  void Progress(std::string_view text);
  bool IsOpen() const { return file_ != nullptr; }
  // What the operator is to be told of the log: where it went instead of the working
  // folder, or that it can be written nowhere; empty while it is where it was asked.
  const std::string& Notice() const { return notice_; }

 private:
  // Opens the file aside, once, after `why` kept the lines from the working folder; false
  // when it cannot take them either (the log is then lost).
  bool MoveAside(const std::string& why);
  // Gives up the log: what went wrong becomes the notice and is told on standard error.
  void Lose(const std::string& what);
  bool Write(std::string_view stampedLine);

  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::string path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::string aside_;  // the file aside, once the lines go there
  std::string notice_;
  std::chrono::steady_clock::time_point lastProgress_{};
};

}  // namespace kalu
