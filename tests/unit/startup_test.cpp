// Start-up and shutdown of a run: folders from the settings file, the user, the hourglass,
// the desktop database, the run counter and the shutdown's wait.

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "app/run_report.h"
#include "run/steps.h"
#include "run/window_content.h"
#include "run/zq_disp_mod.h"
#include "runtime/errors.h"
#include "support/test_support.h"
#include "ui/console/console_display.h"

namespace kalu {
namespace {

using test::TestContext;
using test::WorkFolder;

// "{dir}" stands for the program's folder (the work folder of each case).
std::string Expand(std::string text, const std::string& dir) {
  for (size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir);
  return text;
}

TEST(StartUp, FoldersUserPointerAndDesktopDatabase) {
  struct Case {
    const char* name;
    const char* ini;  // empty: no settings file
    const char* logname;
    const char* data;
    const char* graph;
    const char* user;
    bool opened;
  };
  const Case cases[] = {
      {"no settings file", "", "cajero", "{dir}\\", "{dir}\\", "cajero", false},
      {"no section", "[Otra]\nDataPath=/x\n", "  ", "{dir}\\", "{dir}\\", "GUEST", false},
      {"keys in any case; a folder without its backslash gets one",
       "[zqfiles]\ndatapath={dir}/data\nGraphPath=G\\\n", " ana ", "{dir}/data\\", "G\\", "ana",
       true},
  };
  for (const auto& c : cases) {
    WorkFolder wf;
    const std::string dir = wf.Path().string();
    if (*c.ini) wf.Write("kalu-upgrade.INI", Expand(c.ini, dir));
    wf.Write("data/kalu.mdb", "");
    TestContext t;
    t.display.pointer = 5;
    StartUp(*t, dir + "/kalu-upgrade", c.logname);
    const SequenceOnly& kept = t->sequenceOnly;
    EXPECT_EQ(kept.folders.data, Expand(c.data, dir)) << c.name;
    EXPECT_EQ(kept.folders.data2, kept.folders.data) << c.name;
    EXPECT_EQ(kept.folders.graph, Expand(c.graph, dir)) << c.name;
    EXPECT_EQ(kept.folders.menu, dir + "\\") << c.name;
    EXPECT_EQ(kept.localDatabasePath, kept.folders.data + "Kalu.MDB") << c.name;
    EXPECT_EQ(kept.desktopDb.IsOpen(), c.opened) << c.name;  // a missing file stops nothing
    EXPECT_EQ(kept.userName, c.user) << c.name;
    EXPECT_EQ(t->savedPointer, 5) << c.name;
    EXPECT_EQ(t.display.pointer, kPointerHourglass) << c.name;
    EXPECT_TRUE(t.display.shown) << c.name;
    EXPECT_EQ(kept.runningProgram, "AZT903114") << c.name;
    EXPECT_TRUE(t.session.IsInitialized()) << c.name;
    EXPECT_FALSE(t.session.IsConnected()) << c.name;  // opened by the first statement
  }
}

TEST(StartUp, SettingsFileIsNamedAfterTheProgram) {
  EXPECT_EQ(SettingsFilePath("/opt/kalu/bin/kalu-upgrade"), "/opt/kalu/bin/kalu-upgrade.INI");
  EXPECT_EQ(SettingsFilePath("/opt/kalu/bin/kalu-upgrade.exe"), "/opt/kalu/bin/kalu-upgrade.INI");
}

TEST(RunCounter, ReachesZeroForTheShutdownAndOverflowIsAnError) {
  TestContext t;
  EXPECT_FALSE(AdjustRunCounter(*t, 1));
  EXPECT_TRUE(AdjustRunCounter(*t, -1));
  t->runCounter = INT16_MAX;
  try {
    AdjustRunCounter(*t, 1);
    ADD_FAILURE() << "no overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
  }
}

// A display whose wait takes the time it is given, as a window without input does.
class WaitingDisplay : public RecordingDisplay {
 public:
  void WaitForInput(int ms) override {
    waited += ms;
    ++waits;
  }
  int waited = 0;
  int waits = 0;
};

TEST(Shutdown, ClosesEverythingAndWaitsOnePeriodForTheReportViewer) {
  WorkFolder wf;
  wf.Write("Kalu.MDB", "");
  WaitingDisplay display;
  FixedClock clock(0);
  RunLog log;
  Session session;
  Context ctx(display, session, clock, log);
  DesktopDatabase& desktopDb = ctx.sequenceOnly.desktopDb;
  ASSERT_TRUE(desktopDb.Open(".\\kalu.mdb"));
  session.Initialize();
  display.shown = true;
  Shutdown(ctx);
  EXPECT_FALSE(desktopDb.IsOpen());
  EXPECT_FALSE(session.IsInitialized());
  EXPECT_FALSE(display.shown);
  EXPECT_EQ(display.waits, 1);
  EXPECT_EQ(display.waited, 800);
  EXPECT_GE(display.pumps, 1);
}

TEST(Epilogue, IdlesCommitsWhenConnectedAndRestoresThePointer) {
  TestContext t;
  t->savedPointer = 0;
  t.display.pointer = kPointerHourglass;
  ProcedureEpilogue(*t, true);  // never connected: the commit is skipped
  EXPECT_EQ(t->sequenceOnly.desktopDb.Idles(), 1);
  EXPECT_EQ(t->sequenceOnly.desktopDb.LastIdleOption(), 1);
  EXPECT_EQ(t.display.pointer, 0);
}

}  // namespace

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

TEST(RunReport, TimesAreLocalWithTheirOffset) {
  std::string text = IsoLocalTime(std::chrono::system_clock::now());
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
      << text;
}

}  // namespace kalu
