#pragma once
// Running the program (or a tool) as a child process in tests: its exit status and what it
// printed, optionally on a pseudo-terminal that the test types into.

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

namespace kalu::test {

// SIGKILL, the signal no process can catch.
constexpr int kKillSignal = 9;

struct ProcessResult {
  int status = -1;     // exit status, or 128 + signal
  std::string output;  // standard output and error together
};

// Runs `args` (args[0] is the program path) in the working folder with standard input from
// /dev/null, and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& args);

// A child process running on its own, standard input from /dev/null and its output
// discarded, that the test can stop at a moment of its choice. Killed when the object
// goes while it still runs.
class BackgroundProcess {
 public:
  explicit BackgroundProcess(const std::vector<std::string>& args);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool Running();
  // Sends `signal` (SIGKILL by default), waits for the end and returns the exit status.
  int Kill(int signal = kKillSignal);

 private:
  int pid_ = -1;
  int status_ = -1;
};

// A child process on a pseudo-terminal: the test reads its screen output and types keys.
class PtyProcess {
 public:
  explicit PtyProcess(const std::vector<std::string>& args);
  ~PtyProcess();
  PtyProcess(const PtyProcess&) = delete;
  PtyProcess& operator=(const PtyProcess&) = delete;

  // Reads until `text` has appeared in the output (true) or the time is up (false).
  bool WaitFor(const std::string& text, std::chrono::milliseconds timeout);
  void Type(const std::string& keys);
  // Waits for the end of the process and returns its exit status.
  int Wait(std::chrono::milliseconds timeout);
  const std::string& Output() const { return output_; }

 private:
  void ReadAvailable(int waitMs);
  int fd_ = -1;
  int pid_ = -1;
  int status_ = -1;
  std::string output_;
};

}  // namespace kalu::test
