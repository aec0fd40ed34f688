// The configuration window's template and layout, in dialog units: a quarter of the font's
// average character width across, an eighth of its line height down, so the window grows
// with the user's message font and with the DPI.
#include "dialog_window.h"

#include <commctrl.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "dialog_ids.h"

namespace velmora::win32 {

namespace {

using enum ControlId;

// In window order, which is the focus order; each label just before its field, where a
// screen reader takes a field's name from. A list's height includes its dropped rows.
struct Place {
  ControlId id;
  short x, y, cx, cy;
};
constexpr Place kPlaces[] = {
    {cmdOk, 3, 285, 47, 15},      {cmdCancel, 54, 285, 47, 15}, {Label2, 3, 22, 98, 24},
    {Text2, 3, 48, 98, 12},       {Label12, 3, 120, 98, 8},     {Combo1, 3, 129, 98, 60},
    {Label8, 3, 148, 98, 8},      {cmbDelay, 3, 157, 98, 100},  {Label13, 3, 200, 98, 8},
    {cmbRepeat, 3, 209, 98, 60},  {Label14, 3, 228, 98, 8},     {txtDone, 3, 237, 98, 12},
    {udTime, 94, 74, 7, 12},      {Label9, 54, 65, 47, 8},      {txtTime, 54, 74, 40, 12},
    {Label10, 3, 65, 47, 8},      {txtDate, 3, 74, 40, 12},     {udDate, 43, 74, 7, 12},
    {calDate, 3, 89, 98, 106},    {Label11, 3, 92, 98, 8},      {txtDateTime, 3, 101, 98, 12},
    {cmdEnable, 3, 4, 98, 15},    {Label1, 3, 254, 98, 8},      {Text9, 3, 263, 98, 12},
};
constexpr short kClientWidth = 104;
constexpr short kClientHeight = 304;
// The rows from here down lie below the open calendar, which pushes them down when it needs
// more room than this.
constexpr short kBelowCalendar = 200;
constexpr short kCalendarGap = 4;
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | DS_SETFONT;
// The template's x for "where the system places new windows".
constexpr short kDefaultPlace = static_cast<short>(0x8000);

struct Kind {
  WORD atom;  // the predefined class, or 0 for a common control by name
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};
Kind KindOf(ControlKind kind) {
  constexpr DWORD kEdit = ES_AUTOHSCROLL | WS_TABSTOP;
  switch (kind) {
    case ControlKind::kButton: return {0x80, nullptr, BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::kLabel: return {0x82, nullptr, SS_LEFT, 0};
    case ControlKind::kTextBox: return {0x81, nullptr, kEdit, WS_EX_CLIENTEDGE};
    case ControlKind::kLockedTextBox: return {0x81, nullptr, kEdit | ES_READONLY, WS_EX_CLIENTEDGE};
    case ControlKind::kList: return {0x85, nullptr, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::kDropList: return {0x85, nullptr, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    // The spinners take the arrow keys as clicks on their arrows.
    case ControlKind::kSpin: return {0, UPDOWN_CLASSW, UDS_ARROWKEYS | WS_TABSTOP, 0};
    case ControlKind::kCalendar: return {0, MONTHCAL_CLASSW, WS_TABSTOP | WS_BORDER, 0};
  }
  return {0x82, nullptr, 0, 0};
}

// The accessibility proxy names a spinner or a calendar by its own window text.
const wchar_t* OwnName(ControlId id) {
  switch (id) {
    case udTime: return L"Time";
    case udDate:
    case calDate: return L"Date";
    default: return L"";
  }
}

class Words {
 public:
  void Word(WORD word) { words_.push_back(word); }
  void Dword(DWORD word) {
    Word(LOWORD(word));
    Word(HIWORD(word));
  }
  void Text(const wchar_t* text) {
    for (; *text; ++text) Word(static_cast<WORD>(*text));
    Word(0);
  }
  void AlignToDword() {
    if (words_.size() % 2) Word(0);
  }
  std::vector<WORD> words_;
};

int SystemDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

std::vector<WORD> DialogWindow::Template() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const LOGFONTW& face = metrics.lfMessageFont;
  Words out;
  out.Word(1), out.Word(0xFFFF), out.Dword(0), out.Dword(0), out.Dword(kWindowStyle);
  out.Word(static_cast<WORD>(std::size(kPlaces)));
  for (const short value : {kDefaultPlace, short{0}, kClientWidth, kClientHeight}) out.Word(static_cast<WORD>(value));
  out.Word(0), out.Word(0), out.Text(kDialogCaption);
  out.Word(static_cast<WORD>(::MulDiv(std::abs(face.lfHeight), 72, SystemDpi())));
  out.Word(static_cast<WORD>(face.lfWeight)), out.Word(MAKEWORD(face.lfItalic, face.lfCharSet));
  out.Text(face.lfFaceName);
  for (const Place& place : kPlaces) {
    const Kind kind = KindOf(Info(place.id).kind);
    const DWORD shown = place.id == calDate ? 0 : WS_VISIBLE;
    out.AlignToDword();
    out.Dword(0), out.Dword(kind.exStyle), out.Dword(WS_CHILD | shown | kind.style | (place.id == Label2 ? SS_NOTIFY : 0));
    for (const short value : {place.x, place.y, place.cx, place.cy}) out.Word(static_cast<WORD>(value));
    out.Dword(static_cast<DWORD>(ControlWindowId(place.id)));
    if (kind.atom) {
      out.Word(0xFFFF), out.Word(kind.atom);
    } else {
      out.Text(kind.name);
    }
    out.Text(OwnName(place.id)), out.Word(0);
  }
  return std::move(out.words_);
}

void DialogWindow::Name(HWND control, const wchar_t* name) {
  // Where the platform's annotation service works, it names the control outright.
  static constexpr GUID kServices{0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
  static constexpr GUID kInterface{0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
  static constexpr GUID kName{0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
  Microsoft::WRL::ComPtr<IAccPropServices> services;
  if (SUCCEEDED(::CoCreateInstance(kServices, nullptr, CLSCTX_INPROC_SERVER, kInterface,
                                   reinterpret_cast<void**>(services.GetAddressOf())))) {
    services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kName, name);
  }
}

void DialogWindow::Layout(int dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return;
  dpi_ = dpi;
  LOGFONTW face = metrics.lfMessageFont;
  face.lfHeight = ::MulDiv(face.lfHeight, dpi, SystemDpi());
  font_.reset(::CreateFontIndirectW(&face));
  // The dialog units of this font, reckoned as the dialog manager reckons them.
  const HWND window = window_.get();
  const HDC dc = ::GetDC(window);
  const HGDIOBJ old = ::SelectObject(dc, font_.get());
  TEXTMETRICW text{};
  ::GetTextMetricsW(dc, &text);
  SIZE letters{};
  ::GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
  ::SelectObject(dc, old);
  ::ReleaseDC(window, dc);
  const int unitX = (letters.cx / 26 + 1) / 2;
  const int unitY = text.tmHeight;
  const auto pixels = [&](const Place& place) {
    return RECT{::MulDiv(place.x, unitX, 4), ::MulDiv(place.y, unitY, 8), ::MulDiv(place.x + place.cx, unitX, 4),
                ::MulDiv(place.y + place.cy, unitY, 8)};
  };

  const Place& calendarPlace = *std::ranges::find(kPlaces, calDate, &Place::id);
  RECT calendar = pixels(calendarPlace);
  int height = calendar.bottom - calendar.top;
  PlaceCalendar(face, calendar.right - calendar.left, height);
  calendar.bottom = calendar.top + height;
  const int shift = std::max<int>(0, calendar.bottom + ::MulDiv(kCalendarGap, unitY, 8) - ::MulDiv(kBelowCalendar, unitY, 8));
  covered_.reset();
  for (const Place& place : kPlaces) {
    const HWND control = Window(place.id);
    RECT where = place.id == calDate ? calendar : pixels(place);
    if (place.y >= kBelowCalendar) ::OffsetRect(&where, 0, shift);
    if (place.id != calDate) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    ::SetWindowPos(control, nullptr, where.left, where.top, where.right - where.left, where.bottom - where.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    // A list's own field, without its dropped rows.
    ::GetWindowRect(control, &where);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&where), 2);
    RECT overlap{};
    covered_[static_cast<std::size_t>(place.id)] = place.id != calDate && ::IntersectRect(&overlap, &where, &calendar);
  }
  RECT frame{};
  RECT client{};
  ::GetWindowRect(window, &frame);
  ::GetClientRect(window, &client);
  frameSize_ = {::MulDiv(kClientWidth, unitX, 4) + (frame.right - frame.left) - client.right,
                ::MulDiv(kClientHeight, unitY, 8) + shift + (frame.bottom - frame.top) - client.bottom};
  ::SetWindowPos(window, nullptr, 0, 0, frameSize_.cx, frameSize_.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const Place& place : kPlaces) Render(place.id);
  ::InvalidateRect(window, nullptr, TRUE);
}

void DialogWindow::PlaceCalendar(const LOGFONTW& face, int width, int& height) {
  const HWND calendar = Window(calDate);
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
  height = std::max<int>(height, needed.bottom + ::MulDiv(2, dpi_, 96));
}

}  // namespace velmora::win32
