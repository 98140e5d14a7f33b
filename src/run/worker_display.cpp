#include "run/worker_display.h"

#include <chrono>
#include <exception>
#include <future>
#include <thread>

namespace kalu {

WorkerDisplay::WorkerDisplay(Display& window, StepObserver* observer, WindowLoop& loop)
    : window_(window), observer_(observer), loop_(loop) {}

int WorkerDisplay::Run(const std::function<int()>& work) {
  int result = 0;
  std::exception_ptr failure;
  bool ended = false;  // the window's thread only
  std::thread worker([&] {
    try {
      result = work();
    } catch (...) {
      failure = std::current_exception();
    }
    loop_.Post([&] {
      ended = true;
      loop_.Quit();
    });
  });
  // A loop that ends for another reason (a quit message of the system) is pumped again: the
  // run's thread may be waiting for the window.
  while (!ended) loop_.Loop();
  worker.join();
  if (failure) std::rethrow_exception(failure);
  return result;
}

// Only the latest text waits; one task shows it, however many texts came meanwhile.
void WorkerDisplay::SetProgress(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool posted = progress_.has_value();
  progress_ = std::string(text);
  if (posted) return;
  loop_.Post([this] {
    std::string latest;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      latest = std::move(*progress_);
      progress_.reset();
    }
    window_.SetProgress(latest);
  });
}

void WorkerDisplay::OnWindowThread(const std::function<void()>& show) {
  std::promise<void> shown;
  std::future<void> done = shown.get_future();
  loop_.Post([&] {
    try {
      show();
      shown.set_value();
    } catch (...) {
      shown.set_exception(std::current_exception());
    }
  });
  done.get();
}

void WorkerDisplay::ShowMessage(std::string_view text) {
  OnWindowThread([&] { window_.ShowMessage(text); });
}

void WorkerDisplay::SetMousePointer(int16_t code) {
  pointer_ = code;
  loop_.Post([this, code] { window_.SetMousePointer(code); });
}

void WorkerDisplay::ShowMainWindow() {
  loop_.Post([this] { window_.ShowMainWindow(); });
}

void WorkerDisplay::HideWindows() {
  OnWindowThread([&] { window_.HideWindows(); });
}

void WorkerDisplay::WaitForInput(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms < 0 ? 0 : ms));
}

void WorkerDisplay::StepsChanged(const std::vector<Step>& steps, int current) {
  if (!observer_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const bool posted = steps_.has_value();
  steps_.emplace(steps, current);
  if (posted) return;
  loop_.Post([this] {
    std::pair<std::vector<Step>, int> latest;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      latest = std::move(*steps_);
      steps_.reset();
    }
    observer_->StepsChanged(latest.first, latest.second);
  });
}

void WorkerDisplay::RunSummarized(const std::vector<std::string>& lines) {
  if (observer_) loop_.Post([this, lines] { observer_->RunSummarized(lines); });
}

void WorkerDisplay::Noticed(std::string_view text) {
  if (observer_) loop_.Post([this, text = std::string(text)] { observer_->Noticed(text); });
}

}  // namespace kalu
