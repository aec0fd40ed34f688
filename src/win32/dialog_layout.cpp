#include "dialog_layout.h"

#include <commctrl.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "automation_date.h"
#include "dialog_ids.h"
#include "module.h"

namespace velmora::win32 {

namespace {

using enum ControlId;

struct Place {
  ControlId id;
  short x, y, cx, cy;  // a list's height includes its dropped rows
};
constexpr Place kPlaces[] = {
    {cmdOk, 3, 285, 56, 15},        {cmdCancel, 62, 285, 56, 15}, {Label2, 3, 22, 115, 24},  {Text2, 3, 48, 115, 12},
    {Label12, 3, 120, 115, 8},      {Combo1, 3, 129, 115, 60},    {Label8, 3, 148, 115, 8},  {cmbDelay, 3, 157, 115, 100},
    {Label13, 3, 200, 115, 8},      {cmbRepeat, 3, 209, 115, 60}, {Label14, 3, 228, 115, 8}, {txtDone, 3, 237, 115, 12},
    {udTime, 110, 74, 8, 12},       {Label9, 63, 65, 55, 8},      {txtTime, 63, 74, 47, 12}, {Label10, 3, 65, 49, 8},
    {txtDate, 3, 74, 49, 12},       {udDate, 52, 74, 8, 12},      {calDate, 3, 89, 115, 106}, {Label11, 3, 92, 115, 8},
    {txtDateTime, 3, 101, 115, 12}, {cmdEnable, 3, 4, 115, 15},   {Label1, 3, 254, 115, 8},  {Text9, 3, 263, 115, 12},
};
constexpr short kClientWidth = 121;
constexpr short kClientHeight = 304;
// The rows from here down lie below the open calendar, which pushes them down when it needs more room.
constexpr short kBelowCalendar = 200;
constexpr short kCalendarGap = 4;

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
  const LOGFONTW face = MessageFont();
  // DLGTEMPLATEEX, placed where the system places new windows (x = CW_USEDEFAULT's 16 bits).
  out = {1, 0xFFFF};
  dword(0), dword(0), dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | DS_SETFONT);
  out.insert(out.end(), {static_cast<WORD>(std::size(kPlaces)), 0x8000, 0, kClientWidth, kClientHeight, 0, 0});
  text(kDialogCaption);
  out.insert(out.end(), {static_cast<WORD>(::MulDiv(std::abs(face.lfHeight), 72, SystemDpi())),
                         static_cast<WORD>(face.lfWeight), MAKEWORD(face.lfItalic, face.lfCharSet)});
  text(face.lfFaceName);
  for (const Place& place : kPlaces) {
    const auto& kind = kKinds[static_cast<std::size_t>(Info(place.id).kind)];
    if (out.size() % 2) out.push_back(0);  // each item starts on a DWORD
    dword(0), dword(kind.exStyle);
    dword(WS_CHILD | kind.style | (place.id == calDate ? 0 : WS_VISIBLE) | (place.id == Label2 ? SS_NOTIFY : 0));
    out.insert(out.end(), {static_cast<WORD>(place.x), static_cast<WORD>(place.y), static_cast<WORD>(place.cx),
                           static_cast<WORD>(place.cy)});
    dword(static_cast<DWORD>(ControlWindowId(place.id)));
    text(kind.name);
    text(OwnName(place.id));
    out.push_back(0);
  }
  return out;
}

INT_PTR LayOut(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, Layout& layout) {
  switch (message) {
    case WM_INITDIALOG: {  // the window's own DPI where the system tells it (each monitor's)
      // Looked up: Windows 7 has it not. On 8.1 a host aware of each monitor has loaded shcore.
      const auto find = [](const wchar_t* module, const char* name) {
        const HMODULE loaded = ::GetModuleHandleW(module);
        return loaded ? reinterpret_cast<void*>(::GetProcAddress(loaded, name)) : nullptr;
      };
      UINT x = 0;
      UINT y = 0;
      if (const auto forWindow = reinterpret_cast<UINT(WINAPI*)(HWND)>(find(L"user32.dll", "GetDpiForWindow"))) {
        y = forWindow(dialog);
      } else if (const auto forMonitor = reinterpret_cast<HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*)>(
                     find(L"shcore.dll", "GetDpiForMonitor"))) {
        forMonitor(::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), 0, &x, &y);
      }
      layout.dpi = y ? static_cast<int>(y) : SystemDpi();
      break;
    }
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
  const auto down = [&](int units) { return ::MulDiv(units, metrics.tmHeight, 8); };
  const auto rect = [&](const Place& p) {
    return RECT{::MulDiv(p.x, across, 4), down(p.y), ::MulDiv(p.x + p.cx, across, 4), down(p.y + p.cy)};
  };
  RECT calendar = rect(*std::ranges::find(kPlaces, calDate, &Place::id));
  const int needed = FitCalendar(::GetDlgItem(dialog, ControlWindowId(calDate)), face, calendar.right - calendar.left, layout);
  calendar.bottom = std::max<LONG>(calendar.bottom, calendar.top + needed);
  const int shift = std::max<int>(0, calendar.bottom + down(kCalendarGap) - down(kBelowCalendar));
  for (const Place& place : kPlaces) {
    const HWND control = ::GetDlgItem(dialog, ControlWindowId(place.id));
    RECT where = place.id == calDate ? calendar : rect(place);
    if (place.y >= kBelowCalendar) ::OffsetRect(&where, 0, shift);
    if (place.id != calDate) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(layout.font.get()), FALSE);
    ::SetWindowPos(control, nullptr, where.left, where.top, where.right - where.left, where.bottom - where.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    // A list's own field, without its dropped rows.
    ::GetWindowRect(control, &where);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&where), 2);
    layout.covered[static_cast<std::size_t>(place.id)] = place.id != calDate && ::IntersectRect(&where, &where, &calendar);
  }
  RECT frame{};
  RECT client{};
  ::GetWindowRect(dialog, &frame);
  ::GetClientRect(dialog, &client);
  layout.frame = {::MulDiv(kClientWidth, across, 4) + frame.right - frame.left - client.right,
                  down(kClientHeight) + shift + frame.bottom - frame.top - client.bottom};
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
  SYSTEMTIME range[2] = {ToSystemTime(DateTime::FromDate(kCalendarMin)),
                         ToSystemTime(DateTime::FromDate(kCalendarMax))};
  ::SendMessageW(control(calDate), MCM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
  // An up-down away from its limits notifies every click.
  for (const ControlId spin : {udDate, udTime}) {
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

LRESULT PaintWithFocusMark(HWND control, decltype(&::DefSubclassProc) paint) {
  const HRGN update = ::CreateRectRgn(0, 0, 0, 0);
  const bool partial = update && ::GetUpdateRgn(control, update, FALSE) != ERROR;
  const LRESULT result = paint(control, WM_PAINT, 0, 0);
  RECT frame{};
  if (partial && ::GetFocus() == control && ::GetClientRect(control, &frame) && ::InflateRect(&frame, -1, -1)) {
    const HDC dc = ::GetDC(control);
    ::SelectClipRgn(dc, update);
    ::DrawFocusRect(dc, &frame);
    ::ReleaseDC(control, dc);
  }
  if (update) ::DeleteObject(update);
  return result;
}

}  // namespace velmora::win32
