#include "dialog_window.h"

#include <commctrl.h>
#undef MessageBox

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <span>
#include <string>
#include <utility>

#include "automation_date.h"
#include "base/error.h"
#include "dialog_ids.h"
#include "text_win32.h"
#include "window_state.h"

namespace velmora::win32 {

namespace {

constexpr wchar_t kCaption[] = L"Zorvane";
// The client area at 96 dots per inch, at least; it grows where the texts need more.
constexpr int kClientWidth = 181;
constexpr int kClientHeight = 440;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
// Keeps an up-down control away from its limits, so every arrow click notifies.
constexpr int kSpinMiddle = 50;
// Renders control wParam from the model once more.
constexpr UINT kRenderAgain = WM_APP + 1;
// The calendar has just opened: the focus must not stay on a control it covers.
constexpr UINT kUncoverFocus = WM_APP + 2;

constexpr DWORD kEdit = ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kLockedEdit = kEdit | ES_READONLY;
constexpr DWORD kList = CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kDropList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
// The spinners take the arrow keys as clicks on their arrows.
constexpr DWORD kSpin = UDS_ARROWKEYS | WS_TABSTOP;

struct Kind {
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
};
constexpr Kind KindOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::kButton: return {WC_BUTTONW, kButton, 0};
    case ControlKind::kLabel: return {WC_STATICW, SS_LEFT, 0};
    case ControlKind::kTextBox: return {WC_EDITW, kEdit, WS_EX_CLIENTEDGE};
    case ControlKind::kLockedTextBox: return {WC_EDITW, kLockedEdit, WS_EX_CLIENTEDGE};
    case ControlKind::kList: return {WC_COMBOBOXW, kList, 0};
    case ControlKind::kDropList: return {WC_COMBOBOXW, kDropList, 0};
    case ControlKind::kSpin: return {UPDOWN_CLASSW, kSpin, 0};
    case ControlKind::kCalendar: return {MONTHCAL_CLASSW, WS_TABSTOP | WS_BORDER, 0};
  }
  return {WC_STATICW, 0, 0};
}

// The column, top to bottom: each row's controls side by side at their x and width, the gap
// above the row and its least height, all in 96-DPI pixels. A row is as tall as the tallest
// text in it needs in the window's font, so adding a row is adding a line here. The buttons'
// row keeps to the bottom of the window.
struct Cell {
  ControlId id{};
  int x = 0;
  int width = 0;
};
struct Row {
  constexpr Row(int gap, int least, std::initializer_list<Cell> list) : gapAbove(gap), height(least) {
    for (const Cell& cell : list) cells[count++] = cell;
  }
  [[nodiscard]] constexpr std::span<const Cell> Cells() const { return {cells.data(), count}; }
  int gapAbove;
  int height;
  std::array<Cell, 4> cells{};
  std::size_t count = 0;
};
constexpr Row kRows[] = {
    {6, 25, {{ControlId::cmdEnable, 4, 173}}},
    {5, 42, {{ControlId::Label2, 4, 173}}},
    {4, 21, {{ControlId::Text2, 4, 173}}},
    {7, 15, {{ControlId::Label10, 4, 84}, {ControlId::Label9, 94, 83}}},
    {1, 21, {{ControlId::txtDate, 4, 76}, {ControlId::udDate, 80, 12}, {ControlId::txtTime, 94, 71},
             {ControlId::udTime, 165, 12}}},
    {11, 15, {{ControlId::Label11, 4, 173}}},
    {1, 21, {{ControlId::txtDateTime, 4, 173}}},
    {23, 15, {{ControlId::Label12, 4, 173}}},
    {1, 21, {{ControlId::Combo1, 4, 173}}},
    {23, 15, {{ControlId::Label8, 4, 173}}},
    {1, 21, {{ControlId::cmbDelay, 4, 173}}},
    {15, 15, {{ControlId::Label13, 4, 173}}},
    {1, 21, {{ControlId::cmbRepeat, 4, 173}}},
    {15, 15, {{ControlId::Label14, 4, 173}}},
    {1, 21, {{ControlId::txtDone, 4, 173}}},
    {7, 15, {{ControlId::Label1, 4, 173}}},
    {1, 21, {{ControlId::Text9, 4, 173}}},
    {38, 27, {{ControlId::cmdOk, 4, 84}, {ControlId::cmdCancel, 93, 84}}},
};
constexpr int kBottomMargin = 8;
// The full width of the column.
constexpr int kColumnX = 4;
constexpr int kColumnWidth = 173;
// The calendar opens under the date row, over the rows below it down to the delay list; the
// repeat rows start below it, so it never hides them.
constexpr ControlId kCalendarBelow = ControlId::txtDate;
constexpr ControlId kFirstBelowCalendar = ControlId::Label13;
constexpr int kCalendarGap = 5;
constexpr int kCalendarHeight = 172;
// A list's dropped part shows this many rows at most.
constexpr int kDroppedRows = 8;

// Each field comes just after its label in window order, where a screen reader takes the
// name of a field that has none of its own.
constexpr std::pair<ControlId, ControlId> kLabelOf[] = {
    {ControlId::Text2, ControlId::Label2},        {ControlId::txtDate, ControlId::Label10},
    {ControlId::txtTime, ControlId::Label9},      {ControlId::txtDateTime, ControlId::Label11},
    {ControlId::Combo1, ControlId::Label12},      {ControlId::cmbDelay, ControlId::Label8},
    {ControlId::cmbRepeat, ControlId::Label13},   {ControlId::txtDone, ControlId::Label14},
    {ControlId::Text9, ControlId::Label1},
};

std::u16string WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return FromWide(text);
}

// The caret of an edit field: where its selection starts.
std::int32_t Caret(HWND edit) {
  DWORD start = 0;
  ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<std::int32_t>(start);
}

bool OwnVisibleFlag(HWND window) { return (::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

// A window the user can move the keyboard focus to.
bool CanTakeFocus(HWND window) { return window && ::IsWindowVisible(window) && ::IsWindowEnabled(window); }

}  // namespace

DialogWindow::DialogWindow(Form1& form) : form_(form) {}

DialogWindow::~DialogWindow() {
  // Nothing said while the window goes is the user's.
  ++rendering_;
  if (!window_) return;
  window_.reset();
  LeaveWindowClass(kDialogWindowClass);
}

// Lifecycle ------------------------------------------------------------------------------

bool DialogWindow::Create() {
  if (window_) return true;
  const VisualStyles::Scope styles(styles_);
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_UPDOWN_CLASS};
  ::InitCommonControlsEx(&classes);

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = ThisModule();
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = kDialogWindowClass;
  if (!UseWindowClass(windowClass)) return false;

  const HDC screen = ::GetDC(nullptr);
  dpi_ = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  systemDpi_ = dpi_;
  // No owner: the host may have no window of its own to lend. Layout() gives it its size.
  window_.reset(::CreateWindowExW(0, kDialogWindowClass, kCaption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  0, 0, nullptr, nullptr, ThisModule(), this));
  if (!window_) {
    LeaveWindowClass(kDialogWindowClass);
    return false;
  }

  ++rendering_;
  for (const ControlInfo& info : Controls()) {
    // A label is made just before its field, not in its own place.
    if (std::ranges::any_of(kLabelOf, [&](const auto& pair) { return pair.second == info.id; })) continue;
    if (const auto labelled = std::ranges::find(kLabelOf, info.id, &std::pair<ControlId, ControlId>::first);
        labelled != std::end(kLabelOf)) {
      CreateControl(labelled->second);
    }
    CreateControl(info.id);
  }
  for (const ControlId list : {ControlId::Combo1, ControlId::cmbDelay, ControlId::cmbRepeat}) {
    for (const std::u16string& row : form_.Control(list).rows) {
      ::SendMessageW(Window(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(row).c_str()));
    }
  }
  const HWND calendar = Window(ControlId::calDate);
  SYSTEMTIME range[2] = {ToSystemTime(DateTime::FromDate(kCalendarMin)), ToSystemTime(DateTime::FromDate(kCalendarMax))};
  ::SendMessageW(calendar, MCM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
  // Above the rows it covers: children overlap in the order of their Z position.
  ::SetWindowPos(calendar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (const ControlId spin : {ControlId::udDate, ControlId::udTime}) {
    ::SendMessageW(Window(spin), UDM_SETRANGE32, 0, 2 * kSpinMiddle);
    ::SendMessageW(Window(spin), UDM_SETPOS32, 0, kSpinMiddle);
  }
  --rendering_;
  for (const ControlInfo& info : Controls()) Render(info.id);
  // After the texts are in: the rows are as tall as their texts need.
  Layout();
  return true;
}

void DialogWindow::CreateControl(ControlId id) {
  const Kind kind = KindOf(Info(id).kind);
  // The help label tells of its clicks.
  const DWORD style = kind.style | (id == ControlId::Label2 ? SS_NOTIFY : 0);
  const HWND control =
      ::CreateWindowExW(kind.exStyle, kind.windowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 0, 0,
                        window_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlWindowId(id))),
                        ThisModule(), nullptr);
  controls_[static_cast<std::size_t>(id)] = control;
  if (!control) return;
  ::SetWindowSubclass(EditField(id), &ControlProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
}

// Layout ---------------------------------------------------------------------------------

int DialogWindow::Scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }

void DialogWindow::Layout() {
  // The user's message font, in the size this DPI gives it.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return;
  LOGFONTW face = metrics.lfMessageFont;
  face.lfHeight = ::MulDiv(face.lfHeight, dpi_, systemDpi_);
  font_.reset(::CreateFontIndirectW(&face));
  for (const HWND control : controls_) {
    if (control) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }
  const int line = LineHeight(font_.get());

  int y = 0;
  int calendarBottom = 0;
  for (const Row& row : kRows) {
    const std::span cells = row.Cells();
    int height = Scale(row.height);
    for (const Cell& cell : cells) height = std::max(height, NeededHeight(cell.id, Scale(cell.width), line));
    y += Scale(row.gapAbove);
    if (cells.front().id == kFirstBelowCalendar) y = std::max(y, calendarBottom + Scale(kCalendarGap));
    if (&row == std::end(kRows) - 1) {
      // The buttons keep to the bottom, below the open calendar too.
      y = std::max({y, Scale(kClientHeight - kBottomMargin) - height, calendarBottom + Scale(kCalendarGap)});
    }
    for (const Cell& cell : cells) {
      const HWND control = Window(cell.id);
      int cellHeight = height;
      if (Info(cell.id).kind == ControlKind::kList || Info(cell.id).kind == ControlKind::kDropList) {
        // A list is as tall as its field, and is given room for its dropped rows.
        const auto item = static_cast<int>(::SendMessageW(control, CB_GETITEMHEIGHT, 0, 0));
        const auto rows = static_cast<int>(std::min<LRESULT>(::SendMessageW(control, CB_GETCOUNT, 0, 0), kDroppedRows));
        cellHeight = height + std::max(item, 1) * std::max(rows, 1) + Scale(2);
      }
      ::SetWindowPos(control, nullptr, Scale(cell.x), y, Scale(cell.width), cellHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    y += height;
    if (cells.front().id == kCalendarBelow) calendarBottom = PlaceCalendar(face, y + Scale(kCalendarGap));
  }
  const int clientHeight = std::max(Scale(kClientHeight), y + Scale(kBottomMargin));
  RECT frame{0, 0, Scale(kClientWidth), clientHeight};
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  frameSize_ = {frame.right - frame.left, frame.bottom - frame.top};
  ::SetWindowPos(window_.get(), nullptr, 0, 0, frameSize_.cx, frameSize_.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(window_.get(), nullptr, TRUE);
}

int DialogWindow::LineHeight(HFONT font) const {
  const HDC dc = ::GetDC(window_.get());
  const HGDIOBJ old = ::SelectObject(dc, font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(window_.get(), dc);
  return metrics.tmHeight;
}

int DialogWindow::NeededHeight(ControlId id, int width, int line) const {
  const HWND control = Window(id);
  switch (Info(id).kind) {
    case ControlKind::kLabel: {
      // Measured as the label draws itself: wrapped at its width, "&&" shown as one "&".
      const std::wstring text = ToWide(form_.Control(id).text);
      RECT bounds{0, 0, width, 0};
      const HDC dc = ::GetDC(control);
      const HGDIOBJ old = ::SelectObject(dc, font_.get());
      ::DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &bounds, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
      ::SelectObject(dc, old);
      ::ReleaseDC(control, dc);
      return bounds.bottom;
    }
    case ControlKind::kButton:
      return line + Scale(12);
    case ControlKind::kTextBox:
    case ControlKind::kLockedTextBox:
      return line + Scale(8);
    case ControlKind::kList: {
      // The list sizes its own field to its font.
      RECT bounds{};
      ::GetWindowRect(control, &bounds);
      return bounds.bottom - bounds.top;
    }
    default:
      return 0;
  }
}

int DialogWindow::PlaceCalendar(const LOGFONTW& face, int top) {
  const HWND calendar = Window(ControlId::calDate);
  const int width = Scale(kColumnWidth);
  ::SendMessageW(calendar, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  calendarFont_.reset();
  // A whole month and its Today line must fit the column: under a wide font the calendar
  // gets a smaller one.
  LOGFONTW smaller = face;
  RECT needed{};
  const auto neededWidth = [&] {
    ::SendMessageW(calendar, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&needed));
    const auto today = static_cast<LONG>(::SendMessageW(calendar, MCM_GETMAXTODAYWIDTH, 0, 0));
    RECT border{0, 0, 0, 0};
    ::AdjustWindowRectEx(&border, static_cast<DWORD>(::GetWindowLongW(calendar, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongW(calendar, GWL_EXSTYLE)));
    return std::max(needed.right, today) + (border.right - border.left);
  };
  while (neededWidth() > width && std::abs(smaller.lfHeight) > 6) {
    smaller.lfHeight += smaller.lfHeight < 0 ? 1 : -1;
    calendarFont_.reset(::CreateFontIndirectW(&smaller));
    ::SendMessageW(calendar, WM_SETFONT, reinterpret_cast<WPARAM>(calendarFont_.get()), FALSE);
  }
  const int height = std::max<int>(Scale(kCalendarHeight), needed.bottom + Scale(2));
  ::SetWindowPos(calendar, nullptr, Scale(kColumnX), top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  return top + height;
}

void DialogWindow::ShowModal() {
  if (!Create()) throw VelmoraError(7, u"Out of memory");
  modal_ = true;
  ::ShowWindow(window_.get(), SW_SHOW);
  ::SetForegroundWindow(window_.get());
  RenderFocus();
  MSG message;
  while (modal_) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The thread is quitting: leave the loop, and leave the quit to the loop outside.
      if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (PreTranslate(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void DialogWindow::Hide() {
  modal_ = false;
  if (!window_) return;
  ++rendering_;
  ::ShowWindow(window_.get(), SW_HIDE);
  --rendering_;
  // Wakes the modal loop when the hide came from outside its messages.
  ::PostMessageW(window_.get(), WM_NULL, 0, 0);
}

void DialogWindow::MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon) {
  const VisualStyles::Scope styles(styles_);
  const HWND owner = window_ && ::IsWindowVisible(window_.get()) ? window_.get() : nullptr;
  UINT style = MB_OK | (icon == MessageIcon::kInformation ? MB_ICONINFORMATION : 0);
  if (!owner) style |= MB_TASKMODAL;
  ::MessageBoxW(owner, ToWide(text).c_str(), ToWide(title).c_str(), style);
}

// Rendering ------------------------------------------------------------------------------

void DialogWindow::ControlChanged(ControlId control) { Render(control); }

void DialogWindow::FocusChanged(ControlId) { RenderFocus(); }

void DialogWindow::Render(ControlId id) {
  const HWND control = Window(id);
  if (!control) return;
  const ControlState& state = form_.Control(id);
  ++rendering_;
  const ControlKind kind = Info(id).kind;
  if (kind == ControlKind::kList) {
    // The row first: a list writes a chosen row's text into its field. No row is set on the
    // list part alone, which leaves the field's text and caret alone.
    const auto row = static_cast<std::int32_t>(::SendMessageW(control, CB_GETCURSEL, 0, 0));
    if (row != state.row) {
      COMBOBOXINFO parts{};
      parts.cbSize = sizeof parts;
      if (state.row >= 0) {
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(state.row), 0);
      } else if (::GetComboBoxInfo(control, &parts)) {
        ::SendMessageW(parts.hwndList, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      }
    }
  }
  // A drop list shows its row's text by itself and takes no other.
  if (kind == ControlKind::kDropList && ::SendMessageW(control, CB_GETCURSEL, 0, 0) != state.row) {
    ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(state.row), 0);
  }
  if (kind != ControlKind::kSpin && kind != ControlKind::kCalendar && kind != ControlKind::kDropList &&
      WindowText(control) != state.text) {
    ::SetWindowTextW(control, ToWide(state.text).c_str());
  }
  // Only the time field and the delay list have selections that their handlers set; every
  // other field keeps the caret where the user left it.
  if (id == ControlId::txtTime || id == ControlId::cmbDelay) {
    const HWND edit = EditField(id);
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (static_cast<std::int32_t>(start) != state.selStart ||
        static_cast<std::int32_t>(end) != state.selStart + state.selLength) {
      ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(state.selStart),
                     static_cast<LPARAM>(state.selStart + state.selLength));
    }
  }
  if (kind == ControlKind::kCalendar) {
    // The model keeps the calendar's selection, which its keys move.
    SYSTEMTIME shown{};
    ::SendMessageW(control, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&shown));
    SYSTEMTIME selection = ToSystemTime(form_.CalendarSelection());
    if (shown.wYear != selection.wYear || shown.wMonth != selection.wMonth || shown.wDay != selection.wDay) {
      ::SendMessageW(control, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&selection));
    }
  }
  if (OwnVisibleFlag(control) != state.visible) {
    ::ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
    // Opened by a click on its spinner while another control had the focus, maybe one it
    // now covers; looked at once the model's handler is done.
    if (state.visible && id == ControlId::calDate) ::PostMessageW(window_.get(), kUncoverFocus, 0, 0);
  }
  --rendering_;
}

bool DialogWindow::Covered(HWND control) const {
  const HWND calendar = Window(ControlId::calDate);
  if (!control || control == calendar || !::IsWindowVisible(calendar)) return false;
  RECT mine{};
  RECT its{};
  RECT overlap{};
  ::GetWindowRect(control, &mine);
  ::GetWindowRect(calendar, &its);
  return ::IntersectRect(&overlap, &mine, &its) != FALSE;
}

void DialogWindow::RenderFocus() {
  if (!window_ || !::IsWindowVisible(window_.get())) return;
  const HWND target = Window(form_.Focus());
  const HWND focused = ::GetFocus();
  if (focused && (focused == target || ::IsChild(target, focused))) return;
  ++rendering_;
  ::SetFocus(CanTakeFocus(target) ? target : window_.get());
  --rendering_;
}

HWND DialogWindow::EditField(ControlId control) const { return EditFieldOf(Window(control), control); }

std::optional<ControlId> DialogWindow::ControlOfWindow(HWND window) const {
  for (const ControlInfo& info : Controls()) {
    const HWND control = Window(info.id);
    if (control && (control == window || ::IsChild(control, window))) return info.id;
  }
  return std::nullopt;
}

// User input -----------------------------------------------------------------------------

template <typename Action>
void DialogWindow::UserInput(Action&& action) {
  if (rendering_ > 0) return;
  // Nothing may unwind through the system's window procedures: a handler's failure is
  // reported as the runtime of such a dialog does, in a message box.
  try {
    action();
  } catch (...) {
    ReportFailure();
  }
}

LRESULT CALLBACK DialogWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = WindowStateOf<DialogWindow>(window, message, lParam);
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  if (!self || !self->window_) return ::DefWindowProcW(window, message, wParam, lParam);
  // Nothing may unwind into the system: what the user's own actions raise is reported by
  // UserInput; anything else the window meets is reported here the same way.
  try {
    return self->Handle(message, wParam, lParam);
  } catch (...) {
    self->ReportFailure();
    return 0;
  }
}

void DialogWindow::ReportFailure() noexcept {
  try {
    throw;
  } catch (const VelmoraError& error) {
    ShowFailure(error.Description());
  } catch (...) {
    ShowFailure(u"Out of memory");
  }
}

void DialogWindow::ShowFailure(std::u16string_view text) noexcept {
  try {
    MessageBox(kApplicationName, text, MessageIcon::kNone);
  } catch (...) {
    // Not even the box could be shown: the debugger's output is all that is left.
    ::OutputDebugStringW(L"Velmora: a failure in the configuration window could not be shown\n");
  }
}

LRESULT DialogWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND window = window_.get();
  switch (message) {
    case WM_COMMAND:
      if (const auto control = ControlOfWindowId(LOWORD(wParam)); control && lParam) OnCommand(*control, HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
      if (const auto control = ControlOfWindowId(static_cast<int>(header.idFrom))) return OnNotify(*control, header);
      return 0;
    }
    case WM_CLOSE:
      OnClose();
      return 0;
    case kRenderAgain:
      if (wParam < kControlCount) Render(static_cast<ControlId>(wParam));
      return 0;
    case kUncoverFocus:
      if (const auto focused = ControlOfWindow(::GetFocus()); focused && Covered(Window(*focused))) {
        ::SetFocus(Window(ControlId::calDate));
      }
      return 0;
    case WM_GETMINMAXINFO: {
      // The whole window, even where it is taller than the screen it was made on.
      auto& limits = *reinterpret_cast<MINMAXINFO*>(lParam);
      limits.ptMaxTrackSize.x = std::max(limits.ptMaxTrackSize.x, frameSize_.cx);
      limits.ptMaxTrackSize.y = std::max(limits.ptMaxTrackSize.y, frameSize_.cy);
      return 0;
    }
    case WM_DPICHANGED: {
      // A host aware of each monitor's DPI moved the window to another monitor.
      dpi_ = HIWORD(wParam);
      const auto& suggested = *reinterpret_cast<const RECT*>(lParam);
      Layout();
      ::SetWindowPos(window, nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SETFOCUS:
      // Activation gives the window itself the focus; it belongs to the model's control.
      RenderFocus();
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

void DialogWindow::OnCommand(ControlId control, UINT code) {
  switch (Info(control).kind) {
    case ControlKind::kButton:
      if (code == BN_CLICKED) UserInput([&] { form_.UserClick(control); });
      break;
    case ControlKind::kLabel:
      // The first click of a double click opens the help; the box then takes the second.
      if (code == STN_CLICKED) UserInput([&] { form_.UserClick(control); });
      break;
    case ControlKind::kTextBox:
      if (code == EN_CHANGE) {
        const HWND edit = Window(control);
        UserInput([&] { form_.UserSetText(control, WindowText(edit), Caret(edit)); });
      }
      break;
    case ControlKind::kList:
      if (code == CBN_SELCHANGE) {
        const HWND list = Window(control);
        UserInput([&] { form_.UserSelectRow(control, static_cast<std::int32_t>(::SendMessageW(list, CB_GETCURSEL, 0, 0))); });
        // A list writes the chosen row's text into its field after this notification; the
        // field then shows again what the model made of the choice.
        ::PostMessageW(window_.get(), kRenderAgain, static_cast<WPARAM>(control), 0);
      } else if (code == CBN_EDITCHANGE) {
        UserInput([&] { form_.UserSetText(control, WindowText(Window(control)), Caret(EditField(control))); });
      }
      break;
    case ControlKind::kDropList:
      if (code == CBN_SELCHANGE) {
        const HWND list = Window(control);
        UserInput([&] { form_.UserSelectRow(control, static_cast<std::int32_t>(::SendMessageW(list, CB_GETCURSEL, 0, 0))); });
      }
      break;
    default:
      break;
  }
}

LRESULT DialogWindow::OnNotify(ControlId control, const NMHDR& header) {
  if (header.code == UDN_DELTAPOS && Info(control).kind == ControlKind::kSpin) {
    const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
    UserInput([&] { form_.UserSpin(control, change.iDelta > 0); });
    return TRUE;  // the spin's own position plays no part: it stays in the middle
  }
  if (header.code == MCN_SELECT && control == ControlId::calDate) {
    const auto& picked = reinterpret_cast<const NMSELCHANGE&>(header);
    UserInput([&] { form_.UserPickDate(FromSystemTime(picked.stSelStart)); });
  }
  if (header.code == MCN_SELCHANGE && control == ControlId::calDate) {
    const auto& moved = reinterpret_cast<const NMSELCHANGE&>(header);
    UserInput([&] { form_.UserBrowseCalendar(FromSystemTime(moved.stSelStart)); });
  }
  return 0;
}

void DialogWindow::OnClose() {
  // The close is refused: the window lives on, and the model does what Cancel does.
  UserInput([&] { form_.UserClose(); });
}

LRESULT CALLBACK DialogWindow::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                           DWORD_PTR self) {
  if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(window, &ControlProc, id);
    return ::DefSubclassProc(window, message, wParam, lParam);
  }
  auto* dialog = reinterpret_cast<DialogWindow*>(self);
  try {
    return dialog->HandleControl(static_cast<ControlId>(id), window, message, wParam, lParam);
  } catch (...) {
    dialog->ReportFailure();
    return 0;
  }
}

LRESULT DialogWindow::HandleControl(ControlId control, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETDLGCODE: {
      LRESULT code = ::DefSubclassProc(window, message, wParam, lParam);
      // Tabbing into a field leaves its selection as the model has it.
      code &= ~static_cast<LRESULT>(DLGC_HASSETSEL);
      const ControlKind kind = Info(control).kind;
      // The spinners and the calendar take the arrows, which would otherwise move the focus.
      if (kind == ControlKind::kSpin || kind == ControlKind::kCalendar) code |= DLGC_WANTARROWS;
      // Enter goes to the control's own handlers: the window has no default button, and a
      // focused button clicks. The calendar also takes Esc and Space.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key && (key->message == WM_KEYDOWN || key->message == WM_CHAR) &&
          (key->wParam == VK_RETURN ||
           (kind == ControlKind::kCalendar && (key->wParam == VK_ESCAPE || key->wParam == VK_SPACE)))) {
        code |= DLGC_WANTMESSAGE;
      }
      return code;
    }
    case WM_PAINT:
      if (HasFocusMark(control) && wParam == 0) return PaintWithFocusMark(window);
      break;
    case WM_KILLFOCUS:
      if (HasFocusMark(control)) ::InvalidateRect(window, nullptr, TRUE);
      break;
    case WM_KEYDOWN: {
      if (rendering_ > 0) break;
      if (wParam == VK_RETURN && Info(control).kind == ControlKind::kButton) {
        // As Space does: the button clicks.
        ::SendMessageW(window, BM_CLICK, 0, 0);
        return 0;
      }
      auto key = static_cast<std::int32_t>(wParam);
      UserInput([&] { key = form_.UserKeyDown(control, key); });
      if (key == 0) return 0;  // consumed: the field takes no action of its own
      wParam = static_cast<WPARAM>(key);
      break;
    }
    case WM_CHAR: {
      if (rendering_ > 0) break;
      bool accepted = true;
      UserInput([&] { accepted = form_.UserKeyPress(control, static_cast<char16_t>(wParam)); });
      if (!accepted) return 0;  // discarded: no character reaches the field
      break;
    }
    case WM_SETFOCUS: {
      const LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
      if (HasFocusMark(control)) ::InvalidateRect(window, nullptr, TRUE);
      UserInput([&] { form_.UserFocus(control); });
      return result;
    }
    case WM_LBUTTONUP: {
      const LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
      // The field has put the caret where the click landed; the model takes it from there.
      if (control == ControlId::txtTime) UserInput([&] { form_.UserClick(control, Caret(window)); });
      return result;
    }
    default:
      break;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

// The spinners and the calendar draw no focus of their own; they get the dotted frame
// that buttons show.
bool DialogWindow::HasFocusMark(ControlId control) {
  const ControlKind kind = Info(control).kind;
  return kind == ControlKind::kSpin || kind == ControlKind::kCalendar;
}

LRESULT DialogWindow::PaintWithFocusMark(HWND window) {
  // The frame is drawn over what the control repaints, and only there, so that drawing it
  // again never rubs out a frame drawn before.
  const HRGN update = ::CreateRectRgn(0, 0, 0, 0);
  const bool partial = update && ::GetUpdateRgn(window, update, FALSE) != ERROR;
  const LRESULT result = ::DefSubclassProc(window, WM_PAINT, 0, 0);
  if (partial && ::GetFocus() == window) {
    const HDC dc = ::GetDC(window);
    ::SelectClipRgn(dc, update);
    RECT frame{};
    ::GetClientRect(window, &frame);
    ::InflateRect(&frame, -1, -1);
    ::DrawFocusRect(dc, &frame);
    ::ReleaseDC(window, dc);
  }
  if (update) ::DeleteObject(update);
  return result;
}

bool DialogWindow::PreTranslate(MSG& message) {
  const HWND window = window_.get();
  if (!window || (message.hwnd != window && !::IsChild(window, message.hwnd))) return false;
  // Tab follows the model's focus order, not the controls' Z order: the calendar lies above
  // the rows it covers but comes late in the order.
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && ::GetKeyState(VK_CONTROL) >= 0 &&
      ::GetKeyState(VK_MENU) >= 0) {
    MoveFocus(::GetKeyState(VK_SHIFT) >= 0);
    return true;
  }
  // F1 anywhere in the window opens the help, as a click on the help label does.
  if (message.message == WM_KEYDOWN && message.wParam == VK_F1) {
    UserInput([&] { form_.UserClick(ControlId::Label2); });
    return true;
  }
  return ::IsDialogMessageW(window, &message) != FALSE;
}

void DialogWindow::MoveFocus(bool forward) {
  const std::vector<ControlId>& order = TabOrder();
  const auto count = static_cast<std::ptrdiff_t>(order.size());
  const std::optional<ControlId> current = ControlOfWindow(::GetFocus());
  const auto found = current ? std::ranges::find(order, *current) : order.end();
  const std::ptrdiff_t start = found == order.end() ? (forward ? -1 : count) : found - order.begin();
  for (std::ptrdiff_t step = 1; step <= count; ++step) {
    const std::ptrdiff_t at = ((start + (forward ? step : -step)) % count + count) % count;
    const HWND candidate = Window(order[static_cast<std::size_t>(at)]);
    // The open calendar lies over some rows: what it covers cannot be reached.
    if (CanTakeFocus(candidate) && !Covered(candidate)) {
      // The user's move: the control's focus notification tells the model.
      ::SetFocus(candidate);
      return;
    }
  }
}

}  // namespace velmora::win32
