#pragma once
// MainForm, the main window of the run as a native window: caption, tool bar, the steps of
// the upgrade in its client area, and the status bar ZqStatusBar whose third panel is the
// progress display.

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/steps.h"
#include "ui/win32/handles.h"
#include "ui/win32/steps_view.h"

namespace kalu {

class MainWindow {
 public:
  // Makes the (hidden) window. `onClose` runs when the operator closes the window; it
  // normally ends the process. `messageTimeoutMs` is passed to every message the window
  // shows (0: wait for OK). Null, with the reason on standard error, when the window system
  // refuses the window.
  static std::unique_ptr<MainWindow> Create(std::function<void()> onClose, int messageTimeoutMs);
  MainWindow(std::function<void()> onClose, int messageTimeoutMs);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_.get(); }
  void Show();

  // Replaces the text of the third panel. The panel shows it and paints it at once (without
  // letting input through) unless it did so less than kPaintIntervalMs ago; then the text
  // follows when that time is up, at a message pump. Loops that write a text per row thus
  // paint a few times a second instead of once per row.
  void SetProgress(std::string_view text);
  static constexpr int kPaintIntervalMs = 40;

  // Shows the steps: painted at once when a step begins, ends or fails; while the running
  // step only moves on, a few times a second (what came last follows at a message pump).
  void ShowSteps(const std::vector<Step>& steps, int current);
  static constexpr int kStepsPaintIntervalMs = 100;
  // Shows the run's summary below the steps.
  void ShowSummary(const std::vector<std::string>& lines);

  // Shows an information message with the information icon and only an OK button, over the
  // window when it is visible, and returns when it is acknowledged (or, with a message
  // timeout, when that time is up).
  void ShowInformation(std::string_view text);

  // The hourglass over the window while `waiting`; the ordinary pointer otherwise.
  void SetWaiting(bool waiting);

  // Runs a tool-bar or menu command by its identifier (the button's key).
  void Dispatch(std::string_view key);

  // `run` runs on the window's thread each time RunTasksLater was called, which any thread
  // may do (the run's thread hands the window what to show).
  void SetTaskRunner(std::function<void()> run) { runTasks_ = std::move(run); }
  void RunTasksLater() { PostMessageW(Handle(), kRunTasksMessage, 0, 0); }
  // `onEndSession` runs when Windows ends the session (logoff, shutdown) while the window
  // is open; it returns once the run has stopped, as the process ends after it.
  void SetEndSessionHandler(std::function<void()> onEndSession) {
    onEndSession_ = std::move(onEndSession);
  }
  static constexpr UINT kRunTasksMessage = WM_APP + 1;

 private:
  bool Open();
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool MakeControls();
  bool MakeToolBar();
  bool MakeStatusBar();
  void Layout();
  void ShowClock();
  void ShowProgress();
  void PaintSteps();
  void AcknowledgeMessage();

  std::function<void()> onClose_;
  std::function<void()> runTasks_;
  std::function<void()> onEndSession_;
  int messageTimeoutMs_;
  FontHandle font_;
  StepsView stepsView_;  // the client area
  std::wstring pendingProgress_;
  std::optional<std::chrono::steady_clock::time_point> lastPaint_;
  PaintPace stepsPace_{std::chrono::milliseconds(kStepsPaintIntervalMs)};
  std::vector<Step> pendingSteps_;
  int pendingCurrent_ = -1;
  bool progressLater_ = false;  // the progress timer runs
  bool stepsLater_ = false;     // the steps timer runs
  bool waiting_ = false;
  bool classRegistered_ = false;
  WindowHandle window_;  // destroyed first: its controls use the fonts and images above
};

}  // namespace kalu
