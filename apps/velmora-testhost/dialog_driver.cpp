#include "dialog_driver.h"

#include <commctrl.h>

#include <string>

#include "automation_date.h"
#include "base/text.h"
#include "dialog_window.h"
#include "script/format.h"
#include "script/key_codes.h"
#include "text_win32.h"

namespace velmora::testhost {

namespace {

std::u16string Name(ControlId control) { return std::u16string{Info(control).name}; }

std::u16string WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return win32::FromWide(text);
}

bool OwnVisibleFlag(HWND window) { return (::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

LPARAM At(POINT point) { return MAKELPARAM(point.x, point.y); }

// A left click at a point of the window's client area.
void ClickAt(HWND window, POINT point) {
  ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, At(point));
  ::SendMessageW(window, WM_LBUTTONUP, 0, At(point));
}

std::u16string DateOf(const SYSTEMTIME& time) {
  return FromUtf8(script::DateText(DateTime::FromDate(std::chrono::year{time.wYear} / time.wMonth / time.wDay)));
}

bool SameDay(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  if (!win32::IsDialogWindow(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

HWND DialogDriver::FindWindow() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND DialogDriver::Control(ControlId control) const { return ::GetDlgItem(dialog_, win32::ControlWindowId(control)); }

HWND DialogDriver::EditField(ControlId control) const { return win32::EditFieldOf(Control(control), control); }

script::Refusal DialogDriver::Hidden(ControlId control) const {
  if (OwnVisibleFlag(Control(control))) return std::nullopt;
  return Name(control) + u" is hidden";
}

script::Refusal DialogDriver::Click(ControlId control, std::optional<std::int32_t> caret) const {
  if (auto refused = Hidden(control)) return refused;
  const HWND window = Control(control);
  switch (Info(control).kind) {
    case ControlKind::kButton:
      ::SendMessageW(window, BM_CLICK, 0, 0);
      return std::nullopt;
    case ControlKind::kLabel:
      ClickAt(window, {2, 2});
      return std::nullopt;
    default:
      break;
  }
  // A click into a field, landing just right of the gap before character `caret`.
  const auto length = ::GetWindowTextLengthW(window);
  DWORD start = 0;
  ::SendMessageW(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  const std::int32_t at = caret.value_or(static_cast<std::int32_t>(start));
  if (at < 0 || at > length) return Name(control) + u" has no caret position " + DecimalText(at);
  POINT point{};
  RECT client{};
  ::GetClientRect(window, &client);
  const LRESULT position = at < length ? ::SendMessageW(window, EM_POSFROMCHAR, static_cast<WPARAM>(at), 0) : -1;
  if (position == -1) {
    point = {client.right - 2, client.bottom / 2};  // past the last character: the caret goes to the end
  } else {
    point = {static_cast<LONG>(static_cast<short>(LOWORD(position))) + 1,
             static_cast<LONG>(static_cast<short>(HIWORD(position))) + 2};
  }
  ClickAt(window, point);
  return std::nullopt;
}

script::Refusal DialogDriver::Focus(ControlId control) const {
  if (auto refused = Hidden(control)) return refused;
  ::SetFocus(Control(control));
  return std::nullopt;
}

script::Refusal DialogDriver::SetText(ControlId control, std::u16string_view text) const {
  if (auto refused = Hidden(control)) return refused;
  ::SetFocus(Control(control));
  const HWND edit = EditField(control);
  // A field locked against typing takes no pasted text either.
  if (::GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) return std::nullopt;
  // Select everything, then replace it as typing or pasting over a selection does; the field
  // notifies the change itself.
  ::SendMessageW(edit, EM_SETSEL, 0, -1);
  const std::wstring wide = win32::ToWide(text);
  ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
  return std::nullopt;
}

script::Refusal DialogDriver::Select(ControlId control, std::int32_t row) const {
  if (auto refused = Hidden(control)) return refused;
  const HWND list = Control(control);
  const auto rows = static_cast<std::int32_t>(::SendMessageW(list, CB_GETCOUNT, 0, 0));
  if (row < 0 || row >= rows) return Name(control) + u" has no row " + DecimalText(row);
  ::SetFocus(list);
  // What a click on a row of the dropped list does: the row becomes the list's choice and
  // the list tells its window.
  ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
  ::SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(win32::ControlWindowId(control), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
  return std::nullopt;
}

void DialogDriver::Press(HWND target, std::int32_t keyCode, std::optional<char16_t> character) const {
  const auto key = static_cast<WPARAM>(keyCode);
  const auto scanCode = static_cast<LPARAM>(::MapVirtualKeyW(static_cast<UINT>(keyCode), MAPVK_VK_TO_VSC));
  const LPARAM down = 1 | (scanCode << 16);
  ::SendMessageW(target, WM_KEYDOWN, key, down);
  if (character) ::SendMessageW(target, WM_CHAR, static_cast<WPARAM>(*character), down);
  ::SendMessageW(target, WM_KEYUP, key, down | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

script::Refusal DialogDriver::Type(ControlId control, std::u16string_view characters) const {
  if (auto refused = Hidden(control)) return refused;
  for (const char16_t character : characters) Press(EditField(control), script::KeyCodeFor(character), character);
  return std::nullopt;
}

script::Refusal DialogDriver::KeyDown(ControlId control, std::int32_t keyCode) const {
  if (auto refused = Hidden(control)) return refused;
  Press(EditField(control), keyCode, std::nullopt);
  return std::nullopt;
}

script::Refusal DialogDriver::Spin(ControlId spin, bool up) const {
  if (auto refused = Hidden(spin)) return refused;
  const HWND window = Control(spin);
  RECT client{};
  ::GetClientRect(window, &client);
  // The upper half is the up arrow, the lower half the down arrow.
  ClickAt(window, {client.right / 2, up ? client.bottom / 4 : client.bottom * 3 / 4});
  return std::nullopt;
}

script::Refusal DialogDriver::Pick(DateTime date) const {
  const HWND calendar = Control(ControlId::calDate);
  if (!OwnVisibleFlag(calendar)) return u"the calendar is hidden";
  SYSTEMTIME range[2] = {};
  ::SendMessageW(calendar, MCM_GETRANGE, 0, reinterpret_cast<LPARAM>(range));
  // Turning to the date's month as the user would; the calendar refuses dates out of range.
  SYSTEMTIME wanted = win32::ToSystemTime(date);
  if (!::SendMessageW(calendar, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&wanted))) {
    return u"the calendar offers only " + DateOf(range[0]) + u" to " + DateOf(range[1]);
  }
  ::SetFocus(calendar);
  // Find the day's cell on screen and click it.
  RECT client{};
  ::GetClientRect(calendar, &client);
  for (LONG y = 1; y < client.bottom; y += 3) {
    for (LONG x = 1; x < client.right; x += 3) {
      MCHITTESTINFO hit{};
      hit.cbSize = MCHITTESTINFO_V1_SIZE;
      hit.pt = {x, y};
      ::SendMessageW(calendar, MCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
      if (hit.uHit == MCHT_CALENDARDATE && SameDay(hit.st, wanted)) {
        ClickAt(calendar, hit.pt);
        return std::nullopt;
      }
    }
  }
  return u"the calendar does not show " + DateOf(wanted);
}

void DialogDriver::Close() const { ::SendMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }

ControlState DialogDriver::Read(ControlId control) const {
  const HWND window = Control(control);
  ControlState state;
  state.text = WindowText(window);
  state.visible = OwnVisibleFlag(window);
  const ControlKind kind = Info(control).kind;
  if (kind == ControlKind::kTextBox || kind == ControlKind::kLockedTextBox || kind == ControlKind::kList) {
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageW(EditField(control), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    state.selStart = static_cast<std::int32_t>(start);
    state.selLength = static_cast<std::int32_t>(end - start);
  }
  if (kind == ControlKind::kList || kind == ControlKind::kDropList) {
    state.row = static_cast<std::int32_t>(::SendMessageW(window, CB_GETCURSEL, 0, 0));
  }
  return state;
}

bool DialogDriver::Visible() const { return OwnVisibleFlag(dialog_); }

}  // namespace velmora::testhost
