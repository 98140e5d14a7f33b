// The main window as the operator sees it, whichever toolkit draws it: caption, tool bar,
// the three panels of the status bar with the progress in the third, the steps list, the
// information messages with their single OK button, the hourglass, and the close that ends
// the run. Every text is read from the window's controls, as the window system shows it.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "run/steps.h"
#include "run/window_content.h"
#include "run/worker_display.h"
#include "window/window_probe.h"

namespace kalu::test {
namespace {

constexpr const char* kBackupDetail =
    "kalu_antes_24_03_20_20261207_221005 (8 MB, 2026-12-07 22:10:05)";

class WindowTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    probe_ = MakeWindowProbe([] { ++closes_; });
  }
  static void TearDownTestSuite() { probe_.reset(); }

  void SetUp() override {
    ASSERT_NE(probe_, nullptr);
    closes_ = 0;
    Screen().ShowMainWindow();
  }

  static Display& Screen() { return probe_->Screen(); }

  // The states of every step as the list shows them.
  static std::vector<std::string> ListedStates() {
    std::vector<std::string> states;
    for (int row = 0; row < kStepCount; ++row) states.push_back(probe_->Cell(row, 1));
    return states;
  }

  static inline std::unique_ptr<WindowProbe> probe_;
  static inline int closes_ = 0;
};

TEST_F(WindowTest, ShowsCaptionToolBarAndProgressInTheThirdPanel) {
  EXPECT_TRUE(probe_->Visible());
  EXPECT_EQ(probe_->Caption(), "Actualizacion Versión 24.03.20");
  const std::vector<bool> images = probe_->ToolBarImages();
  EXPECT_GE(images.size(), 3u);
  EXPECT_EQ(images, std::vector<bool>(images.size(), true));

  // Shrunk, the window keeps the steps and a few lines of the summary in sight.
  auto [width, height] = probe_->ShrunkSize();
  EXPECT_GE(width, 640);
  EXPECT_GE(height, 520);

  EXPECT_EQ(probe_->PanelCount(), 3);
  probe_->PumpFor(100);  // the panel has not been painted for a while
  const std::string text = "Actualización de Códigos Postales... 06600";
  Screen().SetProgress(text);
  EXPECT_EQ(probe_->Panel(3), text);                            // at once, before any message pump
  EXPECT_EQ(probe_->Panel(1).size(), 10u) << probe_->Panel(1);  // the date, dd/mm/yyyy
  EXPECT_EQ(probe_->Panel(2).size(), 5u) << probe_->Panel(2);   // the time, hh:mm
  probe_->Picture("main-window.png");
}

TEST_F(WindowTest, RowByRowProgressPaintsAFewTimesASecondAndEndsWithTheLastText) {
  std::unique_ptr<Tally> paints = probe_->CountProgressPaints();
  for (int folio = 1; folio <= 2000; ++folio) {
    Screen().SetProgress("Actualizando Documento Serie: A, Folio : " + std::to_string(folio));
    Screen().PumpMessages();
  }
  probe_->PumpFor(2 * probe_->ProgressPaintIntervalMs());
  EXPECT_EQ(probe_->Panel(3), "Actualizando Documento Serie: A, Folio : 2000");
  EXPECT_GE(paints->Count(), 1);
  EXPECT_LT(paints->Count(), 100);
}

// Each message shows its text under the window's caption, with the information icon and
// only an OK button; pressed or not (the configured time), it closes and the run goes on.
TEST_F(WindowTest, MessagesShowTheirTextWithOnlyAnOkButtonAndCloseByThemselvesWhenSet) {
  struct Case {
    std::string text;
    bool pressOk;  // else nobody answers it
  };
  const Case cases[] = {
      {"Presione ACEPTAR para iniciar la REORGANIZACION", true},
      {"Reorganización Versión ZIDEVURO 24.03.20 Terminada", true},
      {"Error: No se pudo completar la descarga, intente mas tarde", true},
      {"Presione ACEPTAR para iniciar la REORGANIZACION", false},
  };
  Screen().SetProgress("Borrando Consulta EdoCtaFolios_View ...");
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + (c.pressOk ? " (OK)" : " (unanswered)"));
    std::unique_ptr<MessageWatch> watch =
        probe_->WatchMessages(c.pressOk, "message-" + std::to_string(++number));
    Screen().ShowMessage(c.text);
    std::vector<SeenMessage> seen = watch->Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "Actualizacion Versión 24.03.20");
    EXPECT_EQ(seen[0].text, c.text);
    EXPECT_TRUE(seen[0].informationIcon);
    EXPECT_EQ(seen[0].buttons, std::vector<std::string>{"OK"});
    EXPECT_FALSE(probe_->MessageUp());
  }
}

TEST_F(WindowTest, CommandsOutsideTheFrameworkAreNotAvailable) {
  struct Case {
    std::string key;
    bool toolBar;  // else a menu's command
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"Consultas", true, {"Opcion no disponible"}},
      {"Reportes", true, {"Opcion no disponible"}},
      {"ZQRefrescar", true, {}},
      {"ZQAcercaDe", true, {}},
      {"zqCualquiera", false, {}},
      {"Zq", false, {}},
      {"Z", false, {"Opcion no disponible"}},
      {"", false, {"Opcion no disponible"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    std::unique_ptr<MessageWatch> watch =
        probe_->WatchMessages(true, c.key == "Consultas" ? "not-available" : "");
    if (c.toolBar) {
      probe_->ClickToolButton(c.key);
    } else {
      probe_->Dispatch(c.key);
    }
    Screen().WaitForInput(60);
    probe_->PumpFor(60);
    std::vector<std::string> messages;
    for (const SeenMessage& seen : watch->Seen()) messages.push_back(seen.text);
    EXPECT_EQ(messages, c.messages);
  }
}

TEST_F(WindowTest, HourglassIsTheWaitCursorUntilTheOrdinaryPointerComesBack) {
  EXPECT_EQ(Screen().MousePointer(), kPointerDefault);
  EXPECT_EQ(probe_->PointerShown(), Pointer::Ordinary);
  Screen().SetMousePointer(kPointerHourglass);
  Screen().SetMousePointer(kPointerHourglass);
  EXPECT_EQ(Screen().MousePointer(), kPointerHourglass);
  EXPECT_EQ(probe_->PointerShown(), Pointer::Wait);
  Screen().SetMousePointer(kPointerDefault);
  EXPECT_EQ(Screen().MousePointer(), kPointerDefault);
  EXPECT_EQ(probe_->PointerShown(), Pointer::Ordinary);
}

// The close button asks the run to end, at a message pump or while the run waits for input.
TEST_F(WindowTest, ClosingTheWindowWhileMessagesArePumpedRunsTheCloseRequest) {
  probe_->Close();
  Screen().PumpMessages();
  EXPECT_EQ(closes_, 1);
  EXPECT_FALSE(probe_->Visible());

  Screen().ShowMainWindow();
  probe_->Close();
  Screen().WaitForInput(800);
  EXPECT_EQ(closes_, 2);
}

// The run works on a thread of its own: while it waits (a central service answering late),
// the window answers a probe within a second, as Windows probes it before it calls a window
// not responding; a message of the run is shown by the window's thread, and the run waits
// for its OK.
TEST_F(WindowTest, TheWindowAnswersWhileTheRunWaitsOnItsOwnThread) {
  auto* loop = dynamic_cast<WindowLoop*>(&Screen());
  ASSERT_NE(loop, nullptr);
  WorkerDisplay worker(Screen(), dynamic_cast<StepObserver*>(&Screen()), *loop);
  std::unique_ptr<Tally> answers = probe_->ProbeAnswers();
  std::unique_ptr<MessageWatch> watch = probe_->WatchMessages(true);
  const int status = worker.Run([&] {
    worker.SetProgress("Consultando los servicios centrales ...");
    std::this_thread::sleep_for(std::chrono::seconds(6));  // past Windows' 5 s
    worker.ShowMessage("Presione ACEPTAR para iniciar la REORGANIZACION");
    worker.SetProgress("Servicios consultados");
    return 7;
  });
  EXPECT_EQ(status, 7);
  EXPECT_GE(answers->Count(), 40);
  EXPECT_EQ(answers->Late(), 0) << "of " << answers->Count();
  std::vector<SeenMessage> seen = watch->Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Presione ACEPTAR para iniciar la REORGANIZACION");
  EXPECT_EQ(probe_->Panel(3), "Servicios consultados");
}

// The client area lists the steps with their states, the running step's progress bar and
// percentage, the error of a failed step and, at the end, the run's summary.
TEST_F(WindowTest, StepsListShowsEachStepsStateProgressAndTheSummary) {
  auto* view = dynamic_cast<StepObserver*>(&Screen());
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(probe_->StepRows(), kStepCount);
  auto settle = [](const char* picture) {
    probe_->PumpFor(2 * probe_->StepsPaintIntervalMs());
    probe_->Picture(picture);
  };
  const std::string w = "en espera", r = "en curso", ok = "ok", f = "falló";
  auto row = [](StepId id) { return static_cast<int>(id); };

  Steps steps;
  steps.SetObserver(view);
  EXPECT_EQ(ListedStates(), std::vector<std::string>(kStepCount, w));
  // The copy of the database says what it made after the step's title; four steps of
  // 1.200 rows each, and the postal codes at 400 of 1000.
  steps.Begin(StepId::Backup);
  steps.SetDetail(kBackupDetail);
  for (StepId id : {StepId::Schema, StepId::View, StepId::CartaPorte, StepId::StoredViews}) {
    steps.Begin(id);
    steps.AddRows(1200);
  }
  steps.Begin(StepId::PostalCodes);
  steps.SetWork(400, 1000);
  settle("steps-running.png");
  EXPECT_EQ(ListedStates(), (std::vector<std::string>{ok, ok, ok, ok, ok, r, w, w, w, w, w}));
  EXPECT_EQ(probe_->Cell(row(StepId::Backup), 0), std::string("1. Respaldo: ") + kBackupDetail);
  EXPECT_EQ(probe_->Cell(row(StepId::StoredViews), 3), "1.200");
  EXPECT_EQ(probe_->Cell(row(StepId::StoredViews), 2).back(), 's');
  EXPECT_EQ(probe_->Cell(row(StepId::Colonies), 2), "");
  EXPECT_EQ(probe_->StepCaption(), "Paso 6 de 11: Códigos postales");
  EXPECT_EQ(probe_->ProgressValue(), 40);
  EXPECT_EQ(probe_->ProgressText(), "40 %");
  EXPECT_EQ(probe_->Elapsed().rfind("Tiempo transcurrido: 0:00:0", 0), 0u) << probe_->Elapsed();
  EXPECT_FALSE(probe_->ErrorVisible());

  const std::string error = "Error 1060: SQLSTATE 23505: duplicate key value";
  steps.Fail(error);
  settle("steps-failed.png");
  EXPECT_EQ(ListedStates(), (std::vector<std::string>{ok, ok, ok, ok, ok, f, w, w, w, w, w}));
  EXPECT_TRUE(probe_->ErrorVisible());
  EXPECT_EQ(probe_->ErrorText(), "Códigos postales falló: " + error);
  if (auto tip = probe_->StateTip(row(StepId::PostalCodes))) {
    EXPECT_EQ(*tip, error);
  }

  Steps finished;
  finished.SetObserver(view);
  for (int i = 0; i < kStepCount; ++i) finished.Begin(static_cast<StepId>(i));
  finished.End();
  finished.Summarize({"Resumen de la corrida:", "  U1315S1                      0.125 s"});
  settle("steps-done.png");
  EXPECT_EQ(ListedStates(), std::vector<std::string>(kStepCount, ok));
  EXPECT_FALSE(probe_->ErrorVisible());
  EXPECT_FALSE(probe_->ProgressVisible());
  EXPECT_EQ(probe_->StepCaption(), kRunFinishedCaption);
  EXPECT_TRUE(probe_->SummaryVisible());
  EXPECT_EQ(probe_->SummaryText(),
            "Resumen de la corrida:\n  U1315S1                      0.125 s");
}

TEST_F(WindowTest, HideWindowsHidesTheMainWindow) {
  EXPECT_TRUE(probe_->Visible());
  Screen().HideWindows();
  EXPECT_FALSE(probe_->Visible());
  EXPECT_EQ(closes_, 0);
}

}  // namespace
}  // namespace kalu::test
