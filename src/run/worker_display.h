#pragma once
// The window's thread and the run's thread. A window must pump its messages all the time
// to answer (Windows marks a window that has not pumped for 5 s as not responding), while
// the run waits for the central services or for a statement: so the run works on a thread
// of its own and the window's thread only pumps and draws. WorkerDisplay is the display
// the run's thread uses: what it shows goes to the window's thread (progress and steps at
// the window's pace, the latest of each), and a message waits there for its OK.
//
//   WorkerDisplay worker(window, observer, loop);
//   int status = worker.Run([&] { return Upgrade(worker); });  // the window pumps meanwhile

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/display.h"
#include "run/steps.h"

namespace kalu {

// The message loop of a window's display.
class WindowLoop {
 public:
  virtual ~WindowLoop() = default;
  // Runs `task` on the window's thread when it next pumps; any thread may call it, and
  // tasks run in the order they were posted.
  virtual void Post(std::function<void()> task) = 0;
  // Pumps the window's messages until Quit is called (from a posted task).
  virtual void Loop() = 0;
  virtual void Quit() = 0;
};

class WorkerDisplay : public Display, public StepObserver {
 public:
  // `window` and `observer` (null for none) belong to the window's thread, `loop` is its
  // message loop.
  WorkerDisplay(Display& window, StepObserver* observer, WindowLoop& loop);

  // Runs `work` on a thread of its own while the calling (window's) thread pumps; returns
  // its result, or raises again what it raised.
  int Run(const std::function<int()>& work);

  void SetProgress(std::string_view text) override;
  void ShowMessage(std::string_view text) override;
  // The window's thread pumps by itself: nothing to do here.
  void PumpMessages() override {}
  int16_t MousePointer() const override { return pointer_; }
  void SetMousePointer(int16_t code) override;
  void ShowMainWindow() override;
  void HideWindows() override;
  void WaitForInput(int ms) override;

  void StepsChanged(const std::vector<Step>& steps, int current) override;
  void RunSummarized(const std::vector<std::string>& lines) override;
  void Noticed(std::string_view text) override;

 private:
  // Runs `show` on the window's thread, and waits for it there.
  void OnWindowThread(const std::function<void()>& show);

  Display& window_;
  StepObserver* observer_;
  WindowLoop& loop_;
  int16_t pointer_ = kPointerDefault;
  std::mutex mutex_;  // guards what waits to be shown
  std::optional<std::string> progress_;
  std::optional<std::pair<std::vector<Step>, int>> steps_;
};

}  // namespace kalu
