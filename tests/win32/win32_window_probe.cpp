// The window tests' probe of the native window, under Wine: every text is read from the
// window's controls through the window system's own messages.

#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "platform/wide_text.h"
#include "run/window_content.h"
#include "ui/win32/controls.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_display.h"
#include "window/window_probe.h"

namespace kalu::test {
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

// A visible message box of this process, if one is up.
HWND FindBox() {
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

// Watches from a thread of its own: the box runs the window thread's modal loop.
class Win32MessageWatch : public MessageWatch {
 public:
  explicit Win32MessageWatch(bool pressOk) : watcher_([this, pressOk] { Watch(pressOk); }) {}
  ~Win32MessageWatch() override { Seen(); }
  std::vector<SeenMessage> Seen() override {
    stop_ = true;
    if (watcher_.joinable()) watcher_.join();
    return seen_;
  }

 private:
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
          message.informationIcon = true;
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
class PaintTally : public Tally {
 public:
  explicit PaintTally(HWND control) : control_(control) {
    SetWindowSubclass(control_, Count, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~PaintTally() override { RemoveWindowSubclass(control_, Count, 1); }
  int Count() override { return count_; }

 private:
  static LRESULT CALLBACK Count(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR self) {
    if (message == WM_PAINT) ++reinterpret_cast<PaintTally*>(self)->count_;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  HWND control_;
  int count_ = 0;
};

// Probes the window as Windows does before it calls it not responding: a message sent with
// a time-out of a second, every tenth of a second, from a thread of its own.
class AnswerTally : public Tally {
 public:
  explicit AnswerTally(HWND window)
      : prober_([this, window] {
          while (!ended_) {
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result)) {
              ++late_;
            }
            ++probes_;
            Sleep(100);
          }
        }) {}
  ~AnswerTally() override { End(); }
  int Count() override {
    End();
    return probes_;
  }
  int Late() override {
    End();
    return late_;
  }

 private:
  void End() {
    ended_ = true;
    if (prober_.joinable()) prober_.join();
  }
  std::atomic<bool> ended_{false};
  std::atomic<int> probes_{0}, late_{0};
  std::thread prober_;
};

class Win32WindowProbe : public WindowProbe {
 public:
  explicit Win32WindowProbe(std::function<void()> onClose)
      : display_(CreateWin32Display(std::move(onClose))) {
    if (!display_) throw std::runtime_error("no window");
  }

  Display& Screen() override { return *display_; }
  bool Visible() override { return IsWindowVisible(Window()) != FALSE; }
  std::string Caption() override { return TextOf(Window()); }
  std::vector<bool> ToolBarImages() override {
    HWND toolBar = Control(kToolBarId);
    std::vector<bool> images;
    for (int i = 0; i < SendMessageW(toolBar, TB_BUTTONCOUNT, 0, 0); ++i) {
      TBBUTTON button{};
      SendMessageW(toolBar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
      if (!(button.fsStyle & BTNS_SEP)) images.push_back(button.iBitmap >= 0);
    }
    return images;
  }
  int PanelCount() override {
    return static_cast<int>(SendMessageW(Control(kStatusBarId), SB_GETPARTS, 0, 0));
  }
  std::string Panel(int number) override {
    HWND bar = Control(kStatusBarId);
    auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, number - 1, 0));
    std::wstring text(length + 1u, L'\0');
    SendMessageW(bar, SB_GETTEXTW, number - 1, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return Utf8Of(text);
  }
  std::pair<int, int> ShrunkSize() override {
    HWND window = Window();
    RECT before{}, shrunk{};
    GetWindowRect(window, &before);
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(window, nullptr, 0, 0, 200, 150, flags);
    GetWindowRect(window, &shrunk);
    SetWindowPos(window, nullptr, 0, 0, before.right - before.left, before.bottom - before.top,
                 flags);
    return {shrunk.right - shrunk.left, shrunk.bottom - shrunk.top};
  }
  std::unique_ptr<Tally> CountProgressPaints() override {
    return std::make_unique<PaintTally>(Control(kStatusBarId));
  }
  void PumpFor(int ms) override {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(ms)) display_->WaitForInput(10);
  }
  void Picture(const std::string&) override {}

  std::unique_ptr<MessageWatch> WatchMessages(bool pressOk, const std::string&) override {
    return std::make_unique<Win32MessageWatch>(pressOk);
  }
  bool MessageUp() override { return FindBox() != nullptr; }
  void ClickToolButton(std::string_view key) override {
    int index = 0;
    while (index < static_cast<int>(std::size(kToolBarButtons)) &&
           kToolBarButtons[index].key != key) {
      ++index;
    }
    RECT button{};
    ASSERT_TRUE(SendMessageW(Control(kToolBarId), TB_GETRECT, kFirstCommandId + index,
                             reinterpret_cast<LPARAM>(&button)))
        << key;
    LPARAM middle = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    PostMessageW(Control(kToolBarId), WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(Control(kToolBarId), WM_LBUTTONUP, 0, middle);
  }
  void Dispatch(std::string_view key) override {
    reinterpret_cast<MainWindow*>(GetWindowLongPtrW(Window(), GWLP_USERDATA))->Dispatch(key);
  }
  Pointer PointerShown() override {
    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    const bool current = GetCursor() == wait;
    // The pointer as the window sets it when the mouse moves over its client area.
    SendMessageW(Window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Window()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    const bool overWindow = GetCursor() == wait;
    if (current != overWindow) return Pointer::Mixed;
    return current ? Pointer::Wait : Pointer::Ordinary;
  }
  void Close() override { PostMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0); }
  std::unique_ptr<Tally> ProbeAnswers() override { return std::make_unique<AnswerTally>(Window()); }

  int StepRows() override {
    return static_cast<int>(SendMessageW(Control(kStepsListId), LVM_GETITEMCOUNT, 0, 0));
  }
  std::string Cell(int row, int column) override {
    wchar_t text[256] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(Control(kStepsListId), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return Utf8Of(text);
  }
  std::optional<std::string> StateTip(int) override { return std::nullopt; }
  std::string StepCaption() override { return TextOf(Control(kStepCaptionId)); }
  int ProgressValue() override {
    return static_cast<int>(SendMessageW(Control(kStepProgressId), PBM_GETPOS, 0, 0));
  }
  std::string ProgressText() override { return TextOf(Control(kStepPercentId)); }
  bool ProgressVisible() override { return Shown(kStepProgressId); }
  std::string Elapsed() override { return TextOf(Control(kElapsedId)); }
  bool ErrorVisible() override { return Shown(kStepErrorId); }
  std::string ErrorText() override { return TextOf(Control(kStepErrorId)); }
  bool SummaryVisible() override { return Shown(kRunSummaryId); }
  std::string SummaryText() override {
    std::string text = TextOf(Control(kRunSummaryId));
    std::erase(text, '\r');
    return text;
  }
  int ProgressPaintIntervalMs() override { return MainWindow::kPaintIntervalMs; }
  int StepsPaintIntervalMs() override { return MainWindow::kStepsPaintIntervalMs; }

 private:
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
  static bool Shown(int id) { return IsWindowVisible(Control(id)) != FALSE; }

  std::unique_ptr<Display> display_;
};

}  // namespace

std::unique_ptr<WindowProbe> MakeWindowProbe(std::function<void()> onClose) {
  _putenv_s("KALU_MESSAGE_TIMEOUT_MS", "1500");
  return std::make_unique<Win32WindowProbe>(std::move(onClose));
}

}  // namespace kalu::test
