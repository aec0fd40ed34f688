#include "dialog_window.h"

#include <commctrl.h>
#undef MessageBox

#include <algorithm>
#include <cstdlib>
#include <string>

#include "automation_date.h"
#include "base/error.h"
#include "dialog_ids.h"
#include "text_win32.h"
#include "window_state.h"

namespace velmora::win32 {

namespace {

constexpr wchar_t kCaption[] = L"Zorvane";
// The client area at 96 dots per inch; everything below scales with the system's DPI.
constexpr int kClientWidth = 181;
constexpr int kClientHeight = 536;
// Keeps an up-down control away from its limits, so every arrow click notifies.
constexpr int kSpinMiddle = 50;
// Renders control wParam from the model once more.
constexpr UINT kRenderAgain = WM_APP + 1;

struct Placement {
  ControlId id;
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
  int x, y, width, height;  // 96-DPI pixels; a list's height includes its dropped list
};

// Top to bottom in one narrow column. The calendar covers rows 7 to 12 when it is shown.
constexpr DWORD kEdit = ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kLockedEdit = kEdit | ES_READONLY;
constexpr DWORD kList = CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kDropList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr std::array<Placement, kControlCount> kLayout{{
    {ControlId::cmdEnable, WC_BUTTONW, kButton, 0, 4, 6, 173, 25},
    {ControlId::Label2, WC_STATICW, SS_LEFT | SS_NOTIFY, 0, 4, 36, 173, 42},
    {ControlId::Text2, WC_EDITW, kEdit, WS_EX_CLIENTEDGE, 4, 82, 173, 21},
    {ControlId::Label10, WC_STATICW, SS_LEFT, 0, 4, 110, 84, 15},
    {ControlId::Label9, WC_STATICW, SS_LEFT, 0, 94, 110, 83, 15},
    {ControlId::txtDate, WC_EDITW, kLockedEdit, WS_EX_CLIENTEDGE, 4, 126, 76, 21},
    {ControlId::udDate, UPDOWN_CLASSW, WS_TABSTOP, 0, 80, 126, 12, 21},
    {ControlId::txtTime, WC_EDITW, kLockedEdit, WS_EX_CLIENTEDGE, 94, 126, 71, 21},
    {ControlId::udTime, UPDOWN_CLASSW, WS_TABSTOP, 0, 165, 126, 12, 21},
    {ControlId::calDate, MONTHCAL_CLASSW, WS_TABSTOP | WS_BORDER, 0, 4, 152, 173, 172},
    {ControlId::Label11, WC_STATICW, SS_LEFT, 0, 4, 158, 173, 15},
    {ControlId::txtDateTime, WC_EDITW, kLockedEdit, WS_EX_CLIENTEDGE, 4, 174, 173, 21},
    {ControlId::Label12, WC_STATICW, SS_LEFT, 0, 4, 218, 173, 15},
    {ControlId::Combo1, WC_COMBOBOXW, kList, 0, 4, 234, 173, 120},
    {ControlId::Label8, WC_STATICW, SS_LEFT, 0, 4, 278, 173, 15},
    {ControlId::cmbDelay, WC_COMBOBOXW, kList, 0, 4, 294, 173, 140},
    {ControlId::Label13, WC_STATICW, SS_LEFT, 0, 4, 330, 173, 15},
    {ControlId::cmbRepeat, WC_COMBOBOXW, kDropList, 0, 4, 346, 173, 120},
    {ControlId::Label14, WC_STATICW, SS_LEFT, 0, 4, 382, 173, 15},
    {ControlId::txtDone, WC_EDITW, kEdit, WS_EX_CLIENTEDGE, 4, 398, 173, 21},
    {ControlId::Label1, WC_STATICW, SS_LEFT, 0, 4, 426, 173, 15},
    {ControlId::Text9, WC_EDITW, kEdit, WS_EX_CLIENTEDGE, 4, 442, 173, 21},
    {ControlId::cmdOk, WC_BUTTONW, kButton, 0, 4, 501, 84, 27},
    {ControlId::cmdCancel, WC_BUTTONW, kButton, 0, 93, 501, 84, 27},
}};

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
  // Fails while another thread's dialog still uses the class; the last one removes it, so
  // no class outlives the code of its window procedure.
  ::UnregisterClassW(kDialogWindowClass, ThisModule());
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
  if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  RECT frame{0, 0, ::MulDiv(kClientWidth, dpi, 96), ::MulDiv(kClientHeight, dpi, 96)};
  ::AdjustWindowRectEx(&frame, style, FALSE, 0);
  // No owner: the host may have no window of its own to lend.
  window_.reset(::CreateWindowExW(0, kDialogWindowClass, kCaption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  ThisModule(), this));
  if (!window_) return false;
  moduleReference_.emplace();

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font_.reset(::CreateFontIndirectW(&metrics.lfMessageFont));
  }
  const auto scale = [dpi](int pixels) { return ::MulDiv(pixels, dpi, 96); };
  // Created in focus order, so the dialog manager's order of the controls is the focus
  // order too; the labels come last, as they take no focus.
  std::vector<ControlId> order = TabOrder();
  for (const ControlInfo& info : Controls()) {
    if (std::ranges::find(order, info.id) == order.end()) order.push_back(info.id);
  }
  ++rendering_;
  for (const ControlId id : order) {
    const Placement& place = kLayout[static_cast<std::size_t>(id)];
    const HWND control = ::CreateWindowExW(
        place.exStyle, place.windowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | place.style, scale(place.x),
        scale(place.y), scale(place.width), scale(place.height), window_.get(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlWindowId(id))), ThisModule(), nullptr);
    controls_[static_cast<std::size_t>(id)] = control;
    if (!control) continue;
    if (font_) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    ::SetWindowSubclass(EditField(id), &ControlProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
  }
  for (const ControlId list : {ControlId::Combo1, ControlId::cmbDelay, ControlId::cmbRepeat}) {
    for (const std::u16string& row : form_.Control(list).rows) {
      ::SendMessageW(Window(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(row).c_str()));
    }
  }
  const HWND calendar = Window(ControlId::calDate);
  SYSTEMTIME range[2] = {ToSystemTime(DateTime::FromDate(kCalendarMin)), ToSystemTime(DateTime::FromDate(kCalendarMax))};
  ::SendMessageW(calendar, MCM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
  SYSTEMTIME first = ToSystemTime(form_.CalendarSelection());
  ::SendMessageW(calendar, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&first));
  // A whole month must fit the column: under a wide font the calendar gets a smaller one.
  RECT needed{};
  RECT given{};
  ::GetClientRect(calendar, &given);
  LOGFONTW smaller = metrics.lfMessageFont;
  while (::SendMessageW(calendar, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&needed)) &&
         needed.right > given.right && std::abs(smaller.lfHeight) > 6) {
    smaller.lfHeight += smaller.lfHeight < 0 ? 1 : -1;
    calendarFont_.reset(::CreateFontIndirectW(&smaller));
    ::SendMessageW(calendar, WM_SETFONT, reinterpret_cast<WPARAM>(calendarFont_.get()), FALSE);
  }
  // Above the rows it covers: children overlap in the order of their Z position.
  ::SetWindowPos(calendar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (const ControlId spin : {ControlId::udDate, ControlId::udTime}) {
    ::SendMessageW(Window(spin), UDM_SETRANGE32, 0, 2 * kSpinMiddle);
    ::SendMessageW(Window(spin), UDM_SETPOS32, 0, kSpinMiddle);
  }
  --rendering_;
  for (const ControlInfo& info : Controls()) Render(info.id);
  return true;
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
  if (OwnVisibleFlag(control) != state.visible) ::ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
  --rendering_;
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
      // Enter goes to the field's own handlers: the window has no default button.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key && (key->message == WM_KEYDOWN || key->message == WM_CHAR) && key->wParam == VK_RETURN) {
        code |= DLGC_WANTMESSAGE;
      }
      return code;
    }
    case WM_KEYDOWN: {
      if (rendering_ > 0) break;
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
    if (CanTakeFocus(candidate)) {
      // The user's move: the control's focus notification tells the model.
      ::SetFocus(candidate);
      return;
    }
  }
}

}  // namespace velmora::win32
