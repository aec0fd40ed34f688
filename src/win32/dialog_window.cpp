// The configuration window: a dialog from a template in memory (dialog_layout.cpp) that renders
// Form1's control state and feeds the user's input into Form1's User* entry points. Made at the
// first show, it lives as long as the model, on the thread that made the plug-in.
#include <windows.h>
#include <commctrl.h>
#undef MessageBox  // the view's operation, not the Win32 macro

#include <string>

#include "automation_date.h"
#include "base/error.h"
#include "dialog_window.h"
#include "module.h"
#include "text_win32.h"

namespace velmora::win32 {

namespace {

using enum ControlId;
using Kind = ControlKind;

constexpr UINT kRenderAgain = WM_APP + 1;   // renders control wParam once more
constexpr UINT kUncoverFocus = WM_APP + 2;  // the calendar opened, maybe over the focus

class DialogWindow final : public DialogView {
 public:
  explicit DialogWindow(Form1& form) : form_(form) {}
  ~DialogWindow() override { ++rendering_; }  // nothing said while the window goes is the user's

  void ControlChanged(ControlId id) override { Render(id); }
  void FocusChanged(ControlId) override { RenderFocus(); }
  void ShowModal() override {
    if (!window_ && controls_.Load()) {
      const InContext scope(controls_);
      const std::vector<WORD> words = DialogTemplate();
      // No owner: the host may have no window of its own to lend. WM_INITDIALOG keeps it.
      ::CreateDialogIndirectParamW(ThisModule(), reinterpret_cast<LPCDLGTEMPLATEW>(words.data()), nullptr,
                                   &DialogProc, reinterpret_cast<LPARAM>(this));
    }
    if (!window_) throw VelmoraError(7, u"Out of memory");
    modal_ = true;
    ::ShowWindow(window_.get(), SW_SHOW);
    ::SetForegroundWindow(window_.get());
    RenderFocus();
    for (MSG message; modal_;) {
      if (const BOOL got = ::GetMessageW(&message, nullptr, 0, 0); got <= 0) {
        if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam));  // the quit is the loop outside's
        break;
      }
      const HWND window = window_.get();
      // F1 anywhere in the window opens the help, as a click on the help label does.
      if (message.message == WM_KEYDOWN && message.wParam == VK_F1 &&
          (message.hwnd == window || ::IsChild(window, message.hwnd))) {
        UserInput([&] { form_.UserClick(Label2); });
      } else if (!::IsDialogMessageW(window, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
    }
  }

  void Hide() override {
    modal_ = false;
    if (!window_) return;
    ++rendering_;
    ::ShowWindow(window_.get(), SW_HIDE);
    --rendering_;
    ::PostMessageW(window_.get(), WM_NULL, 0, 0);  // wakes the loop when the hide came from outside it
  }
  void MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon) override {
    const InContext scope(controls_);
    const HWND owner = window_ && ::IsWindowVisible(window_.get()) ? window_.get() : nullptr;
    ::MessageBoxW(owner, ToWide(text).c_str(), ToWide(title).c_str(),
                  MB_OK | (icon == MessageIcon::kInformation ? MB_ICONINFORMATION : 0) | (owner ? 0 : MB_TASKMODAL));
  }

 private:
  HWND Window(ControlId id) const { return ::GetDlgItem(window_.get(), ControlWindowId(id)); }

  // Nothing may unwind through the system: a failure is shown in a box, as such a dialog's
  // runtime shows it.
  template <typename Result = int, typename Action>
  Result Guarded(Action&& action, Result failed = {}) noexcept {
    try {
      try {
        return action();
      } catch (const VelmoraError& error) {
        MessageBox(kApplicationName, error.Description(), MessageIcon::kNone);
      } catch (...) {
        MessageBox(kApplicationName, u"Out of memory", MessageIcon::kNone);
      }
    } catch (...) {
      ::OutputDebugStringW(L"Velmora: a failure in the configuration window could not be shown\n");
    }
    return failed;
  }
  template <typename Action>
  void UserInput(Action&& action) {  // the user's, unless the view itself is writing
    if (rendering_ == 0) Guarded([&] { return action(), 0; });
  }

  void Render(ControlId id) {
    const HWND control = Window(id);
    if (!control) return;
    const ControlState& state = form_.Control(id);
    const Kind kind = Info(id).kind;
    ++rendering_;
    if ((kind == Kind::kList || kind == Kind::kDropList) && ::SendMessageW(control, CB_GETCURSEL, 0, 0) != state.row) {
      // The row first: a list writes a chosen row's text into its field. "No row" goes to a
      // list's list part alone, which leaves the field's text and caret alone.
      COMBOBOXINFO parts{};
      parts.cbSize = sizeof parts;
      const bool listPart = state.row < 0 && kind == Kind::kList && ::GetComboBoxInfo(control, &parts);
      ::SendMessageW(listPart ? parts.hwndList : control, listPart ? LB_SETCURSEL : CB_SETCURSEL,
                     static_cast<WPARAM>(state.row), 0);
    }
    // A drop list shows its row's text itself; the spinners and the calendar keep their names.
    if (kind != Kind::kSpin && kind != Kind::kCalendar && kind != Kind::kDropList && WindowText(control) != state.text) {
      ::SetWindowTextW(control, ToWide(state.text).c_str());
    }
    // Only the time field's and the delay list's handlers set selections; every other field
    // keeps the caret where the user left it.
    if (const HWND edit = EditFieldOf(control, id); (id == txtTime || id == cmbDelay) &&
        Selection(edit) != std::pair{state.selStart, state.selStart + state.selLength}) {
      ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(state.selStart), state.selStart + state.selLength);
    }
    if (kind == Kind::kCalendar) {  // the model's selection, in its month (the calendar moves to it)
      SYSTEMTIME selection = ToSystemTime(form_.CalendarSelection());
      ::SendMessageW(control, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&selection));
    }
    // The rows the open calendar lies over are hidden, so that neither Tab nor paint reaches
    // them; a focus left in one goes to the calendar once the model is done.
    const bool visible = state.visible && !(UnderOpenCalendar(id) && form_.Control(calDate).visible);
    if (((::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0) != visible) {
      ::ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
      if (id == calDate) {
        for (const ControlInfo& info : Controls()) {
          if (UnderOpenCalendar(info.id)) Render(info.id);
        }
        if (visible) ::PostMessageW(window_.get(), kUncoverFocus, 0, 0);
      }
    }
    --rendering_;
  }

  void RenderFocus() {
    const HWND target = Window(form_.Focus());
    const HWND focused = ::GetFocus();
    if (!::IsWindowVisible(window_.get()) || (focused && (focused == target || ::IsChild(target, focused)))) return;
    ++rendering_;
    ::SetFocus(::IsWindowVisible(target) && ::IsWindowEnabled(target) ? target : window_.get());
    --rendering_;
  }

  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = window_.get();
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    const auto id = ControlOfWindowId(message == WM_NOTIFY ? static_cast<int>(header->idFrom) : LOWORD(wParam));
    switch (message) {
      case WM_INITDIALOG:
        for (const ControlInfo& info : Controls()) {
          controls_.setSubclass(EditFieldOf(Window(info.id), info.id), &ControlProc, static_cast<UINT_PTR>(info.id),
                                reinterpret_cast<DWORD_PTR>(this));
        }
        ++rendering_;
        PrepareControls(window, form_);
        --rendering_;
        LayOut(window, message, wParam, lParam, layout_);
        for (const ControlInfo& info : Controls()) Render(info.id);
        return FALSE;  // the model's focus is set when the window shows
      case WM_COMMAND:  // Enter's and Esc's IDOK and IDCANCEL name no control: there are no such buttons
        if (id && lParam) OnCommand(*id, HIWORD(wParam));
        return TRUE;
      case WM_NOTIFY:
        if (header->code == UDN_DELTAPOS && id) {
          UserInput([&] { form_.UserSpin(*id, reinterpret_cast<const NMUPDOWN*>(header)->iDelta > 0); });
          ::SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);  // the spin itself stays in the middle
        } else if (header->code == MCN_SELECT || header->code == MCN_SELCHANGE) {
          const DateTime day = FromSystemTime(reinterpret_cast<const NMSELCHANGE*>(header)->stSelStart);
          UserInput([&] { header->code == MCN_SELECT ? void(form_.UserPickDate(day)) : form_.UserBrowseCalendar(day); });
        }
        return TRUE;
      case WM_CLOSE:  // refused: the window lives on, and the model does what Cancel does
        UserInput([&] { form_.UserClose(); });
        return TRUE;
      case kRenderAgain:
        return Render(static_cast<ControlId>(wParam)), TRUE;
      case kUncoverFocus:
        if (::GetFocus() == window || !::IsWindowVisible(::GetFocus())) ::SetFocus(Window(calDate));
        return TRUE;
      case WM_SETFOCUS:  // activation gives the window the focus; it belongs to the model's control
        return RenderFocus(), TRUE;
      default:
        return LayOut(window, message, wParam, lParam, layout_);
    }
  }

  void OnCommand(ControlId id, UINT code) {
    const HWND window = Window(id);
    const Kind kind = Info(id).kind;
    if ((kind == Kind::kButton && code == BN_CLICKED) || (kind == Kind::kLabel && code == STN_CLICKED)) {
      // The first click of a double click on the help label opens the help; the box takes the second.
      UserInput([&] { form_.UserClick(id); });
    } else if ((kind == Kind::kTextBox && code == EN_CHANGE) || (kind == Kind::kList && code == CBN_EDITCHANGE)) {
      UserInput([&] { form_.UserSetText(id, WindowText(window), Selection(EditFieldOf(window, id)).first); });
    } else if ((kind == Kind::kList || kind == Kind::kDropList) && code == CBN_SELCHANGE) {
      UserInput([&] { form_.UserSelectRow(id, static_cast<std::int32_t>(::SendMessageW(window, CB_GETCURSEL, 0, 0))); });
      // The list writes the row's text into its field after this; then it shows the model's again.
      ::PostMessageW(window_.get(), kRenderAgain, static_cast<WPARAM>(id), 0);
    }
  }

  LRESULT HandleControl(ControlId id, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto next = controls_.defSubclassProc;
    const Kind kind = Info(id).kind;
    const bool marked = kind == Kind::kSpin || kind == Kind::kCalendar;  // draw no focus of their own
    switch (message) {
      case WM_GETDLGCODE: {
        // Tabbing into a field leaves its selection as the model has it; the spinners and the
        // calendar take the arrows. Enter goes to the control's own handlers (no default
        // button; a focused button clicks); the calendar also takes Esc and Space.
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        const bool typed = key && (key->message == WM_KEYDOWN || key->message == WM_CHAR);
        const bool own = kind == Kind::kCalendar && typed && (key->wParam == VK_ESCAPE || key->wParam == VK_SPACE);
        return (next(window, message, wParam, lParam) & ~static_cast<LRESULT>(DLGC_HASSETSEL)) |
               (marked ? DLGC_WANTARROWS : 0) | ((typed && key->wParam == VK_RETURN) || own ? DLGC_WANTMESSAGE : 0);
      }
      case WM_PAINT: {  // the marked ones get the dotted frame buttons show, over the whole of them
        if (!marked || wParam != 0) break;
        ::InvalidateRect(window, nullptr, FALSE);  // painted whole, so the frame is drawn once
        const LRESULT result = next(window, message, wParam, lParam);
        RECT frame{};
        if (::GetFocus() == window && ::GetClientRect(window, &frame) && ::InflateRect(&frame, -1, -1)) {
          const HDC dc = ::GetDC(window);
          ::DrawFocusRect(dc, &frame);
          ::ReleaseDC(window, dc);
        }
        return result;
      }
      case WM_KEYDOWN:
        if (wParam == VK_RETURN && kind == Kind::kButton && rendering_ == 0) {
          return ::SendMessageW(window, BM_CLICK, 0, 0), 0;  // as Space does
        }
        UserInput([&] { wParam = static_cast<WPARAM>(form_.UserKeyDown(id, static_cast<std::int32_t>(wParam))); });
        if (wParam == 0) return 0;  // consumed: the field takes no action of its own
        break;
      case WM_CHAR:
        UserInput([&] { wParam = form_.UserKeyPress(id, static_cast<char16_t>(wParam)) ? wParam : 0; });
        if (wParam == 0) return 0;  // discarded: no character reaches the field
        break;
      case WM_KILLFOCUS:
      case WM_SETFOCUS:
      case WM_LBUTTONUP: {
        const LRESULT result = next(window, message, wParam, lParam);
        if (message != WM_LBUTTONUP && marked) ::InvalidateRect(window, nullptr, TRUE);
        if (message == WM_SETFOCUS) UserInput([&] { form_.UserFocus(id); });
        // The field has put the caret where the click landed; the model takes it from there.
        if (message == WM_LBUTTONUP && id == txtTime) UserInput([&] { form_.UserClick(id, Selection(window).first); });
        return result;
      }
      default:
        break;
    }
    return next(window, message, wParam, lParam);
  }

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (self && message == WM_INITDIALOG) self->window_.reset(window);
    if (!self || !self->window_) return FALSE;
    return self->Guarded<INT_PTR>([&] { return self->Handle(message, wParam, lParam); }, TRUE);
  }
  // The controls' subclass procedure: keys, characters, focus and clicks reach the model.
  static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self) {
    auto* dialog = reinterpret_cast<DialogWindow*>(self);
    if (message == WM_NCDESTROY) dialog->controls_.removeSubclass(window, &ControlProc, id);
    return dialog->Guarded<LRESULT>(
        [&] { return dialog->HandleControl(static_cast<ControlId>(id), window, message, wParam, lParam); });
  }

  Form1& form_;
  CommonControls controls_;
  Layout layout_;
  UniqueHwnd window_;
  int rendering_ = 0;  // writes into the controls in progress: their notifications are not the user's
  bool modal_ = false;
};

}  // namespace

std::unique_ptr<DialogView> MakeDialogView(Form1& form) { return std::make_unique<DialogWindow>(form); }

}  // namespace velmora::win32
