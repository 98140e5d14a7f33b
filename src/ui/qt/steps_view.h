#pragma once
// The client area of the main window: the upgrade's steps in order with their state (waiting,
// running, done with its time and rows, failed with its error), a progress bar for the
// running step with its percentage when its amount of work is known, the run's elapsed
// time and, at the end, the run's summary.

#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <string>
#include <vector>

#include "run/steps.h"

namespace kalu {

class StepsView : public QWidget {
 public:
  explicit StepsView(QWidget* parent = nullptr);

  // Shows the steps as they stand; `current` is the running (or last failed) step.
  void Show(const std::vector<Step>& steps, int current);
  // Shows the run's summary below the steps.
  void ShowSummary(const std::vector<std::string>& lines);

 private:
  void ShowElapsed();

  QLabel heading_;
  QLabel elapsed_;
  QTreeWidget list_;
  QLabel caption_;
  QProgressBar bar_;
  QLabel error_;
  QPlainTextEdit summary_;
  QElapsedTimer run_;  // started when the first step begins
  QTimer clock_;
  // The running step's time goes on between the changes it reports.
  int runningRow_ = -1;
  double runningSeconds_ = 0;  // its time at the last change
  QElapsedTimer runningSince_;
};

}  // namespace kalu
