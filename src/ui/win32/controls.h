#pragma once
// The main window's class name and the identifiers of its controls: the window finds its
// controls by them, and so do the tests that read what the operator sees.

#include <windows.h>

namespace kalu {

// `pixels` at the standard 96 DPI in the pixels of the monitor that `window` is on: the
// programs are aware of each monitor's scale (their manifest), so sizes are theirs to scale.
inline int Scaled(HWND window, int pixels) {
  return MulDiv(pixels, static_cast<int>(GetDpiForWindow(window)), USER_DEFAULT_SCREEN_DPI);
}

inline constexpr const wchar_t* kMainWindowClass = L"KaluMainForm";

enum ControlId : int {
  kToolBarId = 100,
  kStatusBarId,  // ZqStatusBar: date, time and the progress text
  kHeadingId,
  kElapsedId,
  kStepsListId,
  kStepCaptionId,
  kStepProgressId,
  kStepPercentId,
  kStepErrorId,
  kRunSummaryId,
  kFirstCommandId = 200,  // the tool bar's buttons, in the order of kToolBarButtons
};

}  // namespace kalu
