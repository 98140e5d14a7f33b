// Start-up and shutdown of a run: folders from the settings file, the user, the hourglass,
// the desktop database, the run counter and the shutdown's wait.

#include <gtest/gtest.h>

#include "run/zq_disp_mod.h"
#include "runtime/errors.h"
#include "support/test_support.h"

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

}  // namespace kalu
