#pragma once
// What a long run of the program asks of the system while it lasts: to be told when the
// system wants the program to end (so that the run stops at a safe point and says so), one
// run per store on the machine, and, on Windows, what an unattended night job needs (no
// error box that waits for a click, the machine kept awake, the console's QuickEdit off).

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kalu {

// Whether someone can answer the program's messages.
enum class Attendance {
  Present,  // an operator answers the window, or the terminal when standard input is one
  // Windows: the console program's standard input is not a console (a scheduled task, a
  // fleet tool): every message is acknowledged at once, the window (when it opens) only
  // shows the run.
  NoConsole,
  // Windows: the program runs as the system account or in session 0 (a service, a task that
  // runs whether a user is logged on or not): nobody sees a window there, so none is opened.
  OutOfSight,
};
// Linux tells the terminal from the window itself: always Present there.
Attendance ProgramAttendance();

// While it lives, the system's requests to end the program reach `interrupt`, on a thread
// of the watch: Ctrl+C, Ctrl+Break, the console window closed, logoff and shutdown on
// Windows; SIGINT, SIGTERM and SIGHUP on Linux (which no longer end the process by
// themselves). Where the system ends the process as soon as its handler returns (the
// console closed, logoff, shutdown), the handler first waits, up to what the system
// allows, for `stopped` to return true (the run has written its log and report). On
// Windows a program that uses the window system hears of logoff and shutdown from a window
// (WM_ENDSESSION), not from its console handler: the watch keeps a hidden one for that.
// On Linux the signals are blocked in the thread that makes the watch and in every thread
// made after it: make it first.
class InterruptWatch {
 public:
  InterruptWatch(std::function<void()> interrupt,
                 std::function<bool(std::chrono::milliseconds)> stopped);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// One run per store on this machine, whatever the user or session (Windows: a named mutex
// in the Global namespace, named after the store's folder; Linux: nothing, the store
// database's own lock is enough there). Taken() is false when another run holds it.
class MachineRunMark {
 public:
  explicit MachineRunMark(std::string_view storeFolder);
  ~MachineRunMark();
  MachineRunMark(const MachineRunMark&) = delete;
  MachineRunMark& operator=(const MachineRunMark&) = delete;
  bool Taken() const { return taken_; }

 private:
  void* handle_ = nullptr;
  bool taken_ = true;
};

// While it lives (Windows): the machine does not sleep; with `unattended`, no system error
// box (a missing disk, a crash) waits for a click; with `console`, the console's QuickEdit
// mode is off, so that a click in it does not pause the run (it comes back as it was).
// Linux: nothing.
class LongRunSettings {
 public:
  LongRunSettings(bool unattended, bool console);
  ~LongRunSettings();
  LongRunSettings(const LongRunSettings&) = delete;
  LongRunSettings& operator=(const LongRunSettings&) = delete;

 private:
  unsigned long consoleMode_ = 0;
  bool restoreConsole_ = false;
};

}  // namespace kalu
