#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <thread>

#include "platform/run_guard.h"

namespace kalu {

Attendance ProgramAttendance() {
  return Attendance::Present;
}

// The signals are read from a signalfd on a thread of the watch; an eventfd ends it.
struct InterruptWatch::Impl {
  sigset_t signals{};
  int signalFd = -1;
  int endFd = -1;
  std::thread thread;
};

InterruptWatch::InterruptWatch(std::function<void()> interrupt,
                               std::function<bool(std::chrono::milliseconds)> stopped)
    : impl_(std::make_unique<Impl>()) {
  (void)stopped;  // the process goes on after a signal is read: nothing to wait for
  Impl& w = *impl_;
  sigemptyset(&w.signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&w.signals, s);
  pthread_sigmask(SIG_BLOCK, &w.signals, nullptr);
  w.signalFd = signalfd(-1, &w.signals, SFD_CLOEXEC);
  w.endFd = eventfd(0, EFD_CLOEXEC);
  if (w.signalFd < 0 || w.endFd < 0) return;  // the signals keep their usual effect
  w.thread = std::thread([&w, interrupt = std::move(interrupt)] {
    pollfd fds[2] = {{w.signalFd, POLLIN, 0}, {w.endFd, POLLIN, 0}};
    for (;;) {
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) return;
      signalfd_siginfo info{};
      if (fds[0].revents && read(w.signalFd, &info, sizeof info) == sizeof info) interrupt();
    }
  });
}

// The signals stay blocked: the process is ending, and one more would end it before its
// exit status.
InterruptWatch::~InterruptWatch() {
  Impl& w = *impl_;
  if (w.thread.joinable()) {
    const uint64_t one = 1;
    while (write(w.endFd, &one, sizeof one) != sizeof one) {
    }
    w.thread.join();
  }
  if (w.signalFd >= 0) close(w.signalFd);
  if (w.endFd >= 0) close(w.endFd);
}

MachineRunMark::MachineRunMark(std::string_view) {}
MachineRunMark::~MachineRunMark() = default;

LongRunSettings::LongRunSettings(bool, bool) {}
LongRunSettings::~LongRunSettings() = default;

}  // namespace kalu
