#include "dialog_window.h"

#include <commctrl.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "automation_date.h"
#include "module.h"

namespace velmora::win32 {

namespace {

using enum ControlId;

constexpr ControlId kWindowOrder[] = {cmdOk,   cmdCancel, Label2,  Text2,   Label12,     Combo1,    Label8, cmbDelay,
                                      Label13, cmbRepeat, Label14, txtDone, udTime,      Label9,    txtTime, Label10,
                                      txtDate, udDate,    calDate, Label11, txtDateTime, cmdEnable, Label1, Text9};
static_assert(std::size(kWindowOrder) == kControlCount);

// By ControlKind: the class and styles. The spinners take the arrow keys as clicks on their arrows.
constexpr struct {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
} kKinds[] = {
    {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0},
    {WC_STATICW, SS_LEFT, 0},
    {WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP | ES_READONLY, WS_EX_CLIENTEDGE},
    {WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0},
    {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0},
    {UPDOWN_CLASSW, UDS_ARROWKEYS | WS_TABSTOP, 0},
    {MONTHCAL_CLASSW, WS_TABSTOP | WS_BORDER, 0},
};
static_assert(std::size(kKinds) == static_cast<std::size_t>(ControlKind::kCalendar) + 1);

// The accessibility proxy names a spinner or a calendar by its own window text.
const wchar_t* OwnName(ControlId id) { return id == udTime ? L"Time" : id == udDate || id == calDate ? L"Date" : L""; }

int SystemDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

// The window's own DPI where the system tells it (each monitor's), else the screen's. Looked up:
// Windows 7 has neither function; on 8.1 a host aware of each monitor has loaded shcore.
int WindowDpi(HWND window) {
  const auto find = [](const wchar_t* module, const char* name) {
    const HMODULE loaded = ::GetModuleHandleW(module);
    return loaded ? reinterpret_cast<void*>(::GetProcAddress(loaded, name)) : nullptr;
  };
  UINT x = 0;
  UINT y = 0;
  if (const auto forWindow = reinterpret_cast<UINT(WINAPI*)(HWND)>(find(L"user32.dll", "GetDpiForWindow"))) {
    y = forWindow(window);
  } else if (const auto forMonitor = reinterpret_cast<HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*)>(
                 find(L"shcore.dll", "GetDpiForMonitor"))) {
    forMonitor(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), 0, &x, &y);
  }
  return y ? static_cast<int>(y) : SystemDpi();
}

LOGFONTW MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return metrics.lfMessageFont;
}

// A month and its Today line must fit the column: under a wide font the calendar gets a
// smaller one. Answers the height it needs.
int FitCalendar(HWND calendar, LOGFONTW face, int width, Layout& layout) {
  RECT needed{};
  RECT border{};
  ::AdjustWindowRectEx(&border, static_cast<DWORD>(::GetWindowLongW(calendar, GWL_STYLE)), FALSE, 0);
  ::SendMessageW(calendar, WM_SETFONT, reinterpret_cast<WPARAM>(layout.font.get()), FALSE);
  layout.calendarFont.reset();
  for (;;) {
    ::SendMessageW(calendar, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&needed));
    const auto today = static_cast<LONG>(::SendMessageW(calendar, MCM_GETMAXTODAYWIDTH, 0, 0));
    if (std::max(needed.right, today) + border.right - border.left <= width || std::abs(face.lfHeight) <= 6) break;
    face.lfHeight += face.lfHeight < 0 ? 1 : -1;
    layout.calendarFont.reset(::CreateFontIndirectW(&face));
    ::SendMessageW(calendar, WM_SETFONT, reinterpret_cast<WPARAM>(layout.calendarFont.get()), FALSE);
  }
  return needed.bottom + border.bottom - border.top;
}

}  // namespace

CommonControls::CommonControls() {
  const std::wstring path = ModulePath();
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.hModule = ThisModule();
  request.lpResourceName = MAKEINTRESOURCEW(2);  // ISOLATIONAWARE_MANIFEST_RESOURCE_ID, as velmora.rc has it
  if (const HANDLE made = ::CreateActCtxW(&request); made != INVALID_HANDLE_VALUE) context.reset(made);
}

bool CommonControls::Load() {
  const InContext scope(*this);
  if (!library) library.reset(::LoadLibraryW(L"comctl32.dll"));
  if (!library) return false;
  const auto find = [&](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(library.get(), name)); };
  const auto initialize = reinterpret_cast<decltype(&::InitCommonControlsEx)>(find("InitCommonControlsEx"));
  setSubclass = reinterpret_cast<decltype(setSubclass)>(find("SetWindowSubclass"));
  removeSubclass = reinterpret_cast<decltype(removeSubclass)>(find("RemoveWindowSubclass"));
  defSubclassProc = reinterpret_cast<decltype(defSubclassProc)>(find("DefSubclassProc"));
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_UPDOWN_CLASS};
  if (initialize && setSubclass && removeSubclass && defSubclassProc && initialize(&classes)) return true;
  library.reset();
  return false;
}

std::vector<WORD> DialogTemplate() {
  std::vector<WORD> out;
  const auto text = [&](const wchar_t* chars) { out.insert(out.end(), chars, chars + ::lstrlenW(chars) + 1); };
  const auto dword = [&](DWORD value) { out.insert(out.end(), {LOWORD(value), HIWORD(value)}); };
  const auto box = [&](DesignBox b) { out.insert(out.end(), {WORD(b.x), WORD(b.y), WORD(b.width), WORD(b.height)}); };
  const LOGFONTW face = MessageFont();
  // DLGTEMPLATEEX, placed where the system places new windows (x = CW_USEDEFAULT's 16 bits).
  out = {1, 0xFFFF};
  dword(0), dword(0), dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | DS_SETFONT);
  out.push_back(WORD{kControlCount});
  box({short(0x8000), 0, kDesignClient.width, kDesignClient.height});
  out.insert(out.end(), {0, 0});  // no menu, the dialog manager's class
  text(kDialogCaption);
  out.insert(out.end(), {static_cast<WORD>(::MulDiv(std::abs(face.lfHeight), 72, SystemDpi())),
                         static_cast<WORD>(face.lfWeight), MAKEWORD(face.lfItalic, face.lfCharSet)});
  text(face.lfFaceName);
  for (const ControlId id : kWindowOrder) {
    const auto& kind = kKinds[static_cast<std::size_t>(Info(id).kind)];
    if (out.size() % 2) out.push_back(0);  // each item starts on a DWORD
    dword(0), dword(kind.exStyle);
    dword(WS_CHILD | kind.style | (id == calDate ? 0 : WS_VISIBLE) | (id == Label2 ? SS_NOTIFY : 0));
    box(Info(id).box);
    dword(static_cast<DWORD>(ControlWindowId(id)));
    text(kind.name), text(OwnName(id));
    out.push_back(0);
  }
  return out;
}

INT_PTR LayOut(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, Layout& layout) {
  switch (message) {
    case WM_INITDIALOG:
      layout.dpi = WindowDpi(dialog);
      break;
    case WM_GETMINMAXINFO: {  // the whole window, even where it is taller than the screen
      POINT& largest = reinterpret_cast<MINMAXINFO*>(lParam)->ptMaxTrackSize;
      largest = {std::max(largest.x, layout.frame.cx), std::max(largest.y, layout.frame.cy)};
      return TRUE;
    }
    case WM_DPICHANGED: {  // on a monitor of another DPI: the suggested place, laid out anew
      const auto& place = *reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(dialog, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      layout.dpi = HIWORD(wParam);
      break;
    }
    case WM_SETTINGCHANGE:  // maybe a new message font
      if (wParam == SPI_SETNONCLIENTMETRICS) break;
      return FALSE;
    default:
      return FALSE;
  }
  LOGFONTW face = MessageFont();
  face.lfHeight = ::MulDiv(face.lfHeight, layout.dpi, SystemDpi());
  layout.font.reset(::CreateFontIndirectW(&face));
  // The font's dialog units, reckoned as the dialog manager reckons them.
  const HDC dc = ::GetDC(dialog);
  const HGDIOBJ old = ::SelectObject(dc, layout.font.get());
  TEXTMETRICW metrics{};
  SIZE letters{};
  ::GetTextMetricsW(dc, &metrics);
  ::GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
  ::SelectObject(dc, old);
  ::ReleaseDC(dialog, dc);
  const int across = (letters.cx / 26 + 1) / 2;
  const auto rect = [&](DesignBox b) {
    return RECT{::MulDiv(b.x, across, 4), ::MulDiv(b.y, metrics.tmHeight, 8), ::MulDiv(b.x + b.width, across, 4),
                ::MulDiv(b.y + b.height, metrics.tmHeight, 8)};
  };
  RECT calendar = rect(Info(calDate).box);
  const int needed = FitCalendar(::GetDlgItem(dialog, ControlWindowId(calDate)), face, calendar.right - calendar.left, layout);
  const int shift = std::max<int>(0, calendar.top + needed - calendar.bottom);
  calendar.bottom += shift;
  for (const ControlInfo& info : Controls()) {
    const HWND control = ::GetDlgItem(dialog, ControlWindowId(info.id));
    RECT where = info.id == calDate ? calendar : rect(info.box);
    if (info.id > cmbDelay) ::OffsetRect(&where, 0, shift);
    if (info.id != calDate) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(layout.font.get()), FALSE);
    ::SetWindowPos(control, nullptr, where.left, where.top, where.right - where.left, where.bottom - where.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT inside = rect(kDesignClient);
  RECT outside{};
  RECT client{};
  ::GetWindowRect(dialog, &outside);
  ::GetClientRect(dialog, &client);
  layout.frame = {inside.right + outside.right - outside.left - client.right,
                  inside.bottom + shift + outside.bottom - outside.top - client.bottom};
  ::SetWindowPos(dialog, nullptr, 0, 0, layout.frame.cx, layout.frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(dialog, nullptr, TRUE);
  return message != WM_SETTINGCHANGE;
}

void PrepareControls(HWND dialog, const Form1& form) {
  const auto control = [&](ControlId id) { return ::GetDlgItem(dialog, ControlWindowId(id)); };
  for (const ControlId list : {Combo1, cmbDelay, cmbRepeat}) {
    for (const std::u16string& row : form.Control(list).rows) {
      ::SendMessageW(control(list), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(row).c_str()));
    }
  }
  SYSTEMTIME range[2] = {ToSystemTime(DateTime::FromDate(kCalendarMin)), ToSystemTime(DateTime::FromDate(kCalendarMax))};
  ::SendMessageW(control(calDate), MCM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
  for (const ControlId spin : {udDate, udTime}) {  // away from its limits, a spinner notifies every click
    ::SendMessageW(control(spin), UDM_SETRANGE32, 0, 100);
    ::SendMessageW(control(spin), UDM_SETPOS32, 0, 50);
  }
  Microsoft::WRL::ComPtr<IAccPropServices> services;
  if (SUCCEEDED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                   reinterpret_cast<void**>(services.GetAddressOf())))) {
    for (const ControlId id : {udTime, udDate, calDate}) {
      services->SetHwndPropStr(control(id), static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME, OwnName(id));
    }
  }
}

}  // namespace velmora::win32
