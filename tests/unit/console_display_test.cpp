// The terminal's display of a run.

#include "ui/console/console_display.h"

#include <gtest/gtest.h>

#include "run/steps.h"

namespace kalu {

// The console's line of an ended step, in the manner of pg_upgrade, with Spanish thousands.
TEST(StepLine, TitleDotsOutcomeTimeAndRows) {
  struct Case {
    const char* title;
    StepState state;
    double seconds;
    int64_t rows;
    const char* line;
  };
  const Case cases[] = {
      {"Códigos postales", StepState::Done, 12.34, 95000,
       "Códigos postales ....................... ok  12.3 s  95.000 filas"},
      {"Colonias", StepState::Done, 0.04, 1234567,
       "Colonias ............................... ok  0.0 s  1.234.567 filas"},
      {"Consulta EdoCtaFolios_View", StepState::Done, 0.25, 0,
       "Consulta EdoCtaFolios_View ............. ok  0.2 s"},
      {"Vehículos y operadores (Carta Porte)", StepState::Failed, 3.05, 999,
       "Vehículos y operadores (Carta Porte) ... falló  3.0 s  999 filas"},
  };
  for (const Case& c : cases) {
    Step step;
    step.title = c.title;
    step.state = c.state;
    step.seconds = c.seconds;
    step.rows = c.rows;
    EXPECT_EQ(ConsoleDisplay::StepLine(step), c.line);
  }
}

}  // namespace kalu
