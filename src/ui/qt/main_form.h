#pragma once
// MainForm, the main window of the run: caption, tool bar with its image list, the steps
// of the upgrade in its client area, and the status bar ZqStatusBar whose third panel is
// the progress display.

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QString>
#include <QTimer>
#include <QToolBar>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "run/steps.h"
#include "run/window_content.h"
#include "ui/qt/steps_view.h"

namespace kalu {

// Shows an information message with the information icon and only an OK button, and
// returns when it is acknowledged. A positive `timeoutMs` acknowledges it by itself (as
// OK) after that many milliseconds, for unattended runs.
void ShowInformation(QWidget* parent, const QString& text, int timeoutMs);

class MainForm : public QMainWindow {
 public:
  // `onClose` runs when the operator closes the window; it normally ends the process.
  // `messageTimeoutMs` is passed to every message the window shows (0: wait for OK).
  MainForm(std::function<void()> onClose, int messageTimeoutMs);
  ~MainForm() override;

  // Replaces the text of the third panel. The panel shows it and paints it at once (without
  // letting input through) unless it did so less than kPaintIntervalMs ago; then the text
  // follows when that time is up, at a message pump. Loops that write a text per row thus
  // paint a few times a second instead of once per row.
  void SetProgress(const QString& text);

  static constexpr qint64 kPaintIntervalMs = 40;

  // Shows the steps: painted at once when a step begins, ends or fails; while the running
  // step only moves on, a few times a second (what came last follows at a message pump).
  void ShowSteps(const std::vector<Step>& steps, int current);
  static constexpr int kStepsPaintIntervalMs = 100;
  // Shows the run's summary below the steps.
  void ShowSummary(const std::vector<std::string>& lines);

  // Runs a menu or tool-bar command by its identifier (the button's key).
  void Dispatch(const QString& key);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AddButton(const ToolBarButton& button, size_t image);
  void ShowClock();
  void ShowProgress();
  void PaintSteps();

  std::function<void()> onClose_;
  int messageTimeoutMs_;
  QToolBar* toolBar_;  // made and owned by the window
  // The panels sit in the window's status bar; being members, they leave it before the
  // window and its status bar are destroyed.
  std::array<QLabel, 3> panels_;
  QTimer clock_;
  QString pendingProgress_;
  QElapsedTimer lastPaint_;
  QTimer paintLater_;
  std::vector<QIcon> imageList_;
  StepsView stepsView_;  // the client area
  PaintPace stepsPace_{std::chrono::milliseconds(kStepsPaintIntervalMs)};
  std::vector<Step> pendingSteps_;
  int pendingCurrent_ = -1;
  QTimer stepsLater_;
};

}  // namespace kalu
