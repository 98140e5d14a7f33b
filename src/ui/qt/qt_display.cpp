#include "ui/qt/qt_display.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run/window_content.h"
#include "run/worker_display.h"
#include "ui/qt/main_form.h"

namespace kalu {

namespace {

// Qt ends the process when its platform cannot start (no X server behind DISPLAY, say).
// A child process tries first, quietly, so that the program can fall back to the console.
bool WindowSystemAvailable(int argc, char** argv) {
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    QGuiApplication probe(argc, argv);
    _exit(0);
  }
  int status = 0;
  bool started =
      waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!started) {
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "kalu-upgrade: no se pudo abrir la ventana en la pantalla '%s'\n",
                 display ? display : "");
  }
  return started;
}

class QtDisplay : public Display, public StepObserver, public WindowLoop {
 public:
  QtDisplay(int& argc, char** argv, std::function<void()> onClose)
      : messageTimeoutMs_(MessageTimeoutFromEnvironment()),
        app_(argc, argv),
        form_(std::move(onClose), messageTimeoutMs_) {
    // The window's loop ends when the run's thread says so, not when the window closes.
    QApplication::setQuitOnLastWindowClosed(false);
  }

  ~QtDisplay() override {
    if (pointer_ == kPointerHourglass) QApplication::restoreOverrideCursor();
  }

  void SetProgress(std::string_view text) override {
    form_.SetProgress(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }

  void ShowMessage(std::string_view text) override {
    QWidget* parent = form_.isVisible() ? &form_ : nullptr;
    ShowInformation(parent, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    messageTimeoutMs_);
  }

  void PumpMessages() override { QCoreApplication::processEvents(); }

  void StepsChanged(const std::vector<Step>& steps, int current) override {
    form_.ShowSteps(steps, current);
  }
  void RunSummarized(const std::vector<std::string>& lines) override { form_.ShowSummary(lines); }

  int16_t MousePointer() const override { return pointer_; }

  // The hourglass is the wait cursor over every window of the program; any other code
  // gives the ordinary pointer back.
  void SetMousePointer(int16_t code) override {
    bool waiting = pointer_ == kPointerHourglass;
    if (code == kPointerHourglass && !waiting) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (code != kPointerHourglass && waiting) {
      QApplication::restoreOverrideCursor();
    }
    pointer_ = code;
  }

  void ShowMainWindow() override { form_.show(); }

  void HideWindows() override {
    for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
  }

  // One pass of the event loop that blocks until something arrives, with a timer that
  // arrives after `ms` at the latest.
  void WaitForInput(int ms) override {
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }

  // Posting an event is safe from any thread; the window's thread runs it in order.
  void Post(std::function<void()> task) override {
    QMetaObject::invokeMethod(&form_, std::move(task), Qt::QueuedConnection);
  }
  void Loop() override { loop_.exec(); }
  void Quit() override { loop_.quit(); }

 private:
  int messageTimeoutMs_;
  QApplication app_;
  MainForm form_;
  QEventLoop loop_;
  int16_t pointer_ = kPointerDefault;
};

}  // namespace

std::unique_ptr<Display> CreateQtDisplay(int& argc, char** argv, std::function<void()> onClose) {
  if (!WindowSystemAvailable(argc, argv)) return nullptr;
  return std::make_unique<QtDisplay>(argc, argv, std::move(onClose));
}

}  // namespace kalu
