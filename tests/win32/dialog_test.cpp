// The configuration window: what our code decides of it (its layout, what the open calendar
// hides, the calendar's selection, names, the common controls it loads) and Configure's modal
// loop. Each test acts from inside the modal loop, one step per posted message, the way a
// user's input arrives.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialog_window.h"
#include "support.h"

namespace velmora::wintest {
namespace {

using Step = std::function<void()>;

// A function of its own: x86 callbacks are stdcall, which a lambda does not convert to.
BOOL CALLBACK FindDialogWindow(HWND window, LPARAM out) {
  if (!win32::IsDialogWindow(window)) return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}

HWND FindDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialogWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND Control(ControlId control) {
  return ::GetDlgItem(FindDialog(), win32::ControlWindowId(control));
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

std::string Name(ControlId id) { return {Info(id).name.begin(), Info(id).name.end()}; }

// The control the keyboard focus is in, by its name.
std::string FocusedName() {
  const HWND focused = ::GetFocus();
  for (const ControlInfo& info : Controls()) {
    const HWND control = Control(info.id);
    if (control && (control == focused || ::IsChild(control, focused))) return Name(info.id);
  }
  return "<none>";
}

// The model's text of a control, through the seam of VelmoraTest.dll.
std::wstring ModelText(ControlId control) {
  VelmoraSeamControl state{};
  const std::wstring name(Info(control).name.begin(), Info(control).name.end());
  EXPECT_HRESULT_SUCCEEDED(
      Seam<VelmoraSeamGetControlFn>("VelmoraSeamGetControl")(name.c_str(), &state));
  const std::wstring text = state.text ? state.text : L"";
  ::SysFreeString(state.text);
  return text;
}

// The line height of `font`, or else of the font `window` draws in.
LONG LineOf(HWND window, HFONT font = nullptr) {
  const HDC dc = ::GetDC(window);
  if (!font) font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
  const HGDIOBJ old = ::SelectObject(dc, font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(window, dc);
  return metrics.tmHeight;
}

void Press(HWND target, WPARAM key, wchar_t character = 0) {
  ::SendMessageW(target, WM_KEYDOWN, key, 1);
  if (character) ::SendMessageW(target, WM_CHAR, character, 1);
}

// Runs each step from a message posted after the one before, so input a step posts is
// handled by the modal loop first. A dialog still shown after the last step is closed.
class Steps {
 public:
  explicit Steps(std::vector<Step> steps) : steps_(std::move(steps)) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelmoraDialogTestSteps";
    ::RegisterClassW(&windowClass);
    window_.reset(::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, windowClass.hInstance, nullptr));
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::PostMessageW(window_.get(), WM_APP, 0, 0);
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Steps*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != WM_APP || !self) return ::DefWindowProcW(window, message, wParam, lParam);
    if (self->next_ < self->steps_.size()) {
      self->steps_[self->next_++]();
      ::PostMessageW(window, WM_APP, 0, 0);
    } else if (const HWND dialog = FindDialog(); dialog && ::IsWindowVisible(dialog)) {
      ADD_FAILURE() << "the dialog is still shown after the last step";
      ::SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    return 0;
  }

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  win32::UniqueHwnd window_;
};

void Click(ControlId control) { ::SendMessageW(Control(control), BM_CLICK, 0, 0); }

// Configure with `steps` run inside its modal loop.
void Configure(IDispatch& plugin, std::vector<Step> steps) {
  const Steps running(std::move(steps));
  Call(plugin, L"Configure");
}

class Dialog : public testing::Test {
 protected:
  static void SetUpTestSuite() { registration_ = std::make_unique<MachineRegistration>(); }
  static void TearDownTestSuite() { registration_.reset(); }

  // On a fresh thread's plug-in (of VelmoraTest.dll with `seam`), one Configure for each list
  // of steps, each closed by Cancel.
  void Run(std::vector<std::vector<Step>> shows, bool seam = false) {
    InFreshApartment([&] {
      const ComPtr<IDispatch> plugin = seam ? CreateWithSeam() : CreateByProgId();
      ASSERT_NE(plugin, nullptr);
      Initialize(*plugin.Get(), user_.Email());
      for (std::vector<Step>& steps : shows) {
        steps.emplace_back([] { Click(ControlId::cmdCancel); });
        Configure(*plugin.Get(), std::move(steps));
      }
    });
  }

  ScratchUser user_{L"dialog"};

 private:
  static inline std::unique_ptr<MachineRegistration> registration_;
};

// In a process of its own, since a message box leaves the library loaded in Wine: the common
// controls are loaded only when the window is first made, version 6 inside the DLL's own
// activation context (the standard controls then come from comctl32, the classic ones from
// user32), and let go with the thread's plug-in.
TEST(DialogLibrary, TheCommonControlsVersion6AreLoadedForTheWindowAlone) {
  const auto check = [] {
    HMODULE before = nullptr;
    HMODULE during = nullptr;
    HMODULE buttons = nullptr;
    const ScratchUser user(L"library");
    InFreshApartment([&] {
      const ComPtr<IDispatch> plugin = CreateWithSeam();
      ASSERT_NE(plugin, nullptr);
      Initialize(*plugin.Get(), user.Email());
      before = ::GetModuleHandleW(L"comctl32.dll");
      Configure(*plugin.Get(), {[&] {
                                  during = ::GetModuleHandleW(L"comctl32.dll");
                                  const auto procedure =
                                      ::GetClassLongPtrW(Control(ControlId::cmdOk), GCLP_WNDPROC);
                                  ::GetModuleHandleExW(
                                      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                          GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                      reinterpret_cast<LPCWSTR>(procedure), &buttons);
                                  EXPECT_EQ(::GetWindow(FindDialog(), GW_OWNER), nullptr);
                                },
                                [] { Click(ControlId::cmdCancel); }});
    });
    EXPECT_EQ(before, nullptr) << "loaded before the window";
    EXPECT_NE(during, nullptr);
    EXPECT_EQ(buttons, during) << "the buttons are not version 6";
    EXPECT_EQ(::GetModuleHandleW(L"comctl32.dll"), nullptr) << "kept after the plug-in";
  };
  EXPECT_EXIT((check(), std::exit(testing::Test::HasFailure() ? 1 : 0)), testing::ExitedWithCode(0),
              "");
}

TEST_F(Dialog, TypingInsideTheTemplateKeepsTheCaretWhileThePreviewFollows) {
  Run({{[] {
        const HWND field = Control(ControlId::Text2);
        ::SetFocus(field);
        ::SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"[ds] left"));
        ::SendMessageW(field, EM_SETSEL, 0, 0);
        Press(field, '5', L'%');
        Press(field, 'S', L's');
        EXPECT_EQ(TextOf(field), L"%s[ds] left");
        EXPECT_EQ(win32::Selection(field), (std::pair<std::int32_t, std::int32_t>{2, 2}));
        EXPECT_EQ(ModelText(ControlId::Text2), L"%s[ds] left");
        const std::wstring preview = TextOf(Control(ControlId::Text9));
        EXPECT_EQ(preview, ModelText(ControlId::Text9));
        // No day tag: the day bracket shows its text whatever the clock reads.
        EXPECT_TRUE(preview.ends_with(L"s left")) << "preview \"" << preview.c_str() << '"';
      }}},
      true);
}

// A failure where the user acts is shown to the user, in a box titled Velmora, and the
// window goes on working.
TEST_F(Dialog, AFailureOfAUserActionIsShownInAVelmoraMessageBox) {
  std::wstring title;
  std::wstring text;
  Run({{[] {
          ASSERT_HRESULT_SUCCEEDED(
              Seam<VelmoraSeamFailNextNameFn>("VelmoraSeamFailNextName")(5, L"No host window"));
          // Switching the counter on publishes the nickname, which fails. Posted, so the box's
          // own loop runs the next step.
          ::PostMessageW(Control(ControlId::cmdEnable), BM_CLICK, 0, 0);
        },
        [&] {
          const HWND box = ::FindWindowW(L"#32770", nullptr);
          ASSERT_NE(box, nullptr) << "no message box";
          wchar_t buffer[256] = {};
          ::GetWindowTextW(box, buffer, 256);
          title = buffer;
          ::GetDlgItemTextW(box, 0xFFFF, buffer, 256);
          text = buffer;
          ::SendMessageW(box, WM_COMMAND, IDOK, 0);
        },
        [] {
          EXPECT_TRUE(::IsWindowVisible(FindDialog())) << "the window went away with the failure";
        }}},
      true);
  EXPECT_EQ(title, L"Velmora");
  EXPECT_EQ(text, L"No host window");
}

// A click on the date's spinner opens the calendar over the list that has the focus: the
// focus goes to the calendar, where the keyboard user can go on.
TEST_F(Dialog, TheCalendarOpenedByAClickTakesTheFocusFromAControlItCovers) {
  std::string focused;
  Run({{[] {
          ::SetFocus(Control(ControlId::cmbDelay));
          RECT arrows{};
          ::GetClientRect(Control(ControlId::udDate), &arrows);
          const LPARAM upArrow = MAKELPARAM(arrows.right / 2, arrows.bottom / 4);
          ::SendMessageW(Control(ControlId::udDate), WM_LBUTTONDOWN, MK_LBUTTON, upArrow);
          ::SendMessageW(Control(ControlId::udDate), WM_LBUTTONUP, 0, upArrow);
        },
        [&] { focused = FocusedName(); }}});
  EXPECT_EQ(focused, "calDate");
}

TEST_F(Dialog, F1AnywhereInTheWindowShowsTheHelp) {
  std::vector<std::wstring> titles;
  std::vector<Step> steps;
  for (const ControlId where : {ControlId::Text2, ControlId::udTime, ControlId::cmdOk}) {
    steps.emplace_back([where] {
      ::SetFocus(Control(where));
      ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_F1, 1);
    });
    steps.emplace_back([&] {
      // The box runs a loop of its own: it is found from a message posted in that loop.
      const HWND box = ::FindWindowW(L"#32770", nullptr);
      wchar_t title[64] = {};
      if (box) ::GetWindowTextW(box, title, 64);
      titles.emplace_back(box ? title : L"<no box>");
      if (box) ::SendMessageW(box, WM_COMMAND, IDOK, 0);
    });
  }
  Run({steps});
  EXPECT_EQ(titles, (std::vector<std::wstring>{L"Help!", L"Help!", L"Help!"}));
}

// What does not fit in the shown window: a text cut by its control, a control outside the
// window or over another; each as one line naming the control and the sizes.
std::vector<std::string> Misfits() {
  std::vector<std::string> misfits;
  const HWND dialog = FindDialog();
  RECT client{};
  ::GetClientRect(dialog, &client);
  const auto say = [&](ControlId id, const std::string& what, LONG needed, LONG given) {
    misfits.push_back(Name(id) + ": " + what + " needs " + std::to_string(needed) + " px, has " +
                      std::to_string(given));
  };
  std::vector<std::pair<ControlId, RECT>> placed;
  for (const ControlInfo& info : Controls()) {
    const HWND control = Control(info.id);
    if (!::IsWindowVisible(control)) continue;
    RECT inside{};
    ::GetClientRect(control, &inside);
    RECT where{};
    ::GetWindowRect(control, &where);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&where), 2);
    if (where.bottom > client.bottom)
      say(info.id, "the window's height", where.bottom, client.bottom);
    if (where.right > client.right) say(info.id, "the window's width", where.right, client.right);
    const HDC dc = ::GetDC(control);
    const HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    const std::wstring text = TextOf(control);
    switch (info.kind) {
      case ControlKind::kLabel: {
        RECT bounds{0, 0, inside.right, 0};
        ::DrawTextW(dc, text.c_str(), -1, &bounds, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        if (bounds.bottom > inside.bottom) say(info.id, "its text", bounds.bottom, inside.bottom);
        break;
      }
      case ControlKind::kButton: {
        RECT bounds{};
        ::DrawTextW(dc, text.c_str(), -1, &bounds, DT_CALCRECT | DT_SINGLELINE);
        // The button's edges and its focus frame take three pixels on each side.
        if (bounds.bottom + 6 > inside.bottom)
          say(info.id, "its caption", bounds.bottom + 6, inside.bottom);
        break;
      }
      case ControlKind::kTextBox:
      case ControlKind::kLockedTextBox:
      case ControlKind::kList: {
        RECT lines{};
        ::SendMessageW(win32::EditFieldOf(control, info.id), EM_GETRECT, 0,
                       reinterpret_cast<LPARAM>(&lines));
        if (lines.bottom - lines.top < metrics.tmHeight)
          say(info.id, "its line", metrics.tmHeight, lines.bottom - lines.top);
        break;
      }
      case ControlKind::kCalendar: {
        RECT month{};
        ::SendMessageW(control, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&month));
        const auto today = static_cast<LONG>(::SendMessageW(control, MCM_GETMAXTODAYWIDTH, 0, 0));
        if (std::max(month.right, today) > inside.right)
          say(info.id, "a month and its Today line", std::max(month.right, today), inside.right);
        if (month.bottom > inside.bottom)
          say(info.id, "a month's height", month.bottom, inside.bottom);
        break;
      }
      default:
        break;
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    // The open calendar too: the rows it lies over are hidden.
    for (const auto& [other, itsPlace] : placed) {
      RECT overlap{};
      if (::IntersectRect(&overlap, &where, &itsPlace)) {
        misfits.push_back(Name(other) + " and " + Name(info.id) + " overlap");
      }
    }
    placed.emplace_back(info.id, where);
  }
  return misfits;
}

// Sets the system's message font for the object's life; new windows take it.
class MessageFont {
 public:
  // A face of the current message font's family whose lines are `lineHeight` pixels high.
  explicit MessageFont(LONG lineHeight) {
    saved_.cbSize = sizeof saved_;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
    NONCLIENTMETRICSW changed = saved_;
    for (LONG height = -8; height > -40 && lines_ < lineHeight; --height) {
      changed.lfMessageFont.lfHeight = height;
      const HFONT font = ::CreateFontIndirectW(&changed.lfMessageFont);
      lines_ = LineOf(nullptr, font);
      ::DeleteObject(font);
    }
    ::SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof changed, &changed, 0);
  }
  ~MessageFont() { ::SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof saved_, &saved_, 0); }
  MessageFont(const MessageFont&) = delete;
  MessageFont& operator=(const MessageFont&) = delete;
  [[nodiscard]] LONG Lines() const { return lines_; }

 private:
  NONCLIENTMETRICSW saved_{};
  LONG lines_ = 0;
};

// Every text fits its control and nothing overlaps, with the calendar shut and open, under the
// system's message font and one with 16-px lines (Windows' own), at the system's DPI and at 192
// DPI, where a host aware of each monitor's DPI moves the window: the open window follows a new
// message font and each DPI change, and keeps its OK/Cancel row whole.
TEST_F(Dialog, EveryTextFitsUnderLargerFontsAndAt192Dpi) {
  std::optional<MessageFont> font;
  const HDC screen = ::GetDC(nullptr);
  const int systemDpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  LONG systemLine = 0;
  std::vector<Step> steps{[&] { systemLine = LineOf(Control(ControlId::Text2)); }};
  const struct {
    LONG lines;
    int dpi;
  } cases[] = {{0, systemDpi}, {0, 192}, {16, 192}, {16, systemDpi}};
  for (const auto& [lines, dpi] : cases) {
    steps.emplace_back([&, lines, dpi] {
      const HWND dialog = FindDialog();
      if (lines && !font) {
        font.emplace(lines);
        ::SendMessageW(dialog, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, 0);
      }
      RECT suggested{};
      ::GetWindowRect(dialog, &suggested);
      ::SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    });
    for (const bool open : {false, true}) {
      steps.emplace_back([&, lines, dpi, open] {
        if (open) ::SetFocus(Control(ControlId::Text2)), ::SetFocus(Control(ControlId::txtDate));
        if (!open) ::SendMessageW(Control(ControlId::calDate), WM_KEYDOWN, VK_ESCAPE, 1);
        const std::string how = (lines ? "16-px lines" : "the system's font") +
                                std::string(" at ") + std::to_string(dpi) + " DPI, calendar " +
                                (open ? "open" : "shut");
        ASSERT_EQ(::IsWindowVisible(Control(ControlId::calDate)) != FALSE, open) << how;
        const LONG line = ::MulDiv(font ? font->Lines() : systemLine, dpi, systemDpi);
        EXPECT_NEAR(LineOf(Control(ControlId::Text2)), line, 2) << how;
        for (const std::string& misfit : Misfits()) ADD_FAILURE() << how << ": " << misfit;
      });
    }
  }
  Run({steps});
}

VelmoraSeamState State() {
  VelmoraSeamState state{};
  EXPECT_HRESULT_SUCCEEDED(Seam<VelmoraSeamGetStateFn>("VelmoraSeamGetState")(&state));
  ::SysFreeString(state.sNick);
  ::SysFreeString(state.sDelayCode);
  return state;
}

// Shift's state is read from the thread's key state, as the loop sees it.
void SetShift(bool down) {
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_SHIFT] = down ? 0x80 : 0;
  ::SetKeyboardState(keys);
}

// The keyboard alone, with real key messages through the window's loop: Tab into the date
// field opens the calendar and reaches it; its arrows and Enter pick a date; Esc closes it;
// the spinner's arrow keys open it again; and while it is open, Tab and Shift+Tab pass over
// the rows it hides.
TEST_F(Dialog, TheKeyboardPicksADateAndTabNeverLandsUnderTheOpenCalendar) {
  const auto key = [](WPARAM code, bool shift = false) {
    return [code, shift] {
      SetShift(shift);
      ::PostMessageW(::GetFocus(), WM_KEYDOWN, code, 1);
    };
  };
  std::vector<std::string> visited;
  const Step record = [&] { visited.push_back(FocusedName()); };
  DATE start = 0;
  DATE picked = 0;
  bool openAfterEnter = true;
  bool openAfterEsc = true;
  std::vector<Step> steps{[] { ::SetFocus(Control(ControlId::Text2)); }};
  for (int tab = 0; tab < 7; ++tab) steps.insert(steps.end(), {key(VK_TAB), record});
  steps.insert(steps.end(),
               {key(VK_TAB), key(VK_TAB), record, [&] { start = State().calendarSelection; },
                // A week on, a day back, taken.
                key(VK_DOWN), key(VK_LEFT), key(VK_RETURN),
                [&] {
                  openAfterEnter = ::IsWindowVisible(Control(ControlId::calDate));
                  picked = State().dTargetDate;
                },
                record, key(VK_UP), key(VK_TAB), record, key(VK_ESCAPE),
                [&] { openAfterEsc = ::IsWindowVisible(Control(ControlId::calDate)); }, record,
                key(VK_DOWN)});
  for (int tab = 0; tab < 12; ++tab) steps.insert(steps.end(), {key(VK_TAB), record});
  steps.insert(steps.end(),
               {key(VK_TAB, true), record, key(VK_TAB, true), record, [] { SetShift(false); }});
  Run({steps}, true);
  EXPECT_EQ(picked, start + 6);
  EXPECT_FALSE(openAfterEnter);
  EXPECT_FALSE(openAfterEsc);
  const std::vector<std::string> order{
      "Combo1", "cmbDelay", "cmbRepeat", "txtDone", "udTime", "txtTime", "txtDate", "calDate",
      "udDate", "calDate", "udDate",
      // Open again: it hides txtDateTime, Combo1 and cmbDelay; the repeat rows lie below it.
      "calDate", "cmdEnable", "Text9", "cmdOk", "cmdCancel", "Text2", "cmbRepeat", "txtDone",
      "udTime", "txtTime", "txtDate", "udDate", "txtDate", "txtTime"};
  EXPECT_EQ(visited, order);
}

// The calendar shows the model's selection, in its month: when the window first opens it,
// after a date is picked in it, and after Cancel reloads the target.
TEST_F(Dialog, TheCalendarShowsTheModelsSelection) {
  std::vector<std::string> wrong;
  const auto compare = [&](const char* when) {
    return [&wrong, when] {
      SYSTEMTIME shown{};
      SYSTEMTIME months[2]{};
      SYSTEMTIME model{};
      ::SendMessageW(Control(ControlId::calDate), MCM_GETCURSEL, 0,
                     reinterpret_cast<LPARAM>(&shown));
      ::SendMessageW(Control(ControlId::calDate), MCM_GETMONTHRANGE, GMR_VISIBLE,
                     reinterpret_cast<LPARAM>(months));
      ::VariantTimeToSystemTime(State().calendarSelection, &model);
      const auto day = [](const SYSTEMTIME& t) {
        return std::to_string(t.wYear) + "-" + std::to_string(t.wMonth) + "-" +
               std::to_string(t.wDay);
      };
      if (day(shown) != day(model) || months[0].wYear != model.wYear ||
          months[0].wMonth != model.wMonth) {
        wrong.push_back(std::string(when) + ": selects " + day(shown) + " in the month of " +
                        day(months[0]) + ", the model " + day(model));
      }
    };
  };
  const Step open = [] { ::SetFocus(Control(ControlId::txtDate)); };
  const Step pick = [] {
    Press(Control(ControlId::calDate), VK_PRIOR);
    Press(Control(ControlId::calDate), VK_RETURN);
  };
  Run({{open, compare("first shown"), pick, open, compare("after a pick")},
       {open, compare("after Cancel")}},
      true);
  EXPECT_TRUE(wrong.empty()) << ::testing::PrintToString(wrong);
}

// Every Tab stop has a name for screen readers, as the platform's accessibility proxy finds
// it: the fields their labels', the buttons their captions, the spinners and the calendar
// their own.
TEST_F(Dialog, EveryTabStopHasAnAccessibleName) {
  const HMODULE oleacc = ::LoadLibraryW(L"oleacc.dll");
  ASSERT_NE(oleacc, nullptr);
  using FromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
  const auto fromWindow = reinterpret_cast<FromWindow>(
      reinterpret_cast<void*>(::GetProcAddress(oleacc, "AccessibleObjectFromWindow")));
  ASSERT_NE(fromWindow, nullptr);
  std::vector<std::pair<std::string, std::wstring>> names;
  Run({{[&] {
    for (const ControlId id : TabOrder()) {
      ComPtr<IAccessible> object;
      win32::UniqueBstr name;
      VARIANT self{};
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      if (SUCCEEDED(fromWindow(Control(id), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                               reinterpret_cast<void**>(object.GetAddressOf())))) {
        object->get_accName(self, name.put());
      }
      names.emplace_back(Name(id), name ? name.get() : L"");
    }
  }}});
  ::FreeLibrary(oleacc);
  for (const auto& [control, name] : names) {
    EXPECT_FALSE(name.empty()) << control << " has no name";
    if (control.starts_with("ud") || control == "calDate") {
      EXPECT_EQ(name, control == "udTime" ? L"Time" : L"Date") << control;
    }
  }
}

// The pixels of a control as it now stands, painted.
std::vector<COLORREF> PixelsOf(HWND control) {
  ::UpdateWindow(control);
  RECT inside{};
  ::GetClientRect(control, &inside);
  const HDC dc = ::GetDC(control);
  const HDC copy = ::CreateCompatibleDC(dc);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(dc, inside.right, inside.bottom);
  const HGDIOBJ old = ::SelectObject(copy, bitmap);
  ::BitBlt(copy, 0, 0, inside.right, inside.bottom, dc, 0, 0, SRCCOPY);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < inside.bottom; ++y) {
    for (int x = 0; x < inside.right; ++x) pixels.push_back(::GetPixel(copy, x, y));
  }
  ::SelectObject(copy, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(copy);
  ::ReleaseDC(control, dc);
  return pixels;
}

// The spinners and the calendar look different while they have the focus.
TEST_F(Dialog, TheSpinnersAndTheCalendarShowTheirFocus) {
  std::vector<std::string> unmarked;
  Run({{[] { ::SetFocus(Control(ControlId::txtDate)); },
        [&] {
          for (const ControlId id : {ControlId::udDate, ControlId::udTime, ControlId::calDate}) {
            ::SetFocus(Control(id));
            const std::vector<COLORREF> focused = PixelsOf(Control(id));
            ::SetFocus(Control(ControlId::Text2));
            if (PixelsOf(Control(id)) == focused) unmarked.push_back(Name(id));
          }
        }}});
  EXPECT_TRUE(unmarked.empty()) << "no focus shown on " << ::testing::PrintToString(unmarked);
}

HMODULE WINAPI NoCommonControls(LPCWSTR name) {
  if (::lstrcmpiW(name, L"comctl32.dll") != 0) return ::LoadLibraryW(name);
  ::SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

// Where the common controls cannot be loaded, Configure fails as a window that cannot be
// made does, and the counter goes on.
TEST_F(Dialog, WithoutTheCommonControlsConfigureFailsAndTheCounterRunsOn) {
  const ImportPatch refuse(VelmoraTestDll(), "kernel32.dll", "LoadLibraryW",
                           reinterpret_cast<const void*>(&NoCommonControls));
  ASSERT_TRUE(refuse.Patched());
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    Initialize(*plugin.Get(), user_.Email());
    Command(*plugin.Get(), L"/xcntenable");
    Outcome outcome;
    CallByName(*plugin.Get(), L"Configure", {}, outcome);
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.exception.scode, static_cast<SCODE>(0x800A0007));
    const VelmoraSeamState state = State();
    EXPECT_TRUE(state.bEnabled && state.timerOn) << "the counter stopped";
  });
}

}  // namespace
}  // namespace velmora::wintest
