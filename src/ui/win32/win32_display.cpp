#include "ui/win32/win32_display.h"

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <deque>
#include <mutex>

#include "run/steps.h"
#include "run/window_content.h"
#include "run/worker_display.h"
#include "ui/win32/main_window.h"

namespace kalu {

namespace {

class Win32Display : public Display, public StepObserver, public WindowLoop {
 public:
  explicit Win32Display(std::unique_ptr<MainWindow> window) : window_(std::move(window)) {
    window_->SetTaskRunner([this] { RunTasks(); });
  }

  ~Win32Display() override {
    if (pointer_ == kPointerHourglass) window_->SetWaiting(false);
  }

  void SetProgress(std::string_view text) override { window_->SetProgress(text); }
  void ShowMessage(std::string_view text) override { window_->ShowInformation(text); }

  void PumpMessages() override {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // Left for the loop that asked to quit.
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  void StepsChanged(const std::vector<Step>& steps, int current) override {
    window_->ShowSteps(steps, current);
  }
  void RunSummarized(const std::vector<std::string>& lines) override {
    window_->ShowSummary(lines);
  }

  int16_t MousePointer() const override { return pointer_; }

  // The hourglass is the wait cursor over the program's windows; any other code gives the
  // ordinary pointer back.
  void SetMousePointer(int16_t code) override {
    window_->SetWaiting(code == kPointerHourglass);
    pointer_ = code;
  }

  void ShowMainWindow() override { window_->Show(); }

  void HideWindows() override {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
          if (IsWindowVisible(window)) ShowWindow(window, SW_HIDE);
          return TRUE;
        },
        0);
  }

  // Blocks until a message arrives or `ms` is up, then lets the messages through.
  void WaitForInput(int ms) override {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(ms < 0 ? 0 : ms), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    PumpMessages();
  }

  // The window is woken once for the tasks that wait, however many they are.
  void Post(std::function<void()> task) override {
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wake = tasks_.empty();
      tasks_.push_back(std::move(task));
    }
    if (wake) window_->RunTasksLater();
  }

  void Loop() override {
    MSG message;
    while (!quit_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  void Quit() override { quit_ = true; }

 private:
  void RunTasks() {
    std::deque<std::function<void()>> waiting;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      waiting.swap(tasks_);
    }
    for (std::function<void()>& task : waiting) task();
  }

  std::unique_ptr<MainWindow> window_;
  int16_t pointer_ = kPointerDefault;
  std::mutex mutex_;  // guards the tasks
  std::deque<std::function<void()>> tasks_;
  bool quit_ = false;  // the window's thread only
};

// Started from the desktop, the program (a console program, for --console) gets a console
// window of its own, which stays empty while the main window shows the run: it is hidden.
// A console shared with a command prompt stays as it is.
void HideOwnConsole() {
  HWND console = GetConsoleWindow();
  DWORD processes[2];
  if (console && GetConsoleProcessList(processes, 2) == 1) ShowWindow(console, SW_HIDE);
}

}  // namespace

std::unique_ptr<Display> CreateWin32Display(std::function<void()> onClose,
                                            std::function<void()> onEndSession) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS;
  if (!InitCommonControlsEx(&controls)) return nullptr;
  std::unique_ptr<MainWindow> window =
      MainWindow::Create(std::move(onClose), MessageTimeoutFromEnvironment());
  if (!window) return nullptr;
  window->SetEndSessionHandler(std::move(onEndSession));
  HideOwnConsole();
  return std::make_unique<Win32Display>(std::move(window));
}

}  // namespace kalu
