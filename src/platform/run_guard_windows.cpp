// windows.h first: the other system headers build on it.
// clang-format off
#include <windows.h>
// clang-format on

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/process.h"
#include "platform/run_guard.h"
#include "platform/wide_text.h"

namespace kalu {

namespace {

// The system ends the process about 5 s after it told the handler of a closed console, a
// logoff or a shutdown; the handler gives the run a little less to stop.
constexpr DWORD kStopPatienceMs = 4500;

// The handler of console events is called on a thread the system makes, with nothing but
// the event: it finds the watch of its process by the names of the watch's two events.
std::wstring EventName(const wchar_t* what) {
  return L"Local\\kalu-upgrade-" + std::wstring(what) + L"-" +
         std::to_wstring(GetCurrentProcessId());
}

struct Handle {
  HANDLE h = nullptr;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

BOOL WINAPI ConsoleEvent(DWORD event) {
  {
    Handle interrupt(OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(L"interrupt").c_str()));
    if (!interrupt.h) return FALSE;  // no watch: the system's default, the process ends
    SetEvent(interrupt.h);
  }
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    Handle stopped(OpenEventW(SYNCHRONIZE, FALSE, EventName(L"stopped").c_str()));
    if (stopped.h) WaitForSingleObject(stopped.h, kStopPatienceMs);
  }
  return TRUE;
}

bool RunsAsSystem() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  Handle token(raw);
  alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token.h, TokenUser, buffer, sizeof buffer, &size)) return false;
  return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid);
}

}  // namespace

Attendance ProgramAttendance() {
  DWORD session = 1;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0) {
    return Attendance::OutOfSight;
  }
  if (RunsAsSystem()) return Attendance::OutOfSight;
  return IsTerminal(stdin) ? Attendance::Present : Attendance::NoConsole;
}

struct InterruptWatch::Impl {
  Handle interrupt{CreateEventW(nullptr, TRUE, FALSE, EventName(L"interrupt").c_str())};
  Handle stopped{CreateEventW(nullptr, TRUE, FALSE, EventName(L"stopped").c_str())};
  Handle end{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::function<void()> onInterrupt;
  std::function<bool(std::chrono::milliseconds)> hasStopped;
  std::thread thread;
  bool handler = false;

  // Asks the run to stop and waits for it, up to what the system allows.
  void Interrupt() {
    onInterrupt();
    if (hasStopped(std::chrono::milliseconds(kStopPatienceMs))) SetEvent(stopped.h);
  }

  // A program that uses the window system hears of a logoff or shutdown from the window
  // system, not from the console handler: the watch keeps a hidden window for it, which
  // the session ends after (WM_ENDSESSION) once the run has stopped.
  static LRESULT CALLBACK SessionWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrW(
          window, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_QUERYENDSESSION) return TRUE;
    if (self && message == WM_ENDSESSION) {
      if (wParam) self->Interrupt();
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  // The watch's thread: the console handler's requests (through the interrupt event) and
  // the hidden window's messages, until the end event.
  void Watch() {
    const wchar_t* kClass = L"kalu-upgrade-session";
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = SessionWindow;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClass;
    const bool registered = RegisterClassExW(&windowClass) != 0;
    HWND window = CreateWindowExW(0, kClass, L"kalu-upgrade", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                  nullptr, windowClass.hInstance, this);
    const HANDLE events[2] = {interrupt.h, end.h};
    for (;;) {
      const DWORD woken = MsgWaitForMultipleObjects(2, events, FALSE, INFINITE, QS_ALLINPUT);
      if (woken == WAIT_OBJECT_0) {
        ResetEvent(interrupt.h);
        Interrupt();
      } else if (woken == WAIT_OBJECT_0 + 2) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      } else {
        break;  // the end, or a failure of the wait
      }
    }
    if (window) DestroyWindow(window);
    if (registered) UnregisterClassW(kClass, windowClass.hInstance);
  }
};

InterruptWatch::InterruptWatch(std::function<void()> interrupt,
                               std::function<bool(std::chrono::milliseconds)> stopped)
    : impl_(std::make_unique<Impl>()) {
  Impl& w = *impl_;
  if (!w.interrupt.h || !w.stopped.h || !w.end.h) return;
  w.onInterrupt = std::move(interrupt);
  w.hasStopped = std::move(stopped);
  w.thread = std::thread([&w] { w.Watch(); });
  w.handler = SetConsoleCtrlHandler(ConsoleEvent, TRUE) != 0;
}

InterruptWatch::~InterruptWatch() {
  Impl& w = *impl_;
  if (w.handler) SetConsoleCtrlHandler(ConsoleEvent, FALSE);
  if (w.stopped.h) SetEvent(w.stopped.h);  // a handler still waiting may return
  if (w.thread.joinable()) {
    SetEvent(w.end.h);
    w.thread.join();
  }
}

// The Global namespace: a night job runs as the system account in session 0 while the
// operator's run would be in a session of their own, and a terminal server has a session
// per user; the Local namespace of each would not see the other's. The name is the store's
// folder, without regard to case, as a hash (a mutex name takes no "\").
MachineRunMark::MachineRunMark(std::string_view storeFolder) {
  std::wstring folder = WideOf(storeFolder);
  CharLowerBuffW(folder.data(), static_cast<DWORD>(folder.size()));
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (wchar_t c : folder) hash = (hash ^ static_cast<uint16_t>(c)) * 1099511628211ull;
  wchar_t name[64];
  swprintf(name, 64, L"Global\\kalu-upgrade-%016llx", static_cast<unsigned long long>(hash));
  handle_ = CreateMutexW(nullptr, TRUE, name);
  const DWORD error = GetLastError();
  // A mutex another user made is there but not ours to open: another run holds it all the
  // same.
  taken_ = handle_ ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED;
}

MachineRunMark::~MachineRunMark() {
  if (!handle_) return;
  if (taken_) ReleaseMutex(handle_);
  CloseHandle(handle_);
}

LongRunSettings::LongRunSettings(bool unattended, bool console) {
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  if (unattended)
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (!console) return;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (in == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) return;
  consoleMode_ = mode;
  restoreConsole_ = SetConsoleMode(in, (mode | ENABLE_EXTENDED_FLAGS) &
                                           ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE)) != 0;
}

LongRunSettings::~LongRunSettings() {
  if (restoreConsole_) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), consoleMode_);
  SetThreadExecutionState(ES_CONTINUOUS);
}

}  // namespace kalu
