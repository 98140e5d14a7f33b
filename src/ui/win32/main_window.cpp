#include "ui/win32/main_window.h"

#include <commctrl.h>

#include <cstdio>
#include <iterator>

#include "platform/wide_text.h"
#include "run/window_content.h"
#include "ui/win32/controls.h"

namespace kalu {

namespace {

enum Timer : UINT_PTR { kClockTimer = 1, kProgressTimer, kStepsTimer, kMessageTimer };
constexpr int kProgressPanel = 2;
constexpr const char* kEndSessionReason =
    "Actualización de la base de datos en curso: se detiene en un punto seguro";

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

HMENU ChildId(int id) {
  return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

void SetPanel(HWND statusBar, int panel, const wchar_t* text) {
  SendMessageW(statusBar, SB_SETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(text));
}

// Date, time, and the progress text in the rest.
bool SetPanelEdges(HWND statusBar) {
  int edges[] = {Scaled(statusBar, kClockPanelWidth), Scaled(statusBar, 2 * kClockPanelWidth), -1};
  return SendMessageW(statusBar, SB_SETPARTS, std::size(edges), reinterpret_cast<LPARAM>(edges)) !=
         0;
}

int WindowHeight(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect.bottom - rect.top;
}

// The topmost message box of this thread, or null.
HWND OpenMessageBox() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM result) -> BOOL {
        wchar_t name[16];
        if (!IsWindowVisible(window) || !GetClassNameW(window, name, 16) ||
            lstrcmpW(name, L"#32770") != 0) {
          return TRUE;
        }
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

std::unique_ptr<MainWindow> MainWindow::Create(std::function<void()> onClose,
                                               int messageTimeoutMs) {
  auto window = std::make_unique<MainWindow>(std::move(onClose), messageTimeoutMs);
  if (!window->Open()) {
    std::fprintf(stderr, "kalu-upgrade: no se pudo abrir la ventana (error %lu)\n", GetLastError());
    return nullptr;
  }
  return window;
}

MainWindow::MainWindow(std::function<void()> onClose, int messageTimeoutMs)
    : onClose_(std::move(onClose)), messageTimeoutMs_(messageTimeoutMs) {}

MainWindow::~MainWindow() {
  window_.reset();
  if (classRegistered_) UnregisterClassW(kMainWindowClass, Instance());
}

bool MainWindow::Open() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = Instance();
  windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kMainWindowClass;
  if (RegisterClassExW(&windowClass)) {
    classRegistered_ = true;
  } else if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return false;
  font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
  if (!font_) return false;
  // The window opens on the main monitor, in its scale; the procedure takes the handle when
  // the window is made (WM_NCCREATE).
  const int dpi = static_cast<int>(GetDpiForSystem());
  HWND window = CreateWindowExW(
      0, kMainWindowClass, WideOf(kMainCaption).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
      CW_USEDEFAULT, CW_USEDEFAULT, MulDiv(kWindowWidth, dpi, USER_DEFAULT_SCREEN_DPI),
      MulDiv(kWindowHeight, dpi, USER_DEFAULT_SCREEN_DPI), nullptr, nullptr, Instance(), this);
  if (!window) {
    (void)window_.release();  // the system destroyed it already
    return false;
  }
  return true;
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_.reset(window);
  }
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return self ? self->OnMessage(window, message, wParam, lParam)
              : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT MainWindow::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  switch (message) {
    case WM_CREATE:
      return MakeControls() ? 0 : -1;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      // The steps and a few lines of the summary stay in sight.
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {Scaled(window, kMinimumWindowWidth),
                                Scaled(window, kMinimumWindowHeight)};
      return 0;
    }
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale: the size the system suggests for it, and the
      // panels and the layout (WM_SIZE) in its pixels. The fonts stay those of the monitor
      // the window opened on.
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetPanelEdges(GetDlgItem(window, kStatusBarId));
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_TIMER:
      switch (wParam) {
        case kClockTimer:
          ShowClock();
          stepsView_.Tick();
          return 0;
        case kProgressTimer:
          ShowProgress();
          return 0;
        case kStepsTimer:
          PaintSteps();
          return 0;
        case kMessageTimer:
          AcknowledgeMessage();
          return 0;
      }
      break;
    case WM_COMMAND: {
      size_t command = LOWORD(wParam) - static_cast<size_t>(kFirstCommandId);
      if (LOWORD(wParam) >= kFirstCommandId && command < std::size(kToolBarButtons)) {
        Dispatch(kToolBarButtons[command].key);
        return 0;
      }
      break;
    }
    case WM_NOTIFY:
      if (stepsView_.OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return result;
      break;
    case WM_CTLCOLORSTATIC:
      if (stepsView_.OnStaticColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                   result)) {
        return result;
      }
      break;
    case WM_SETCURSOR:
      if (waiting_ && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case kRunTasksMessage:
      if (runTasks_) runTasks_();
      return 0;
    case WM_QUERYENDSESSION:
      // Windows asks before a logoff or shutdown: the operator is told why the program
      // holds it a moment, and the session may end (the run stops at WM_ENDSESSION).
      ShutdownBlockReasonCreate(window, WideOf(kEndSessionReason).c_str());
      return TRUE;
    case WM_ENDSESSION:
      // The process ends when this message returns: the run stops at a safe point first,
      // writing its log and report.
      if (wParam && onEndSession_) onEndSession_();
      ShutdownBlockReasonDestroy(window);
      return 0;
    case WM_CLOSE:
      // The operator closed the window: the run ends (the request normally ends the process).
      if (onClose_) onClose_();
      ShowWindow(window, SW_HIDE);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool MainWindow::MakeControls() {
  if (!MakeToolBar() || !MakeStatusBar() || !stepsView_.Create(Handle(), font_.get())) {
    return false;
  }
  ShowClock();
  return SetTimer(Handle(), kClockTimer, 1000, nullptr) != 0;
}

bool MainWindow::MakeToolBar() {
  HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0,
                             0, 0, 0, Handle(), ChildId(kToolBarId), Instance(), nullptr);
  if (!bar) return false;
  SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  // Buttons show their picture; their text is the tip.
  SendMessageW(bar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
  TBADDBITMAP standard{HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
  TBADDBITMAP views{HINST_COMMCTRL, IDB_VIEW_SMALL_COLOR};
  auto first =
      static_cast<int>(SendMessageW(bar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&standard)));
  auto firstView =
      static_cast<int>(SendMessageW(bar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&views)));
  // The picture of each button of kToolBarButtons, in its order.
  const int pictures[] = {firstView + VIEW_DETAILS, first + STD_FILENEW, first + STD_REDOW,
                          first + STD_HELP};
  static_assert(std::size(pictures) == std::size(kToolBarButtons));
  std::vector<TBBUTTON> buttons;
  for (size_t i = 0; i < std::size(kToolBarButtons); ++i) {
    const ToolBarButton& button = kToolBarButtons[i];
    if (button.separatorBefore) buttons.push_back({0, 0, 0, BTNS_SEP, {}, 0, 0});
    std::wstring text = WideOf(button.text) + L'\0';  // a list of one string
    INT_PTR string = SendMessageW(bar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    buttons.push_back({pictures[i],
                       kFirstCommandId + static_cast<int>(i),
                       TBSTATE_ENABLED,
                       BTNS_BUTTON,
                       {},
                       0,
                       string});
  }
  if (!SendMessageW(bar, TB_ADDBUTTONSW, buttons.size(),
                    reinterpret_cast<LPARAM>(buttons.data()))) {
    return false;
  }
  SendMessageW(bar, TB_AUTOSIZE, 0, 0);
  return true;
}

bool MainWindow::MakeStatusBar() {
  HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                             Handle(), ChildId(kStatusBarId), Instance(), nullptr);
  if (!bar) return false;
  SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  return SetPanelEdges(bar);
}

void MainWindow::Layout() {
  HWND toolBar = GetDlgItem(Handle(), kToolBarId);
  HWND statusBar = GetDlgItem(Handle(), kStatusBarId);
  SendMessageW(toolBar, TB_AUTOSIZE, 0, 0);
  SendMessageW(statusBar, WM_SIZE, 0, 0);
  RECT area{};
  GetClientRect(Handle(), &area);
  area.top += WindowHeight(toolBar);
  area.bottom -= WindowHeight(statusBar);
  stepsView_.Layout(area);
}

void MainWindow::Show() {
  ShowWindow(Handle(), SW_SHOW);
  UpdateWindow(Handle());
}

void MainWindow::ShowClock() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t date[16], time[8];
  swprintf(date, std::size(date), L"%02u/%02u/%04u", now.wDay, now.wMonth, now.wYear);
  swprintf(time, std::size(time), L"%02u:%02u", now.wHour, now.wMinute);
  HWND statusBar = GetDlgItem(Handle(), kStatusBarId);
  SetPanel(statusBar, 0, date);
  SetPanel(statusBar, 1, time);
}

void MainWindow::SetProgress(std::string_view text) {
  pendingProgress_ = WideOf(text);
  auto now = std::chrono::steady_clock::now();
  if (!lastPaint_ || now - *lastPaint_ >= std::chrono::milliseconds(kPaintIntervalMs)) {
    ShowProgress();
  } else if (!progressLater_) {
    progressLater_ = SetTimer(Handle(), kProgressTimer, kPaintIntervalMs, nullptr) != 0;
  }
}

void MainWindow::ShowProgress() {
  KillTimer(Handle(), kProgressTimer);
  progressLater_ = false;
  HWND statusBar = GetDlgItem(Handle(), kStatusBarId);
  SetPanel(statusBar, kProgressPanel, pendingProgress_.c_str());
  if (IsWindowVisible(Handle())) UpdateWindow(statusBar);
  lastPaint_ = std::chrono::steady_clock::now();
}

void MainWindow::ShowSteps(const std::vector<Step>& steps, int current) {
  pendingSteps_ = steps;
  pendingCurrent_ = current;
  if (stepsPace_.Due(steps, current)) {
    PaintSteps();
  } else if (!stepsLater_) {
    stepsLater_ = SetTimer(Handle(), kStepsTimer, kStepsPaintIntervalMs, nullptr) != 0;
  }
}

void MainWindow::PaintSteps() {
  KillTimer(Handle(), kStepsTimer);
  stepsLater_ = false;
  if (pendingSteps_.empty()) return;
  stepsView_.Show(pendingSteps_, pendingCurrent_);
  if (IsWindowVisible(Handle())) stepsView_.Paint();
}

void MainWindow::ShowSummary(const std::vector<std::string>& lines) {
  PaintSteps();
  stepsView_.ShowSummary(lines);
  if (IsWindowVisible(Handle())) stepsView_.Paint();
}

void MainWindow::ShowInformation(std::string_view text) {
  HWND owner = IsWindowVisible(Handle()) ? Handle() : nullptr;
  if (messageTimeoutMs_ > 0) {
    SetTimer(Handle(), kMessageTimer, static_cast<UINT>(messageTimeoutMs_), nullptr);
  }
  MessageBoxW(owner, WideOf(text).c_str(), WideOf(kMainCaption).c_str(),
              MB_OK | MB_ICONINFORMATION);
  KillTimer(Handle(), kMessageTimer);
}

// The message's time is up: it is acknowledged as if OK were pressed.
void MainWindow::AcknowledgeMessage() {
  KillTimer(Handle(), kMessageTimer);
  if (HWND box = OpenMessageBox()) SendMessageW(box, WM_COMMAND, IDOK, 0);
}

void MainWindow::SetWaiting(bool waiting) {
  waiting_ = waiting;
  SetCursor(LoadCursorW(nullptr, waiting ? IDC_WAIT : IDC_ARROW));
}

void MainWindow::Dispatch(std::string_view key) {
  if (IsFrameworkCommand(key)) return;
  ShowInformation(kNotAvailable);
}

}  // namespace kalu
