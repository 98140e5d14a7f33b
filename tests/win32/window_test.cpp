// The native main window as the operator sees it, under Wine: caption, tool bar, the three
// panels of the status bar with the progress in the third, the steps list, the information
// messages with their single OK button, the hourglass, and the close that ends the run.
// Every text is read from the window's controls, as the window system shows it.

#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/wide_text.h"
#include "run/steps.h"
#include "run/worker_display.h"
#include "support/window_scenes.h"
#include "ui/win32/controls.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_display.h"

namespace kalu {
namespace {

using namespace std::chrono_literals;

std::string TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Utf8Of(text);
}

std::string ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return Utf8Of(name);
}

// What a message box showed while it was up.
struct SeenMessage {
  std::string title;
  std::string text;
  bool icon = false;
  std::vector<std::string> buttons;  // the texts of its buttons
};

// Watches, from a thread of its own, for a message box of this process; when one is up,
// notes what it shows and, unless `pressOk` is off, presses its OK button as the operator
// does. It stops at the first box, or when the object goes.
class MessageWatch {
 public:
  explicit MessageWatch(bool pressOk) : watcher_([this, pressOk] { Watch(pressOk); }) {}
  ~MessageWatch() { Seen(); }
  // What the box showed, once it has closed or the watch has ended.
  std::vector<SeenMessage> Seen() {
    stop_ = true;
    if (watcher_.joinable()) watcher_.join();
    return seen_;
  }

 private:
  static HWND FindBox() {
    struct Search {
      DWORD process = GetCurrentProcessId();
      HWND box = nullptr;
    } search;
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          DWORD process = 0;
          GetWindowThreadProcessId(window, &process);
          if (process != s->process || !IsWindowVisible(window) || ClassOf(window) != "#32770") {
            return TRUE;
          }
          s->box = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.box;
  }

  void Watch(bool pressOk) {
    while (!stop_) {
      HWND box = FindBox();
      if (!box) {
        std::this_thread::sleep_for(20ms);
        continue;
      }
      SeenMessage message{TextOf(box), {}, false, {}};
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (ClassOf(child) == "Button") {
          message.buttons.push_back(TextOf(child));
        } else if (ClassOf(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
          message.icon = true;
        } else if (ClassOf(child) == "Static" && !TextOf(child).empty()) {
          message.text = TextOf(child);
        }
      }
      seen_.push_back(message);
      if (pressOk) SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
      while (!stop_ && IsWindow(box) && IsWindowVisible(box)) std::this_thread::sleep_for(20ms);
      return;
    }
  }

  std::atomic<bool> stop_ = false;
  std::vector<SeenMessage> seen_;
  std::thread watcher_;
};

// Counts the paints of a control.
class PaintCounter {
 public:
  explicit PaintCounter(HWND control) : control_(control) {
    SetWindowSubclass(control_, Count, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~PaintCounter() { RemoveWindowSubclass(control_, Count, 1); }
  int count = 0;

 private:
  static LRESULT CALLBACK Count(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR self) {
    if (message == WM_PAINT) ++reinterpret_cast<PaintCounter*>(self)->count;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  HWND control_;
};

class WindowTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Messages nobody answers close by themselves after this long.
    _putenv_s("KALU_MESSAGE_TIMEOUT_MS", "1500");
    display_ = CreateWin32Display([] { ++closes_; });
  }
  static void TearDownTestSuite() { display_.reset(); }

  void SetUp() override {
    ASSERT_NE(display_, nullptr);
    closes_ = 0;
    display_->ShowMainWindow();
  }

  // Lets messages through for `ms` milliseconds.
  static void PumpFor(DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms;) display_->WaitForInput(10);
  }

  // The main window of this process: the tests of other processes may have theirs open.
  static HWND Window() {
    HWND found = nullptr;
    while ((found = FindWindowExW(nullptr, found, kMainWindowClass, nullptr)) != nullptr) {
      DWORD process = 0;
      GetWindowThreadProcessId(found, &process);
      if (process == GetCurrentProcessId()) return found;
    }
    return nullptr;
  }
  static HWND Control(int id) { return GetDlgItem(Window(), id); }
  // The text of a panel of the status bar (1 to 3).
  static std::string Panel(int number) {
    HWND bar = Control(kStatusBarId);
    auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, number - 1, 0));
    std::wstring text(length + 1u, L'\0');
    SendMessageW(bar, SB_GETTEXTW, number - 1, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return Utf8Of(text);
  }
  // The text of a cell of the steps list.
  static std::string Cell(int row, int column) {
    wchar_t text[256] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(Control(kStepsListId), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return Utf8Of(text);
  }

  static inline std::unique_ptr<Display> display_;
  static inline int closes_ = 0;
};

TEST_F(WindowTest, ShowsCaptionToolBarAndProgressInTheThirdPanel) {
  HWND window = Window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(TextOf(window), "Actualizacion Versión 24.03.20");

  HWND toolBar = Control(kToolBarId);
  ASSERT_NE(toolBar, nullptr);
  int buttons = 0;
  for (int i = 0; i < SendMessageW(toolBar, TB_BUTTONCOUNT, 0, 0); ++i) {
    TBBUTTON button{};
    SendMessageW(toolBar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
    if (button.fsStyle & BTNS_SEP) continue;
    ++buttons;
    EXPECT_GE(button.iBitmap, 0) << "button " << i;
  }
  EXPECT_GE(buttons, 3);

  // Shrunk, the window keeps the steps and a few lines of the summary in sight.
  SetWindowPos(window, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT shrunk{};
  GetWindowRect(window, &shrunk);
  EXPECT_GE(shrunk.right - shrunk.left, 640);
  EXPECT_GE(shrunk.bottom - shrunk.top, 520);
  SetWindowPos(window, nullptr, 0, 0, 860, 700, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  EXPECT_EQ(SendMessageW(Control(kStatusBarId), SB_GETPARTS, 0, 0), 3);
  PumpFor(100);  // the panel has not been painted for a while
  const std::string text = "Actualización de Códigos Postales... 06600";
  display_->SetProgress(text);
  EXPECT_EQ(Panel(3), text);                    // at once, before any message pump
  EXPECT_EQ(Panel(1).size(), 10u) << Panel(1);  // the date, dd/mm/yyyy
  EXPECT_EQ(Panel(2).size(), 5u) << Panel(2);   // the time, hh:mm
}

TEST_F(WindowTest, RowByRowProgressPaintsAFewTimesASecondAndEndsWithTheLastText) {
  PaintCounter paints(Control(kStatusBarId));
  for (int folio = 1; folio <= 2000; ++folio) {
    display_->SetProgress("Actualizando Documento Serie: A, Folio : " + std::to_string(folio));
    display_->PumpMessages();
  }
  PumpFor(2 * MainWindow::kPaintIntervalMs);
  EXPECT_EQ(Panel(3), "Actualizando Documento Serie: A, Folio : 2000");
  EXPECT_GE(paints.count, 1);
  EXPECT_LT(paints.count, 100);
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
  display_->SetProgress("Borrando Consulta EdoCtaFolios_View ...");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + (c.pressOk ? " (OK)" : " (unanswered)"));
    MessageWatch watch(c.pressOk);
    display_->ShowMessage(c.text);
    std::vector<SeenMessage> seen = watch.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "Actualizacion Versión 24.03.20");
    EXPECT_EQ(seen[0].text, c.text);
    EXPECT_TRUE(seen[0].icon);
    EXPECT_EQ(seen[0].buttons, std::vector<std::string>{"OK"});
  }
}

TEST_F(WindowTest, CommandsOutsideTheFrameworkAreNotAvailable) {
  struct Case {
    const char* key;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"Consultas", {"Opcion no disponible"}},
      {"Reportes", {"Opcion no disponible"}},
      {"ZQRefrescar", {}},
      {"ZQAcercaDe", {}},
  };
  HWND toolBar = Control(kToolBarId);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.key);
    // The operator clicks the button.
    RECT button{};
    int id = kFirstCommandId + static_cast<int>(i);
    ASSERT_TRUE(SendMessageW(toolBar, TB_GETRECT, id, reinterpret_cast<LPARAM>(&button)));
    LPARAM middle = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    MessageWatch watch(true);
    PostMessageW(toolBar, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(toolBar, WM_LBUTTONUP, 0, middle);
    display_->WaitForInput(60);
    PumpFor(60);
    std::vector<std::string> messages;
    for (const SeenMessage& seen : watch.Seen()) messages.push_back(seen.text);
    EXPECT_EQ(messages, c.messages);
  }
}

TEST_F(WindowTest, HourglassIsTheWaitCursorUntilTheOrdinaryPointerComesBack) {
  HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  // The pointer as the window sets it when the mouse moves over its client area.
  auto pointerOverWindow = [] {
    SendMessageW(Window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Window()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  EXPECT_EQ(display_->MousePointer(), kPointerDefault);
  EXPECT_NE(pointerOverWindow(), wait);
  display_->SetMousePointer(kPointerHourglass);
  display_->SetMousePointer(kPointerHourglass);
  EXPECT_EQ(display_->MousePointer(), kPointerHourglass);
  EXPECT_EQ(GetCursor(), wait);
  EXPECT_EQ(pointerOverWindow(), wait);
  display_->SetMousePointer(kPointerDefault);
  EXPECT_EQ(display_->MousePointer(), kPointerDefault);
  EXPECT_NE(GetCursor(), wait);
  EXPECT_NE(pointerOverWindow(), wait);
}

// The close button (the system command) asks the run to end, at a message pump or while
// the run waits for input.
TEST_F(WindowTest, ClosingTheWindowWhileMessagesArePumpedRunsTheCloseRequest) {
  PostMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  display_->PumpMessages();
  EXPECT_EQ(closes_, 1);
  EXPECT_FALSE(IsWindowVisible(Window()));

  display_->ShowMainWindow();
  PostMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  display_->WaitForInput(800);
  EXPECT_EQ(closes_, 2);
}

// The run works on a thread of its own: while it waits (a central service answering late),
// the window answers a probe within a second, as Windows probes it before it calls a window
// not responding; a message of the run is shown by the window's thread, and the run waits
// for its answer (here the message's own time-out).
TEST_F(WindowTest, TheWindowAnswersWhileTheRunWaitsOnItsOwnThread) {
  auto* loop = dynamic_cast<WindowLoop*>(display_.get());
  ASSERT_NE(loop, nullptr);
  WorkerDisplay worker(*display_, dynamic_cast<StepObserver*>(display_.get()), *loop);
  std::atomic<bool> ended{false};
  std::atomic<int> probes{0}, unanswered{0};
  const HWND window = Window();
  std::thread prober([&] {
    while (!ended) {
      DWORD_PTR result = 0;
      if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result)) {
        ++unanswered;
      }
      ++probes;
      Sleep(100);
    }
  });
  const int status = worker.Run([&] {
    worker.SetProgress("Consultando los servicios centrales ...");
    std::this_thread::sleep_for(std::chrono::seconds(6));  // past Windows' 5 s
    worker.ShowMessage("Presione ACEPTAR para iniciar la REORGANIZACION");
    worker.SetProgress("Servicios consultados");
    return 7;
  });
  ended = true;
  prober.join();
  EXPECT_EQ(status, 7);
  EXPECT_GE(probes, 40);
  EXPECT_EQ(unanswered, 0) << "of " << probes;
  EXPECT_EQ(Panel(3), "Servicios consultados");
}

// The client area lists the steps with their states, the running step's progress bar and
// percentage, the error of a failed step and, at the end, the run's summary.
TEST_F(WindowTest, StepsListShowsEachStepsStateProgressAndTheSummary) {
  auto* view = dynamic_cast<StepObserver*>(display_.get());
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(SendMessageW(Control(kStepsListId), LVM_GETITEMCOUNT, 0, 0), kStepCount);
  auto visible = [](int id) { return IsWindowVisible(Control(id)) != FALSE; };
  const std::string w = "en espera", ok = "ok", f = "falló";

  Steps steps;
  steps.SetObserver(view);
  EXPECT_EQ(test::ListedStates(Cell), std::vector<std::string>(kStepCount, w));
  // The copy of the database says what it made after the step's title.
  test::RunUpToThePostalCodes(steps);
  PumpFor(2 * MainWindow::kStepsPaintIntervalMs);
  test::ExpectListUpToThePostalCodes(Cell);
  EXPECT_EQ(TextOf(Control(kStepCaptionId)), "Paso 6 de 11: Códigos postales");
  EXPECT_EQ(SendMessageW(Control(kStepProgressId), PBM_GETPOS, 0, 0), 40);
  EXPECT_EQ(TextOf(Control(kStepPercentId)), "40 %");
  EXPECT_EQ(TextOf(Control(kElapsedId)).rfind("Tiempo transcurrido: 0:00:0", 0), 0u);
  EXPECT_FALSE(visible(kStepErrorId));

  steps.Fail("Error 1060: SQLSTATE 23505: duplicate key value");
  PumpFor(2 * MainWindow::kStepsPaintIntervalMs);
  EXPECT_EQ(test::ListedStates(Cell),
            (std::vector<std::string>{ok, ok, ok, ok, ok, f, w, w, w, w, w}));
  EXPECT_TRUE(visible(kStepErrorId));
  EXPECT_EQ(TextOf(Control(kStepErrorId)),
            "Códigos postales falló: Error 1060: SQLSTATE 23505: duplicate key value");

  Steps finished;
  finished.SetObserver(view);
  test::FinishEveryStep(finished,
                        {"Resumen de la corrida:", "  U1315S1                      0.125 s"});
  PumpFor(2 * MainWindow::kStepsPaintIntervalMs);
  EXPECT_EQ(test::ListedStates(Cell), std::vector<std::string>(kStepCount, ok));
  EXPECT_FALSE(visible(kStepErrorId));
  EXPECT_FALSE(visible(kStepProgressId));
  EXPECT_EQ(TextOf(Control(kStepCaptionId)), "Actualización terminada");
  EXPECT_TRUE(visible(kRunSummaryId));
  EXPECT_EQ(TextOf(Control(kRunSummaryId)),
            "Resumen de la corrida:\r\n  U1315S1                      0.125 s");
}

TEST_F(WindowTest, HideWindowsHidesTheMainWindow) {
  EXPECT_TRUE(IsWindowVisible(Window()));
  display_->HideWindows();
  EXPECT_FALSE(IsWindowVisible(Window()));
  EXPECT_EQ(closes_, 0);
}

}  // namespace
}  // namespace kalu
