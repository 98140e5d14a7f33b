#pragma once
// The main window's class name and the identifiers of its controls: the window finds its
// controls by them, and so do the tests that read what the operator sees.

namespace kalu {

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
