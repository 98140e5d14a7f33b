#pragma once
// The runs that the windows' tests put on the screen, the same for every window: a run
// that stands in the load of the postal codes, and a run whose every step ended well.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "run/steps.h"

namespace kalu::test {

inline constexpr const char* kBackupDetail =
    "kalu_antes_24_03_20_20261207_221005 (8 MB, 2026-12-07 22:10:05)";

// The copy of the database (with what it made), four steps of 1.200 rows each, and the
// postal codes at 400 of 1000.
inline void RunUpToThePostalCodes(Steps& steps) {
  steps.Begin(StepId::Backup);
  steps.SetDetail(kBackupDetail);
  for (StepId id : {StepId::Schema, StepId::View, StepId::CartaPorte, StepId::StoredViews}) {
    steps.Begin(id);
    steps.AddRows(1200);
  }
  steps.Begin(StepId::PostalCodes);
  steps.SetWork(400, 1000);
}

// The text of the list's `row` (0 for the first step) in `column` (0 title, 1 state, 2 time,
// 3 rows), as a window shows it.
using ListCell = std::function<std::string(int row, int column)>;

// The states of every step as the list shows them.
inline std::vector<std::string> ListedStates(const ListCell& cell) {
  std::vector<std::string> states;
  for (int row = 0; row < kStepCount; ++row) states.push_back(cell(row, 1));
  return states;
}

// What the list shows of RunUpToThePostalCodes.
inline void ExpectListUpToThePostalCodes(const ListCell& cell) {
  const std::string w = "en espera", r = "en curso", ok = "ok";
  EXPECT_EQ(ListedStates(cell), (std::vector<std::string>{ok, ok, ok, ok, ok, r, w, w, w, w, w}));
  auto row = [](StepId id) { return static_cast<int>(id); };
  EXPECT_EQ(cell(row(StepId::Backup), 0), std::string("1. Respaldo: ") + kBackupDetail);
  EXPECT_EQ(cell(row(StepId::StoredViews), 3), "1.200");
  EXPECT_EQ(cell(row(StepId::StoredViews), 2).back(), 's');
  EXPECT_EQ(cell(row(StepId::Colonies), 2), "");
}

// Every step begun and ended, and the run's summary.
inline void FinishEveryStep(Steps& steps, const std::vector<std::string>& summary) {
  for (int i = 0; i < kStepCount; ++i) steps.Begin(static_cast<StepId>(i));
  steps.End();
  steps.Summarize(summary);
}

}  // namespace kalu::test
