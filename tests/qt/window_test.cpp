// The main window as the operator sees it: caption, tool bar, the progress panel, the
// information messages with their single OK button, the hourglass and the window close.
// Runs under QT_QPA_PLATFORM=offscreen and saves pictures under the build folder.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "run/steps.h"
#include "run/worker_display.h"
#include "support/test_support.h"
#include "support/window_scenes.h"
#include "ui/qt/main_form.h"
#include "ui/qt/qt_display.h"

namespace kalu {
namespace {

std::filesystem::path PictureFolder() {
  std::filesystem::path folder = test::BinaryDir() / "qt-pictures";
  std::filesystem::create_directories(folder);
  return folder;
}

// What a message box showed while it was up.
struct SeenMessage {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::vector<QMessageBox::StandardButton> buttons;
  QString picture;  // file of the picture taken while it was up
};

// Watches for a message box; when one is up, notes what it shows, takes a picture of the
// screen (main window and box) and, unless `pressOk` is off, presses OK.
class MessageWatch {
 public:
  MessageWatch(std::string pictureName, bool pressOk)
      : pictureName_(std::move(pictureName)), pressOk_(pressOk) {
    QObject::connect(&poll_, &QTimer::timeout, [this] { Look(); });
    poll_.start(20);
  }

  std::vector<SeenMessage> seen;

 private:
  void Look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box == lastBox_) return;
    lastBox_ = box;
    SeenMessage message{box->windowTitle(), box->text(), box->icon(), {}, {}};
    for (QAbstractButton* button : box->buttons())
      message.buttons.push_back(box->standardButton(button));
    if (!pictureName_.empty()) {
      QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
      QPixmap boxOnly = box->grab();
      std::filesystem::path folder = PictureFolder();
      screen.save(QString::fromStdString((folder / (pictureName_ + "-screen.png")).string()));
      message.picture = QString::fromStdString((folder / (pictureName_ + ".png")).string());
      boxOnly.save(message.picture);
    }
    seen.push_back(message);
    if (pressOk_) box->button(QMessageBox::Ok)->click();
  }

  std::string pictureName_;
  bool pressOk_;
  QTimer poll_;
  QMessageBox* lastBox_ = nullptr;
};

// Counts the paints of a widget.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
  int count = 0;
};

// Lets messages through for `ms` milliseconds.
void PumpFor(qint64 ms) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (!elapsed.hasExpired(ms)) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class WindowTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Messages nobody answers close by themselves after this long.
    setenv("KALU_MESSAGE_TIMEOUT_MS", "1500", 1);
    display_ = CreateQtDisplay(argc_, argv_, [] { ++closes_; });
  }
  static void TearDownTestSuite() { display_.reset(); }

  void SetUp() override {
    ASSERT_NE(display_, nullptr);
    closes_ = 0;
    display_->ShowMainWindow();
  }

  static MainForm& Form() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* form = dynamic_cast<MainForm*>(w)) return *form;
    }
    throw std::runtime_error("MainForm not found");
  }
  static QLabel* Panel(int number) {
    return Form().findChild<QLabel*>(QStringLiteral("Panel%1").arg(number));
  }

  static inline int argc_ = 1;
  static inline char program_[] = "window_test";
  static inline char* argv_[] = {program_, nullptr};
  static inline std::unique_ptr<Display> display_;
  static inline int closes_ = 0;
};

TEST_F(WindowTest, ShowsCaptionToolBarAndProgressInTheThirdPanel) {
  MainForm& form = Form();
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.windowTitle().toStdString(), "Actualizacion Versión 24.03.20");

  auto* toolBar = form.findChild<QToolBar*>();
  ASSERT_NE(toolBar, nullptr);
  int buttons = 0;
  for (QAction* action : toolBar->actions()) {
    if (action->isSeparator()) continue;
    ++buttons;
    EXPECT_FALSE(action->icon().isNull()) << action->objectName().toStdString();
  }
  EXPECT_GE(buttons, 3);

  auto* statusBar = form.findChild<QStatusBar*>(QStringLiteral("ZqStatusBar"));
  ASSERT_NE(statusBar, nullptr);
  EXPECT_EQ(statusBar->findChildren<QLabel*>(QRegularExpression("^Panel\\d$")).size(), 3);

  PumpFor(100);  // the panel has not been painted for a while
  const std::string text = "Actualización de Códigos Postales... 06600";
  display_->SetProgress(text);
  EXPECT_EQ(Panel(3)->text().toStdString(), text);  // at once, before any message pump
  EXPECT_NE(Panel(1)->text(), Panel(3)->text());

  QString picture = QString::fromStdString((PictureFolder() / "main-window.png").string());
  QPixmap shot = form.grab();
  EXPECT_EQ(shot.size(), form.size());
  EXPECT_TRUE(shot.save(picture));
}

TEST_F(WindowTest, RowByRowProgressPaintsAFewTimesASecondAndEndsWithTheLastText) {
  PaintCounter paints(*Panel(3));
  for (int folio = 1; folio <= 2000; ++folio) {
    display_->SetProgress("Actualizando Documento Serie: A, Folio : " + std::to_string(folio));
    display_->PumpMessages();
  }
  PumpFor(2 * MainForm::kPaintIntervalMs);
  EXPECT_EQ(Panel(3)->text().toStdString(), "Actualizando Documento Serie: A, Folio : 2000");
  EXPECT_GE(paints.count, 1);
  EXPECT_LT(paints.count, 100);
}

TEST_F(WindowTest, MessagesShowTheirTextWithOnlyAnOkButton) {
  const std::vector<std::string> texts = {
      "Presione ACEPTAR para iniciar la REORGANIZACION",
      "Reorganización Versión ZIDEVURO 24.03.20 Terminada",
      "Error: No se pudo completar la descarga, intente mas tarde",
  };
  display_->SetProgress("Borrando Consulta EdoCtaFolios_View ...");
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(texts[i]);
    MessageWatch watch("message-" + std::to_string(i + 1), true);
    display_->ShowMessage(texts[i]);
    ASSERT_EQ(watch.seen.size(), 1u);
    const SeenMessage& seen = watch.seen[0];
    EXPECT_EQ(seen.text.toStdString(), texts[i]);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, std::vector<QMessageBox::StandardButton>{QMessageBox::Ok});
    EXPECT_FALSE(QPixmap(seen.picture).isNull());
  }
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WindowTest, AnUnansweredMessageClosesAfterTheConfiguredTime) {
  MessageWatch watch("", false);
  display_->ShowMessage("Presione ACEPTAR para iniciar la REORGANIZACION");
  ASSERT_EQ(watch.seen.size(), 1u);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WindowTest, CommandsOutsideTheFrameworkAreNotAvailable) {
  struct Case {
    QString key;
    bool viaToolBar;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"Consultas", true, {"Opcion no disponible"}},
      {"Reportes", true, {"Opcion no disponible"}},
      {"ZQAcercaDe", true, {}},
      {"zqCualquiera", false, {}},
      {"Zq", false, {}},
      {"Z", false, {"Opcion no disponible"}},
      {"", false, {"Opcion no disponible"}},
  };
  MainForm& form = Form();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key.toStdString());
    MessageWatch watch(c.key == "Consultas" ? "not-available" : "", true);
    if (c.viaToolBar) {
      QAction* button = form.findChild<QToolBar*>()->findChild<QAction*>(c.key);
      ASSERT_NE(button, nullptr);
      button->trigger();
    } else {
      form.Dispatch(c.key);
    }
    display_->WaitForInput(60);
    display_->PumpMessages();
    std::vector<std::string> messages;
    for (const SeenMessage& seen : watch.seen) messages.push_back(seen.text.toStdString());
    EXPECT_EQ(messages, c.messages);
  }
}

TEST_F(WindowTest, HourglassIsTheWaitCursorUntilTheOrdinaryPointerComesBack) {
  EXPECT_EQ(display_->MousePointer(), kPointerDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  display_->SetMousePointer(kPointerHourglass);
  display_->SetMousePointer(kPointerHourglass);
  EXPECT_EQ(display_->MousePointer(), kPointerHourglass);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  display_->SetMousePointer(kPointerDefault);
  EXPECT_EQ(display_->MousePointer(), kPointerDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, ClosingTheWindowWhileMessagesArePumpedRunsTheCloseRequest) {
  MainForm& form = Form();
  QTimer::singleShot(0, &form, &QWidget::close);
  display_->PumpMessages();
  EXPECT_EQ(closes_, 1);

  display_->ShowMainWindow();
  QTimer::singleShot(0, &form, &QWidget::close);
  display_->WaitForInput(800);
  display_->PumpMessages();
  EXPECT_EQ(closes_, 2);
}

// The run works on a thread of its own: while it waits (a central service answering late),
// the window's event loop goes on (a timer of the window's thread never waits a second);
// a message of the run is shown by the window's thread, and the run waits for its OK.
TEST_F(WindowTest, TheWindowAnswersWhileTheRunWaitsOnItsOwnThread) {
  auto* loop = dynamic_cast<WindowLoop*>(display_.get());
  ASSERT_NE(loop, nullptr);
  WorkerDisplay worker(*display_, dynamic_cast<StepObserver*>(display_.get()), *loop);
  QElapsedTimer sinceTick;
  sinceTick.start();
  qint64 longest = 0;
  int ticks = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    longest = std::max(longest, sinceTick.restart());
    ++ticks;
  });
  tick.start(100);
  MessageWatch watch("", true);
  const int status = worker.Run([&] {
    worker.SetProgress("Consultando los servicios centrales ...");
    std::this_thread::sleep_for(std::chrono::seconds(6));  // past the 5 s of a hung window
    worker.ShowMessage("Presione ACEPTAR para iniciar la REORGANIZACION");
    worker.SetProgress("Servicios consultados");
    return 7;
  });
  EXPECT_EQ(status, 7);
  EXPECT_GE(ticks, 40);
  EXPECT_LT(longest, 1000);
  ASSERT_EQ(watch.seen.size(), 1u);
  EXPECT_EQ(watch.seen[0].text.toStdString(), "Presione ACEPTAR para iniciar la REORGANIZACION");
  EXPECT_EQ(Panel(3)->text().toStdString(), "Servicios consultados");
}

// The client area lists the steps with their states, the running step's progress bar and
// percentage, the error of a failed step and, at the end, the run's summary.
TEST_F(WindowTest, StepsListShowsEachStepsStateProgressAndTheSummary) {
  MainForm& form = Form();
  auto* view = dynamic_cast<StepObserver*>(display_.get());
  ASSERT_NE(view, nullptr);
  auto* list = form.findChild<QTreeWidget*>(QStringLiteral("StepsList"));
  auto* bar = form.findChild<QProgressBar*>(QStringLiteral("StepProgress"));
  auto* caption = form.findChild<QLabel*>(QStringLiteral("StepCaption"));
  auto* error = form.findChild<QLabel*>(QStringLiteral("StepError"));
  auto* summary = form.findChild<QPlainTextEdit*>(QStringLiteral("RunSummary"));
  auto* elapsed = form.findChild<QLabel*>(QStringLiteral("Elapsed"));
  ASSERT_TRUE(list && bar && caption && error && summary && elapsed);
  ASSERT_EQ(list->topLevelItemCount(), kStepCount);
  const test::ListCell cell = [&](int r, int c) {
    return list->topLevelItem(r)->text(c).toStdString();
  };
  auto picture = [&](const char* name) {
    PumpFor(2 * MainForm::kStepsPaintIntervalMs);
    EXPECT_TRUE(form.grab().save(QString::fromStdString((PictureFolder() / name).string())));
  };
  const std::string w = "en espera", ok = "ok", f = "falló";

  Steps steps;
  steps.SetObserver(view);
  EXPECT_EQ(test::ListedStates(cell), std::vector<std::string>(kStepCount, w));
  // The copy of the database says what it made after the step's title.
  test::RunUpToThePostalCodes(steps);
  picture("steps-running.png");
  test::ExpectListUpToThePostalCodes(cell);
  EXPECT_EQ(caption->text().toStdString(), "Paso 6 de 11: Códigos postales");
  EXPECT_EQ(bar->value(), 40);
  EXPECT_EQ(bar->text().toStdString(), "40 %");
  EXPECT_TRUE(elapsed->text().startsWith(QStringLiteral("Tiempo transcurrido: 0:00:0")));
  EXPECT_FALSE(error->isVisible());

  steps.Fail("Error 1060: SQLSTATE 23505: duplicate key value");
  picture("steps-failed.png");
  EXPECT_EQ(test::ListedStates(cell),
            (std::vector<std::string>{ok, ok, ok, ok, ok, f, w, w, w, w, w}));
  EXPECT_TRUE(error->isVisible());
  EXPECT_EQ(error->text().toStdString(),
            "Códigos postales falló: Error 1060: SQLSTATE 23505: duplicate key value");
  EXPECT_EQ(list->topLevelItem(5)->toolTip(1).toStdString(),
            "Error 1060: SQLSTATE 23505: duplicate key value");

  Steps finished;
  finished.SetObserver(view);
  test::FinishEveryStep(finished,
                        {"Resumen de la corrida:", "  U1315S1                      0.125 s"});
  picture("steps-done.png");
  EXPECT_EQ(test::ListedStates(cell), std::vector<std::string>(kStepCount, ok));
  EXPECT_FALSE(error->isVisible());
  EXPECT_TRUE(summary->isVisible());
  EXPECT_EQ(summary->toPlainText().toStdString(),
            "Resumen de la corrida:\n  U1315S1                      0.125 s");
}

TEST_F(WindowTest, HideWindowsHidesTheMainWindow) {
  MainForm& form = Form();
  EXPECT_TRUE(form.isVisible());
  display_->HideWindows();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(closes_, 0);
}

}  // namespace
}  // namespace kalu
