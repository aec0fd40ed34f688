#include "dialog_window.h"

#include <commctrl.h>
#undef MessageBox

#include <algorithm>
#include <string>

#include "automation_date.h"
#include "base/error.h"
#include "dialog_ids.h"
#include "module.h"
#include "text_win32.h"

namespace velmora::win32 {

namespace {

// Keeps an up-down control away from its limits, so every arrow click notifies.
constexpr int kSpinMiddle = 50;
// Renders control wParam from the model once more.
constexpr UINT kRenderAgain = WM_APP + 1;
// The calendar has just opened over the control that had the focus.
constexpr UINT kUncoverFocus = WM_APP + 2;

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

// The window's own DPI where the system tells it (each monitor's, for a host aware of them).
int DpiOf(HWND window) {
  using ForWindow = UINT(WINAPI*)(HWND);
  using ForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  const auto find = [](const wchar_t* module, const char* name) {
    const HMODULE loaded = ::GetModuleHandleW(module);
    return loaded ? reinterpret_cast<void*>(::GetProcAddress(loaded, name)) : nullptr;
  };
  if (const auto forWindow = reinterpret_cast<ForWindow>(find(L"user32.dll", "GetDpiForWindow"))) return static_cast<int>(forWindow(window));
  UINT x = 0;
  UINT y = 0;
  // Only where the host made itself aware of each monitor, which loads shcore.
  if (const auto forMonitor = reinterpret_cast<ForMonitor>(find(L"shcore.dll", "GetDpiForMonitor"));
      forMonitor && SUCCEEDED(forMonitor(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), 0, &x, &y))) {
    return static_cast<int>(y);
  }
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

// The spinners and the calendar draw no focus of their own; they get the dotted frame
// that buttons show.
bool HasFocusMark(ControlId control) {
  const ControlKind kind = Info(control).kind;
  return kind == ControlKind::kSpin || kind == ControlKind::kCalendar;
}

}  // namespace

DialogWindow::DialogWindow(Form1& form) : form_(form) {}

DialogWindow::~DialogWindow() {
  // Nothing said while the window goes is the user's.
  ++rendering_;
}

HWND DialogWindow::Window(ControlId control) const { return ::GetDlgItem(window_.get(), ControlWindowId(control)); }

bool DialogWindow::Create() {
  if (window_) return true;
  if (!commonControls_.Load()) return false;
  const CommonControls::Scope scope(commonControls_);
  const std::vector<WORD> words = Template();
  // No owner: the host may have no window of its own to lend.
  return ::CreateDialogIndirectParamW(ThisModule(), reinterpret_cast<LPCDLGTEMPLATEW>(words.data()), nullptr,
                                      &DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void DialogWindow::Initialize() {
  ++rendering_;
  for (const ControlInfo& info : Controls()) {
    commonControls_.setSubclass(EditFieldOf(Window(info.id), info.id), &ControlProc, static_cast<UINT_PTR>(info.id),
                                reinterpret_cast<DWORD_PTR>(this));
    if (HasFocusMark(info.id)) Name(Window(info.id), ToWide(WindowText(Window(info.id))).c_str());
  }
  for (const ControlId list : {ControlId::Combo1, ControlId::cmbDelay, ControlId::cmbRepeat}) {
    for (const std::u16string& row : form_.Control(list).rows) {
      ::SendMessageW(Window(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(row).c_str()));
    }
  }
  SYSTEMTIME range[2] = {ToSystemTime(DateTime::FromDate(kCalendarMin)), ToSystemTime(DateTime::FromDate(kCalendarMax))};
  ::SendMessageW(Window(ControlId::calDate), MCM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
  for (const ControlId spin : {ControlId::udDate, ControlId::udTime}) {
    ::SendMessageW(Window(spin), UDM_SETRANGE32, 0, 2 * kSpinMiddle);
    ::SendMessageW(Window(spin), UDM_SETPOS32, 0, kSpinMiddle);
  }
  --rendering_;
  // The first layout at the DPI of the window's own monitor; it renders every control.
  Layout(DpiOf(window_.get()));
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
    const HWND window = window_.get();
    const bool mine = message.hwnd == window || ::IsChild(window, message.hwnd);
    // F1 anywhere in the window opens the help, as a click on the help label does.
    if (mine && message.message == WM_KEYDOWN && message.wParam == VK_F1) {
      UserInput([&] { form_.UserClick(ControlId::Label2); });
      continue;
    }
    if (mine && ::IsDialogMessageW(window, &message)) continue;
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
  const CommonControls::Scope scope(commonControls_);
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
  const ControlKind kind = Info(id).kind;
  ++rendering_;
  if ((kind == ControlKind::kList || kind == ControlKind::kDropList) &&
      ::SendMessageW(control, CB_GETCURSEL, 0, 0) != state.row) {
    // The row first: a list writes a chosen row's text into its field. No row is set on the
    // list part alone, which leaves the field's text and caret alone.
    COMBOBOXINFO parts{};
    parts.cbSize = sizeof parts;
    if (state.row >= 0 || kind == ControlKind::kDropList) {
      ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(state.row), 0);
    } else if (::GetComboBoxInfo(control, &parts)) {
      ::SendMessageW(parts.hwndList, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
  }
  // A drop list shows its row's text by itself; the spinners and the calendar keep their names.
  if (kind != ControlKind::kSpin && kind != ControlKind::kCalendar && kind != ControlKind::kDropList &&
      WindowText(control) != state.text) {
    ::SetWindowTextW(control, ToWide(state.text).c_str());
  }
  // Only the time field and the delay list have selections that their handlers set; every
  // other field keeps the caret where the user left it.
  if (id == ControlId::txtTime || id == ControlId::cmbDelay) {
    const HWND edit = EditFieldOf(control, id);
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
    // The calendar shows the model's selection, and the month it lies in.
    SYSTEMTIME shown{};
    SYSTEMTIME first[2]{};
    ::SendMessageW(control, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&shown));
    ::SendMessageW(control, MCM_GETMONTHRANGE, GMR_VISIBLE, reinterpret_cast<LPARAM>(first));
    SYSTEMTIME selection = ToSystemTime(form_.CalendarSelection());
    if (shown.wYear != selection.wYear || shown.wMonth != selection.wMonth || shown.wDay != selection.wDay ||
        first[0].wYear != selection.wYear || first[0].wMonth != selection.wMonth) {
      ::SendMessageW(control, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&selection));
    }
  }
  const bool calendarOpen = form_.Control(ControlId::calDate).visible;
  const bool visible = state.visible && !(covered_[static_cast<std::size_t>(id)] && calendarOpen);
  if (((::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0) != visible) {
    ::ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
    if (id == ControlId::calDate) {
      // The rows it lies over are hidden while it is open, so that neither Tab nor paint
      // reaches them; a focus left in one of them goes to the calendar.
      for (const ControlInfo& info : Controls()) {
        if (covered_[static_cast<std::size_t>(info.id)]) Render(info.id);
      }
      if (visible) ::PostMessageW(window_.get(), kUncoverFocus, 0, 0);
    }
  }
  --rendering_;
}

void DialogWindow::RenderFocus() {
  if (!window_ || !::IsWindowVisible(window_.get())) return;
  const HWND target = Window(form_.Focus());
  const HWND focused = ::GetFocus();
  if (focused && (focused == target || ::IsChild(target, focused))) return;
  ++rendering_;
  ::SetFocus(target && ::IsWindowVisible(target) && ::IsWindowEnabled(target) ? target : window_.get());
  --rendering_;
}

// User input -----------------------------------------------------------------------------

template <typename Action>
void DialogWindow::UserInput(Action&& action) {
  if (rendering_ > 0) return;
  // Nothing may unwind through the system's window procedures.
  try {
    action();
  } catch (...) {
    ReportFailure();
  }
}

void DialogWindow::ReportFailure() noexcept {
  try {
    try {
      throw;
    } catch (const VelmoraError& error) {
      MessageBox(kApplicationName, error.Description(), MessageIcon::kNone);
    } catch (...) {
      MessageBox(kApplicationName, u"Out of memory", MessageIcon::kNone);
    }
  } catch (...) {
    // Not even the box could be shown: the debugger's output is all that is left.
    ::OutputDebugStringW(L"Velmora: a failure in the configuration window could not be shown\n");
  }
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<DialogWindow*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_.reset(window);
    self->Initialize();
    return FALSE;  // the model's focus is set when the window shows
  }
  auto* self = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!self || !self->window_) return FALSE;
  // Nothing may unwind into the system: what the window meets is reported as UserInput does.
  try {
    return self->Handle(message, wParam, lParam);
  } catch (...) {
    self->ReportFailure();
    return TRUE;
  }
}

INT_PTR DialogWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND window = window_.get();
  switch (message) {
    case WM_COMMAND:
      if (const auto control = ControlOfWindowId(LOWORD(wParam)); control && lParam) OnCommand(*control, HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY:
      if (const auto control = ControlOfWindowId(static_cast<int>(reinterpret_cast<const NMHDR*>(lParam)->idFrom))) {
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, OnNotify(*control, *reinterpret_cast<const NMHDR*>(lParam)));
      }
      return TRUE;
    case WM_CLOSE:
      // The close is refused: the window lives on, and the model does what Cancel does.
      UserInput([&] { form_.UserClose(); });
      return TRUE;
    case kRenderAgain:
      if (wParam < kControlCount) Render(static_cast<ControlId>(wParam));
      return TRUE;
    case kUncoverFocus:
      if (const HWND focused = ::GetFocus(); !focused || focused == window || !::IsWindowVisible(focused)) {
        ::SetFocus(Window(ControlId::calDate));
      }
      return TRUE;
    case WM_DPICHANGED: {
      // Moved to a monitor of another DPI by a host aware of each monitor's: the suggested
      // place, and the size the layout needs at the new DPI.
      const auto& suggested = *reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                     suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(HIWORD(wParam));
      return TRUE;
    }
    case WM_GETMINMAXINFO: {
      // The whole window, even where it is taller than the screen it was made on.
      auto& limits = *reinterpret_cast<MINMAXINFO*>(lParam);
      limits.ptMaxTrackSize.x = std::max(limits.ptMaxTrackSize.x, frameSize_.cx);
      limits.ptMaxTrackSize.y = std::max(limits.ptMaxTrackSize.y, frameSize_.cy);
      return TRUE;
    }
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETNONCLIENTMETRICS) Layout(dpi_);
      return FALSE;
    case WM_SETFOCUS:
      // Activation gives the window itself the focus; it belongs to the model's control.
      RenderFocus();
      return TRUE;
    default:
      return FALSE;
  }
}

void DialogWindow::OnCommand(ControlId control, UINT code) {
  const HWND window = Window(control);
  const auto row = [&] { return static_cast<std::int32_t>(::SendMessageW(window, CB_GETCURSEL, 0, 0)); };
  switch (Info(control).kind) {
    case ControlKind::kButton:
      if (code == BN_CLICKED) UserInput([&] { form_.UserClick(control); });
      break;
    case ControlKind::kLabel:
      // The first click of a double click opens the help; the box then takes the second.
      if (code == STN_CLICKED) UserInput([&] { form_.UserClick(control); });
      break;
    case ControlKind::kTextBox:
      if (code == EN_CHANGE) UserInput([&] { form_.UserSetText(control, WindowText(window), Caret(window)); });
      break;
    case ControlKind::kList:
      if (code == CBN_SELCHANGE) {
        UserInput([&] { form_.UserSelectRow(control, row()); });
        // A list writes the chosen row's text into its field after this notification; the
        // field then shows again what the model made of the choice.
        ::PostMessageW(window_.get(), kRenderAgain, static_cast<WPARAM>(control), 0);
      } else if (code == CBN_EDITCHANGE) {
        UserInput([&] { form_.UserSetText(control, WindowText(window), Caret(EditFieldOf(window, control))); });
      }
      break;
    case ControlKind::kDropList:
      if (code == CBN_SELCHANGE) UserInput([&] { form_.UserSelectRow(control, row()); });
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
  if ((header.code == MCN_SELECT || header.code == MCN_SELCHANGE) && control == ControlId::calDate) {
    const DateTime day = FromSystemTime(reinterpret_cast<const NMSELCHANGE&>(header).stSelStart);
    UserInput([&] { header.code == MCN_SELECT ? void(form_.UserPickDate(day)) : form_.UserBrowseCalendar(day); });
  }
  return 0;
}

LRESULT CALLBACK DialogWindow::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                           DWORD_PTR self) {
  auto* dialog = reinterpret_cast<DialogWindow*>(self);
  const CommonControls& controls = dialog->commonControls_;
  if (message == WM_NCDESTROY) {
    controls.removeSubclass(window, &ControlProc, id);
    return controls.defSubclassProc(window, message, wParam, lParam);
  }
  try {
    return dialog->HandleControl(static_cast<ControlId>(id), window, message, wParam, lParam);
  } catch (...) {
    dialog->ReportFailure();
    return 0;
  }
}

LRESULT DialogWindow::HandleControl(ControlId control, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto next = commonControls_.defSubclassProc;
  switch (message) {
    case WM_GETDLGCODE: {
      LRESULT code = next(window, message, wParam, lParam);
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
      const LRESULT result = next(window, message, wParam, lParam);
      if (HasFocusMark(control)) ::InvalidateRect(window, nullptr, TRUE);
      UserInput([&] { form_.UserFocus(control); });
      return result;
    }
    case WM_LBUTTONUP: {
      const LRESULT result = next(window, message, wParam, lParam);
      // The field has put the caret where the click landed; the model takes it from there.
      if (control == ControlId::txtTime) UserInput([&] { form_.UserClick(control, Caret(window)); });
      return result;
    }
    default:
      break;
  }
  return next(window, message, wParam, lParam);
}

LRESULT DialogWindow::PaintWithFocusMark(HWND window) {
  // The frame is drawn over what the control repaints, and only there, so that drawing it
  // again never rubs out a frame drawn before.
  const HRGN update = ::CreateRectRgn(0, 0, 0, 0);
  const bool partial = update && ::GetUpdateRgn(window, update, FALSE) != ERROR;
  const LRESULT result = commonControls_.defSubclassProc(window, WM_PAINT, 0, 0);
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

}  // namespace velmora::win32
