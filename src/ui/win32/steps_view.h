#pragma once
// The client area of the main window: the upgrade's steps in order with their state
// (waiting, running, done with its time and rows, failed with its error), a progress bar for
// the running step with its percentage when its amount of work is known, the run's elapsed
// time and, at the end, the run's summary. Its controls are children of the main window,
// which hands it their notifications.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "run/steps.h"
#include "ui/win32/handles.h"

namespace kalu {

class StepsView {
 public:
  // Makes the controls in `parent` with the steps of a run, none begun yet, and the window's
  // `font`; false when the window system refuses one.
  bool Create(HWND parent, HFONT font);

  // Places the controls in `area` of the parent's client area.
  void Layout(const RECT& area);
  // Shows the steps as they stand; `current` is the running (or last failed) step.
  void Show(const std::vector<Step>& steps, int current);
  // Shows the run's summary below the steps.
  void ShowSummary(const std::vector<std::string>& lines);
  // Called every second: the elapsed time and the running step's time go on.
  void Tick();
  // Paints the controls now, without letting input through.
  void Paint();

  // The list's notifications (custom drawing of the running step's row in bold, no
  // selection) and the colour of the error text; true when it answered, with `result`.
  bool OnNotify(const NMHDR& header, LRESULT& result);
  bool OnStaticColor(HDC dc, HWND control, LRESULT& result);

 private:
  HWND Control(int id) const { return GetDlgItem(parent_, id); }
  void ShowElapsed();
  void SetRow(int row, const Step& step);

  HWND parent_ = nullptr;
  HFONT font_ = nullptr;
  FontHandle bold_;
  FontHandle fixed_;
  ImageListHandle icons_;
  int lineHeight_ = 16;
  bool errorShown_ = false;
  bool summaryShown_ = false;
  RECT area_{};
  std::optional<std::chrono::steady_clock::time_point> runStart_;  // when the first step began
  bool clockRunning_ = false;  // the elapsed time goes on while a step runs
  // The running step's time goes on between the changes it reports.
  int runningRow_ = -1;
  double runningSeconds_ = 0;  // its time at the last change
  std::chrono::steady_clock::time_point runningSince_;
};

}  // namespace kalu
