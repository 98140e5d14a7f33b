// What the main window shows and how it answers, whichever toolkit draws it.

#include "run/window_content.h"

#include <gtest/gtest.h>

#include "run/steps.h"

namespace kalu {

// What either window shows of a step: its row, the caption and bar of the current step, the
// error of a failed one.
TEST(WindowContent, RowCaptionBarAndErrorOfAStep) {
  struct Case {
    StepId id;
    StepState state;
    int64_t rows, done, total;
    const char* detail;
    const char* title;
    const char* time;
    const char* rowsText;
    StepBar bar;
  };
  const Case cases[] = {
      {StepId::Backup,
       StepState::Done,
       0,
       0,
       0,
       "kalu_antes_x (8 MB)",
       "1. Respaldo: kalu_antes_x (8 MB)",
       "2.5 s",
       "",
       {false, 100, true}},
      {StepId::PostalCodes,
       StepState::Running,
       95000,
       400,
       1000,
       "",
       "6. Códigos postales",
       "2.5 s",
       "95.000",
       {false, 40, true}},
      {StepId::Colonies,
       StepState::Running,
       12,
       0,
       0,
       "",
       "7. Colonias",
       "2.5 s",
       "12",
       {true, 0, false}},
      {StepId::Fiscal,
       StepState::Failed,
       3,
       3,
       10,
       "",
       "9. Datos fiscales de clientes",
       "2.5 s",
       "3",
       {false, 30, false}},
      {StepId::TaxBases,
       StepState::Waiting,
       0,
       0,
       0,
       "",
       "11. Bases de impuestos",
       "",
       "",
       {false, 0, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    Steps steps;
    std::vector<Step> all = steps.All();
    Step& step = all[static_cast<int>(c.id)];
    step.state = c.state;
    step.seconds = 2.5;
    step.rows = c.rows;
    step.done = c.done;
    step.total = c.total;
    step.detail = c.detail;
    step.error = "Error 1060: duplicado";
    EXPECT_EQ(RowTitle(step), c.title);
    EXPECT_EQ(RowTime(step), c.time);
    EXPECT_EQ(RowRows(step), c.rowsText);
    StepBar bar = StepBarOf(step);
    EXPECT_EQ(bar.busy, c.bar.busy);
    EXPECT_EQ(bar.percent, c.bar.percent);
    EXPECT_EQ(bar.showPercent, c.bar.showPercent);
    EXPECT_EQ(StepCaption(all, static_cast<int>(c.id)),
              "Paso " + std::to_string(static_cast<int>(c.id) + 1) + " de 11: " + step.title);
    EXPECT_EQ(FailureText(step), step.title + " falló: Error 1060: duplicado");
  }
  EXPECT_EQ(PercentText(40), "40 %");
  EXPECT_EQ(ElapsedText(0), "Tiempo transcurrido: 0:00:00");
  EXPECT_EQ(ElapsedText(3 * 3600 + 5 * 60 + 9), "Tiempo transcurrido: 3:05:09");
}

// The framework's commands ("ZQ…", in any case) have no handler; any other is not available.
TEST(WindowContent, FrameworkCommandsByTheirPrefix) {
  const std::pair<const char*, bool> cases[] = {
      {"ZQAcercaDe", true}, {"zqCualquiera", true}, {"Zq", true},      {"Z", false},
      {"", false},          {"Consultas", false},   {"QZAlgo", false},
  };
  for (const auto& [key, framework] : cases) EXPECT_EQ(IsFrameworkCommand(key), framework) << key;
}

}  // namespace kalu
