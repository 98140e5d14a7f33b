#include "ui/win32/steps_view.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "platform/wide_text.h"
#include "run/window_content.h"
#include "ui/win32/controls.h"

namespace kalu {

namespace {

constexpr int kColumns = static_cast<int>(std::size(kStepColumns));
// Sizes at 96 DPI (Scaled).
constexpr int kMargin = 9;
constexpr int kBarHeight = 20;
constexpr int kPercentWidth = 60;
constexpr int kLeastTitleWidth = 100;
constexpr int kIconSize = 16;
constexpr COLORREF kErrorColour = RGB(0xb0, 0x00, 0x20);
constexpr COLORREF kMaskColour = RGB(0xff, 0x00, 0xff);

// The pictures of the state column, in the order of StepState: none while waiting, a
// triangle while running, a green tick when done, a red cross when failed.
enum StateImage { kWaitingImage, kRunningImage, kDoneImage, kFailedImage, kStateImages };

int ImageOf(StepState state) {
  switch (state) {
    case StepState::Waiting:
      return kWaitingImage;
    case StepState::Running:
      return kRunningImage;
    case StepState::Done:
      return kDoneImage;
    case StepState::Failed:
      return kFailedImage;
  }
  return kWaitingImage;
}

void DrawStateImages(HDC dc) {
  RECT all{0, 0, kStateImages * kIconSize, kIconSize};
  GdiHandle<HBRUSH> mask(CreateSolidBrush(kMaskColour));
  FillRect(dc, &all, mask.get());

  int x = kRunningImage * kIconSize;
  {
    Selection brush(dc, GetStockObject(BLACK_BRUSH));
    Selection pen(dc, GetStockObject(BLACK_PEN));
    const POINT triangle[] = {{x + 5, 3}, {x + 12, 8}, {x + 5, 13}};
    Polygon(dc, triangle, static_cast<int>(std::size(triangle)));
  }
  x = kDoneImage * kIconSize;
  {
    GdiHandle<HPEN> green(CreatePen(PS_SOLID, 3, RGB(0x2e, 0x8b, 0x2e)));
    Selection pen(dc, green.get());
    const POINT tick[] = {{x + 2, 8}, {x + 6, 12}, {x + 13, 3}};
    Polyline(dc, tick, static_cast<int>(std::size(tick)));
  }
  x = kFailedImage * kIconSize;
  {
    GdiHandle<HBRUSH> red(CreateSolidBrush(RGB(0xd0, 0x20, 0x20)));
    Selection brush(dc, red.get());
    Selection noPen(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, x + 1, 1, x + 16, 16);
    GdiHandle<HPEN> white(CreatePen(PS_SOLID, 2, RGB(0xff, 0xff, 0xff)));
    Selection pen(dc, white.get());
    MoveToEx(dc, x + 5, 5, nullptr);
    LineTo(dc, x + 11, 11);
    MoveToEx(dc, x + 11, 5, nullptr);
    LineTo(dc, x + 5, 11);
  }
}

ImageListHandle MakeStateImages() {
  HDC screen = GetDC(nullptr);
  DcHandle dc(CreateCompatibleDC(screen));
  GdiHandle<HBITMAP> pictures(CreateCompatibleBitmap(screen, kStateImages * kIconSize, kIconSize));
  ReleaseDC(nullptr, screen);
  if (!dc || !pictures) return nullptr;
  {
    Selection into(dc.get(), pictures.get());
    DrawStateImages(dc.get());
  }
  ImageListHandle list(
      ImageList_Create(kIconSize, kIconSize, ILC_COLOR32 | ILC_MASK, kStateImages, 0));
  if (list && ImageList_AddMasked(list.get(), pictures.get(), kMaskColour) < 0) return nullptr;
  return list;
}

HWND MakeControl(HWND parent, const wchar_t* windowClass, DWORD style, int id, HFONT font,
                 DWORD exStyle = 0) {
  HWND control = CreateWindowExW(exStyle, windowClass, L"", WS_CHILD | style, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void SetText(HWND control, const std::string& text) {
  SetWindowTextW(control, WideOf(text).c_str());
}

void SetCell(HWND list, int row, int column, const std::string& text) {
  std::wstring wide = WideOf(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = wide.data();
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

FontHandle Variant(HFONT font, int weight, const wchar_t* face) {
  LOGFONTW description{};
  GetObjectW(font, sizeof description, &description);
  description.lfWeight = weight;
  if (face) {
    description.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(description.lfFaceName, face, LF_FACESIZE);
  }
  return FontHandle(CreateFontIndirectW(&description));
}

}  // namespace

bool StepsView::Create(HWND parent, HFONT font) {
  parent_ = parent;
  font_ = font;
  bold_ = Variant(font, FW_BOLD, nullptr);
  fixed_ = Variant(font, FW_NORMAL, L"Courier New");
  icons_ = MakeStateImages();
  if (!bold_ || !fixed_ || !icons_) return false;
  {
    HDC dc = GetDC(parent);
    Selection into(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    ReleaseDC(parent, dc);
    lineHeight_ = metrics.tmHeight + metrics.tmExternalLeading + 4;
  }

  HWND heading = MakeControl(parent, L"STATIC", WS_VISIBLE | SS_LEFT, kHeadingId, bold_.get());
  HWND elapsed = MakeControl(parent, L"STATIC", WS_VISIBLE | SS_RIGHT, kElapsedId, font);
  HWND list = MakeControl(parent, WC_LISTVIEWW,
                          WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOSORTHEADER | LVS_SINGLESEL,
                          kStepsListId, font, WS_EX_CLIENTEDGE);
  HWND caption = MakeControl(parent, L"STATIC", WS_VISIBLE | SS_LEFT, kStepCaptionId, font);
  HWND bar = MakeControl(parent, PROGRESS_CLASSW, WS_VISIBLE | PBS_SMOOTH, kStepProgressId, font);
  HWND percent = MakeControl(parent, L"STATIC", WS_VISIBLE | SS_CENTER, kStepPercentId, font);
  HWND error = MakeControl(parent, L"STATIC", SS_LEFT, kStepErrorId, font);
  HWND summary = MakeControl(
      parent, L"EDIT",
      ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL,
      kRunSummaryId, fixed_.get(), WS_EX_CLIENTEDGE);
  if (!heading || !elapsed || !list || !caption || !bar || !percent || !error || !summary) {
    return false;
  }
  SetText(heading, kStepsHeading);

  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_SUBITEMIMAGES | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons_.get()));
  for (int c = 0; c < kColumns; ++c) {
    std::wstring title = WideOf(kStepColumns[c].title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = kStepColumns[c].alignRight ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = Scaled(parent, kStepColumns[c].width > 0 ? kStepColumns[c].width : 300);
    column.pszText = title.data();
    column.iSubItem = c;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c),
                 reinterpret_cast<LPARAM>(&column));
  }
  const Steps waiting;  // the steps of a run, none begun yet
  for (const Step& step : waiting.All()) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(step.id);
    std::wstring title = WideOf(RowTitle(step));
    item.pszText = title.data();
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SetRow(item.iItem, step);
  }
  SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  ShowElapsed();
  return true;
}

void StepsView::SetRow(int row, const Step& step) {
  HWND list = Control(kStepsListId);
  SetCell(list, row, kTitleColumn, RowTitle(step));
  SetCell(list, row, kStateColumn, StateText(step.state));
  SetCell(list, row, kTimeColumn, RowTime(step));
  SetCell(list, row, kRowsColumn, RowRows(step));
  LVITEMW image{};
  image.mask = LVIF_IMAGE;
  image.iItem = row;
  image.iSubItem = kStateColumn;
  image.iImage = ImageOf(step.state);
  SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&image));
}

void StepsView::Layout(const RECT& area) {
  area_ = area;
  const int margin = Scaled(parent_, kMargin);
  const int barHeight = Scaled(parent_, kBarHeight);
  const int percentWidth = Scaled(parent_, kPercentWidth);
  const int x = area.left + margin;
  const int width = area.right - area.left - 2 * margin;
  int y = area.top + margin;
  auto place = [&](int id, int left, int w, int height) {
    MoveWindow(Control(id), left, y, w, height, TRUE);
  };
  place(kHeadingId, x, width / 2, lineHeight_);
  place(kElapsedId, x + width / 2, width - width / 2, lineHeight_);
  y += lineHeight_ + 2;

  // Every step stays in sight: the list is as tall as its header and rows.
  HWND list = Control(kStepsListId);
  RECT header{}, row{};
  GetWindowRect(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), &header);
  row.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
  int rowHeight = row.bottom - row.top > 0 ? row.bottom - row.top : lineHeight_;
  int borders = 2 * GetSystemMetrics(SM_CYEDGE);
  place(kStepsListId, x, width,
        (header.bottom - header.top) + kStepCount * rowHeight + borders + 2);
  // The step's title takes what the other columns leave.
  int rest = width - 2 * GetSystemMetrics(SM_CXEDGE) - 2;
  for (int c = 0; c < kColumns; ++c) {
    if (c == kTitleColumn) continue;
    const int columnWidth = Scaled(parent_, kStepColumns[c].width);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, c, columnWidth);
    rest -= columnWidth;
  }
  SendMessageW(list, LVM_SETCOLUMNWIDTH, kTitleColumn,
               std::max(rest, Scaled(parent_, kLeastTitleWidth)));
  RECT placed{};
  GetWindowRect(list, &placed);
  y += placed.bottom - placed.top + margin;

  place(kStepCaptionId, x, width, lineHeight_);
  y += lineHeight_ + 2;
  if (!summaryShown_) {
    place(kStepProgressId, x, width - percentWidth - Scaled(parent_, 6), barHeight);
    place(kStepPercentId, x + width - percentWidth, percentWidth, barHeight);
    y += barHeight + margin;
  }
  if (errorShown_) {
    place(kStepErrorId, x, width, 2 * lineHeight_);
    y += 2 * lineHeight_ + margin;
  }
  if (summaryShown_) place(kRunSummaryId, x, width, area.bottom - margin - y);
}

void StepsView::ShowElapsed() {
  auto now = std::chrono::steady_clock::now();
  int64_t seconds =
      runStart_ ? std::chrono::duration_cast<std::chrono::seconds>(now - *runStart_).count() : 0;
  SetText(Control(kElapsedId), ElapsedText(seconds));
  if (runningRow_ >= 0) {
    double running = runningSeconds_ + std::chrono::duration<double>(now - runningSince_).count();
    SetCell(Control(kStepsListId), runningRow_, kTimeColumn, SecondsText(running));
  }
}

void StepsView::Tick() {
  if (clockRunning_) ShowElapsed();
}

void StepsView::Show(const std::vector<Step>& steps, int current) {
  auto now = std::chrono::steady_clock::now();
  if (!runStart_ && current >= 0) runStart_ = now;
  bool running = false;
  const int wasRunning = runningRow_;
  runningRow_ = -1;
  for (size_t i = 0; i < steps.size() && i < static_cast<size_t>(kStepCount); ++i) {
    const Step& step = steps[i];
    SetRow(static_cast<int>(i), step);
    if (step.state == StepState::Running) {
      running = true;
      runningRow_ = static_cast<int>(i);
      runningSeconds_ = step.seconds;
      runningSince_ = now;
    }
  }

  // A row whose texts stay as they were is not painted again by itself: the rows that turn
  // bold or plain are.
  if (runningRow_ != wasRunning) InvalidateRect(Control(kStepsListId), nullptr, FALSE);

  if (current >= 0 && current < static_cast<int>(steps.size())) {
    const Step& step = steps[current];
    SetText(Control(kStepCaptionId), StepCaption(steps, current));
    StepBar state = StepBarOf(step);
    HWND bar = Control(kStepProgressId);
    LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
    if (state.busy) {
      // Amount of work unknown: the bar only shows that the step goes on.
      if (!(style & PBS_MARQUEE)) SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
      SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
    } else {
      if (style & PBS_MARQUEE) {
        SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
        SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
      }
      SendMessageW(bar, PBM_SETRANGE32, 0, 100);
      SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(state.percent), 0);
    }
    SetText(Control(kStepPercentId), state.showPercent ? PercentText(state.percent) : "");
    SetText(Control(kStepErrorId), FailureText(step));
    bool failed = step.state == StepState::Failed;
    if (failed != errorShown_) {
      errorShown_ = failed;
      ShowWindow(Control(kStepErrorId), failed ? SW_SHOWNA : SW_HIDE);
      Layout(area_);
    }
  }
  // The elapsed time goes on while a step runs and stands still between and after them.
  clockRunning_ = running;
  ShowElapsed();
}

void StepsView::ShowSummary(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\r\n") + line;
  SetText(Control(kRunSummaryId), text);
  SetText(Control(kStepCaptionId), kRunFinishedCaption);
  summaryShown_ = true;
  ShowWindow(Control(kStepProgressId), SW_HIDE);
  ShowWindow(Control(kStepPercentId), SW_HIDE);
  ShowWindow(Control(kRunSummaryId), SW_SHOWNA);
  Layout(area_);
}

void StepsView::Paint() {
  RedrawWindow(parent_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

bool StepsView::OnNotify(const NMHDR& header, LRESULT& result) {
  if (header.idFrom != kStepsListId) return false;
  if (header.code == LVN_ITEMCHANGING) {
    // The list only shows: no row is selected.
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    result = (change.uNewState & LVIS_SELECTED) ? TRUE : FALSE;
    return true;
  }
  if (header.code != NM_CUSTOMDRAW) return false;
  const auto& draw = reinterpret_cast<const NMLVCUSTOMDRAW&>(header);
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
    result = CDRF_NOTIFYITEMDRAW;
    return true;
  }
  if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
    // The running step's row is in bold; every row names its font, as the device context
    // keeps the last one chosen.
    bool bold = static_cast<int>(draw.nmcd.dwItemSpec) == runningRow_;
    SelectObject(draw.nmcd.hdc, bold ? bold_.get() : font_);
    result = CDRF_NEWFONT;
    return true;
  }
  return false;
}

bool StepsView::OnStaticColor(HDC dc, HWND control, LRESULT& result) {
  int id = GetDlgCtrlID(control);
  if (id == kStepErrorId) {
    SetTextColor(dc, kErrorColour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
  }
  if (id == kRunSummaryId) {
    // The summary reads as text, not as a greyed-out field.
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    return true;
  }
  return false;
}

}  // namespace kalu
