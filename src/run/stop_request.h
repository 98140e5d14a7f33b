#pragma once
// A request to stop the run at its next safe point: the operator closed the window, or the
// system asked the program to end (Ctrl+C, the console closed, logoff or shutdown on
// Windows; SIGINT, SIGTERM or SIGHUP on Linux). Any thread may make the request; the run's
// thread meets it where it lets window messages through (a safe point: between rows, with
// no statement half-sent), and then ends as the program entry says, with exit status 3.
// Whoever must wait for that end (a handler the system kills the process after) waits for
// Finished.
//
//   StopRequest stop;
//   // the window's thread, a signal's watch:  stop.Request(StopReason::WindowClosed);
//   // the run's thread, between two rows:     stop.AtSafePoint();  // raises RunStopped
//   // the program entry, once the run ended:  stop.Finished();

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace kalu {

enum class StopReason : int { None = 0, WindowClosed = 1, Interrupted = 2 };

// Raised at a safe point once a stop was requested; nothing but the program entry catches
// it (it is no run-time error of the system, so no handler of those intercepts it).
class RunStopped : public std::exception {
 public:
  explicit RunStopped(StopReason reason) : reason_(reason) {}
  StopReason Reason() const { return reason_; }
  const char* what() const noexcept override { return "run stopped"; }

 private:
  StopReason reason_;
};

class StopRequest {
 public:
  // Asks the run to stop; the first reason given stays.
  void Request(StopReason reason) {
    int none = static_cast<int>(StopReason::None);
    reason_.compare_exchange_strong(none, static_cast<int>(reason));
  }
  StopReason Reason() const { return static_cast<StopReason>(reason_.load()); }
  bool Requested() const { return Reason() != StopReason::None; }
  // A safe point of the run: raises RunStopped when a stop was requested.
  void AtSafePoint() const {
    if (Requested()) throw RunStopped(Reason());
  }

  // The run has ended (its report and log written), whichever way.
  void Finished() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    ended_.notify_all();
  }
  // Waits up to `patience` for the run to end; returns whether it did.
  bool WaitFinished(std::chrono::milliseconds patience) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, patience, [this] { return finished_; });
  }

 private:
  std::atomic<int> reason_{static_cast<int>(StopReason::None)};
  std::mutex mutex_;
  std::condition_variable ended_;
  bool finished_ = false;
};

}  // namespace kalu
