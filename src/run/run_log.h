#pragma once
// The run log, kalu-upgrade.log in the working folder: start and end with their times,
// each message shown, each procedure's start and elapsed time, each fatal error, and
// progress texts at most a few a second. It never holds a password.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kalu {

class RunLog {
 public:
  // Appends to `path`; an empty path or a file that cannot be opened gives a log that
  // writes nothing.
  explicit RunLog(const std::string& path);
  RunLog() = default;

  // One line, with the local time in front.
  void Line(std::string_view text);
  // A progress text, kept only when the last one kept is older than a quarter second.
  void Progress(std::string_view text);
  bool IsOpen() const { return file_ != nullptr; }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::chrono::steady_clock::time_point lastProgress_{};
};

}  // namespace kalu
