// The configuration window: Configure's modal loop, the focus order, the fields that the
// model edits itself, and the window's life across shows. Each test acts from inside the
// modal loop, one step per posted message, the way a user's input arrives.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialog_ids.h"
#include "support.h"

namespace velmora::wintest {
namespace {

using Step = std::function<void()>;

// A function of its own: x86 callbacks are stdcall, which a lambda does not convert to.
BOOL CALLBACK FindDialogWindow(HWND window, LPARAM out) {
  wchar_t name[32] = {};
  ::GetClassNameW(window, name, 32);
  if (::lstrcmpW(name, win32::kDialogWindowClass) != 0) return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}

HWND FindDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialogWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND Control(ControlId control) { return ::GetDlgItem(FindDialog(), win32::ControlWindowId(control)); }

HWND EditOf(ControlId control) {
  COMBOBOXINFO parts{};
  parts.cbSize = sizeof parts;
  const HWND window = Control(control);
  return ::GetComboBoxInfo(window, &parts) ? parts.hwndItem : window;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

std::pair<DWORD, DWORD> SelectionOf(HWND edit) {
  DWORD start = 0;
  DWORD end = 0;
  ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

// The control the keyboard focus is in, by its name.
std::wstring FocusedName() {
  const HWND focused = ::GetFocus();
  for (const ControlInfo& info : Controls()) {
    const HWND control = Control(info.id);
    if (control && (control == focused || ::IsChild(control, focused))) return {info.name.begin(), info.name.end()};
  }
  return L"<none>";
}

// The model's view of a control, through the seam of VelmoraTest.dll.
struct ModelControl {
  std::wstring text;
  LONG selStart = 0;
  LONG selLength = 0;
};
ModelControl Model(ControlId control) {
  VelmoraSeamControl state{};
  const std::wstring name(Info(control).name.begin(), Info(control).name.end());
  EXPECT_HRESULT_SUCCEEDED(Seam<VelmoraSeamGetControlFn>("VelmoraSeamGetControl")(name.c_str(), &state));
  ModelControl model{state.text ? state.text : L"", state.selStart, state.selLength};
  ::SysFreeString(state.text);
  return model;
}

void Press(HWND target, WPARAM key, wchar_t character = 0) {
  ::SendMessageW(target, WM_KEYDOWN, key, 1);
  if (character) ::SendMessageW(target, WM_CHAR, character, 1);
}

// A step that calls this makes the next step wait, with only the dialog's loop running.
thread_local UINT pauseBeforeNextStep = 0;
void PauseBeforeNextStep(UINT milliseconds) { pauseBeforeNextStep = milliseconds; }

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
    window_.reset(::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr));
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::PostMessageW(window_.get(), WM_APP, 0, 0);
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Steps*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_TIMER) {
      ::KillTimer(window, wParam);
      message = WM_APP;
    }
    if (message != WM_APP || !self) return ::DefWindowProcW(window, message, wParam, lParam);
    if (self->next_ < self->steps_.size()) {
      self->steps_[self->next_++]();
      if (const UINT pause = std::exchange(pauseBeforeNextStep, 0)) {
        ::SetTimer(window, 1, pause, nullptr);
      } else {
        ::PostMessageW(window, WM_APP, 0, 0);
      }
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

class Dialog : public testing::Test {
 protected:
  static void SetUpTestSuite() { registration_ = std::make_unique<MachineRegistration>(); }
  static void TearDownTestSuite() { registration_.reset(); }

  static void Call(IDispatch& plugin, const wchar_t* operation, Arguments& arguments) {
    Outcome outcome;
    CallByName(plugin, operation, arguments, outcome);
    ASSERT_HRESULT_SUCCEEDED(outcome.hr) << "calling " << operation;
  }
  // Initialize for a scratch user, then Configure with `steps` run inside its modal loop.
  void Configure(IDispatch& plugin, std::vector<Step> steps) {
    if (!initialized_) {
      Arguments initialize;
      initialize.I4(1).Text(user_.Email().c_str()).Nothing();
      Call(plugin, L"Initialize", initialize);
      initialized_ = true;
    }
    const Steps running(std::move(steps));
    Arguments none;
    Call(plugin, L"Configure", none);
  }
  static bool Shown() {
    const HWND dialog = FindDialog();
    return dialog && ::IsWindowVisible(dialog);
  }
  static void Click(ControlId control) { ::SendMessageW(Control(control), BM_CLICK, 0, 0); }

  ScratchUser user_{L"dialog"};
  bool initialized_ = false;

 private:
  static inline std::unique_ptr<MachineRegistration> registration_;
};

TEST_F(Dialog, TabMovesTheFocusInTheFormsOrderAndTheDateFieldOpensTheCalendar) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    std::vector<std::wstring> visited;
    std::vector<Step> steps{[&] { visited.push_back(FocusedName()); }};
    for (int tab = 0; tab < 15; ++tab) {
      steps.emplace_back([] { ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 1); });
      steps.emplace_back([&] { visited.push_back(FocusedName()); });
    }
    steps.emplace_back([] { Click(ControlId::cmdCancel); });
    Configure(*plugin.Get(), steps);
    // The calendar is hidden until the date field gains the focus; then it takes its turn,
    // and the combined field under it is passed over.
    const std::vector<std::wstring> expected{L"cmdOk",     L"cmdCancel", L"Text2",   L"Combo1",  L"cmbDelay",
                                             L"cmbRepeat", L"txtDone",   L"udTime",  L"txtTime", L"txtDate",
                                             L"udDate",    L"calDate",   L"cmdEnable", L"Text9", L"cmdOk",
                                             L"cmdCancel"};
    EXPECT_EQ(visited, expected);
  });
}

TEST_F(Dialog, KeysInTheTimeFieldChangeOnlyWhatTheModelChanges) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    Configure(*plugin.Get(), {[] {
                                const HWND field = Control(ControlId::txtTime);
                                ::SetFocus(field);
                                const struct {
                                  WPARAM key;
                                  wchar_t character;
                                } keys[] = {{VK_HOME, 0}, {VK_END, 0},   {VK_DELETE, 0}, {VK_BACK, L'\b'},
                                            {'X', L'x'},   {VK_LEFT, 0}, {'7', L'7'},     {VK_RIGHT, 0}};
                                for (const auto& key : keys) {
                                  Press(field, key.key, key.character);
                                  const ModelControl model = Model(ControlId::txtTime);
                                  EXPECT_EQ(TextOf(field), model.text) << "after key " << key.key;
                                  const auto [start, end] = SelectionOf(field);
                                  EXPECT_EQ(static_cast<LONG>(start), model.selStart) << "after key " << key.key;
                                  EXPECT_EQ(static_cast<LONG>(end - start), model.selLength) << "after key " << key.key;
                                }
                                // Left went to the minutes, where the 7 went in.
                                EXPECT_EQ(TextOf(field).substr(3, 2), L"07");
                              },
                              [] { Click(ControlId::cmdCancel); }});
  });
}

TEST_F(Dialog, DelayDigitsAreDiscardedUntilOwnDelayIsChosenFromTheList) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    VelmoraSeamState state{};
    Configure(*plugin.Get(), {[] {
                                Press(EditOf(ControlId::cmbDelay), '4', L'4');
                                Press(EditOf(ControlId::cmbDelay), '5', L'5');
                                EXPECT_EQ(TextOf(Control(ControlId::cmbDelay)), L"1 Minute");
                                // Down to the last row with the keyboard, as a user chooses it.
                                ::SetFocus(Control(ControlId::cmbDelay));
                                for (int row = 0; row < 20; ++row) Press(EditOf(ControlId::cmbDelay), VK_DOWN);
                              },
                              [] {
                                // The list wrote its row's text after the choice; the field shows the
                                // prompt again, selected, so the digits replace it.
                                const HWND edit = EditOf(ControlId::cmbDelay);
                                EXPECT_EQ(TextOf(edit), L"Enter Number of Seconds");
                                EXPECT_EQ(SelectionOf(edit), (std::pair<DWORD, DWORD>{0, 23}));
                                Press(edit, '4', L'4');
                                Press(edit, '5', L'5');
                                Press(edit, VK_RETURN, L'\r');
                                EXPECT_EQ(TextOf(edit), L"45");
                              },
                              [&] {
                                ASSERT_HRESULT_SUCCEEDED(Seam<VelmoraSeamGetStateFn>("VelmoraSeamGetState")(&state));
                                Click(ControlId::cmdCancel);
                              }});
    EXPECT_STREQ(state.sDelayCode, L"45");
    EXPECT_EQ(state.nDelaySeconds, 45);
    ::SysFreeString(state.sNick);
    ::SysFreeString(state.sDelayCode);
  });
}

// A fraction typed with this machine's own decimal separator keeps its value through OK and a
// new plug-in: stored with a point, shown again with the user's separator.
TEST_F(Dialog, AFractionTypedWithTheUsersDecimalSeparatorSurvivesOkAndANewPlugin) {
  wchar_t separator[8] = {};
  ASSERT_GT(::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8), 1);
  const std::wstring typed = std::wstring{L"7"} + separator[0] + L"5";
  const auto chooseOwnDelay = [] {
    ::SendMessageW(Control(ControlId::Combo1), CB_SETCURSEL, 0, 0);
    ::SendMessageW(FindDialog(), WM_COMMAND, MAKEWPARAM(win32::ControlWindowId(ControlId::Combo1), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Control(ControlId::Combo1)));
    ::SetFocus(Control(ControlId::cmbDelay));
    for (int row = 0; row < 20; ++row) Press(EditOf(ControlId::cmbDelay), VK_DOWN);
  };
  const auto typeDelay = [&] {
    for (const wchar_t c : typed) {
      Press(EditOf(ControlId::cmbDelay), c == L',' ? VK_OEM_COMMA : c == L'.' ? VK_OEM_PERIOD : c, c);
    }
    Press(EditOf(ControlId::cmbDelay), VK_RETURN, L'\r');
    Click(ControlId::cmdOk);
  };
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    Configure(*plugin.Get(), {chooseOwnDelay, typeDelay});
  });
  EXPECT_EQ(user_.Read(L"Interval", L"VelmoraTest.dll"), L"7.5") << L"typed " << typed;

  initialized_ = false;
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    VelmoraSeamState state{};
    std::wstring shown;
    Configure(*plugin.Get(), {[&] {
      shown = TextOf(Control(ControlId::cmbDelay));
      ASSERT_HRESULT_SUCCEEDED(Seam<VelmoraSeamGetStateFn>("VelmoraSeamGetState")(&state));
      Click(ControlId::cmdCancel);
    }});
    EXPECT_EQ(shown, typed + L" Seconds");
    EXPECT_STREQ(state.sDelayCode, L"7.5");
    EXPECT_EQ(state.nDelaySeconds, 8);
    ::SysFreeString(state.sNick);
    ::SysFreeString(state.sDelayCode);
  });
}

void ChooseCountUp() {
  ::SendMessageW(Control(ControlId::Combo1), CB_SETCURSEL, 0, 0);
  ::SendMessageW(FindDialog(), WM_COMMAND, MAKEWPARAM(win32::ControlWindowId(ControlId::Combo1), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Control(ControlId::Combo1)));
}

// A target an earlier version stored in this machine's own forms reads as it was meant; OK
// stores it in forms every regional setting reads the same, and the next plug-in reads those
// as the same day and time, shown again in this machine's forms.
TEST_F(Dialog, OkStoresTheTargetInFixedFormsAndAnEarlierRegionalTargetStillReads) {
  SYSTEMTIME day{};
  day.wYear = 2026;
  day.wMonth = 12;
  day.wDay = 1;
  DATE date = 0;
  ASSERT_TRUE(::SystemTimeToVariantTime(&day, &date));
  const LONG seconds = 20 * 3600 + 5 * 60;
  const auto regional = [](DATE value) {
    win32::UniqueBstr text;
    EXPECT_HRESULT_SUCCEEDED(::VarBstrFromDate(value, LOCALE_USER_DEFAULT, 0, text.put()));
    return std::wstring{text.get() ? text.get() : L""};
  };
  const std::wstring key = user_.SettingsKey(L"VelmoraTest.dll");
  for (const auto& [name, text] : {std::pair{L"ToDate", regional(date)}, std::pair{L"ToTime", regional(seconds / 86400.0)}}) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, text.c_str(),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  for (const char* run : {"the earlier regional texts", "the texts OK stored"}) {
    initialized_ = false;
    InFreshApartment([&] {
      const ComPtr<IDispatch> plugin = CreateWithSeam();
      ASSERT_NE(plugin, nullptr);
      VelmoraSeamState state{};
      std::wstring shown;
      Configure(*plugin.Get(), {[&] {
        ASSERT_HRESULT_SUCCEEDED(Seam<VelmoraSeamGetStateFn>("VelmoraSeamGetState")(&state));
        shown = TextOf(Control(ControlId::txtDate));
        ChooseCountUp();
        Click(ControlId::cmdOk);
      }});
      EXPECT_EQ(state.dTargetDate, date) << "reading " << run;
      EXPECT_EQ(std::lround(state.dTargetTime * 86400), seconds) << "reading " << run;
      EXPECT_EQ(shown, regional(date)) << "reading " << run;
      ::SysFreeString(state.sNick);
      ::SysFreeString(state.sDelayCode);
    });
    EXPECT_EQ(user_.Read(L"ToDate", L"VelmoraTest.dll"), L"2026-12-01") << "after " << run;
    EXPECT_EQ(user_.Read(L"ToTime", L"VelmoraTest.dll"), L"20:05:00") << "after " << run;
  }
}

// An earlier version stored a typed fraction with the user's decimal separator. Where that
// is a comma, "2,5" is 2.5 s and OK writes it with a point; elsewhere it is 2 s and stays.
TEST_F(Dialog, OkWritesADelayCodeStoredWithTheUsersDecimalCommaWithAPoint) {
  wchar_t separator[8] = {};
  ASSERT_GT(::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8), 1);
  const bool comma = separator[0] == L',';
  const wchar_t code[] = L"2,5";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, user_.SettingsKey(L"VelmoraTest.dll").c_str(), L"Interval", REG_SZ,
                              code, sizeof code),
            ERROR_SUCCESS);
  std::wstring shown;
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    Configure(*plugin.Get(), {[] { Click(ControlId::cmdCancel); }});
    Configure(*plugin.Get(), {[&] {
      shown = TextOf(Control(ControlId::cmbDelay));
      ChooseCountUp();
      Click(ControlId::cmdOk);
    }});
  });
  EXPECT_EQ(shown, comma ? L"2,5 Seconds" : L"2 Seconds");
  EXPECT_EQ(user_.Read(L"Interval", L"VelmoraTest.dll"), comma ? L"2.5" : L"2,5") << L"separator " << separator;
}

TEST_F(Dialog, CloseBoxOkAndCancelHideTheWindowAndTheNextConfigureShowsTheSameOne) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    HWND first = nullptr;
    const auto leave = [&](const char* how, const Step& leaving) {
      HWND shown = nullptr;
      Configure(*plugin.Get(), {[&] {
                                  shown = FindDialog();
                                  EXPECT_TRUE(::IsWindowVisible(shown)) << how;
                                  ::SendMessageW(Control(ControlId::Combo1), CB_SETCURSEL, 1, 0);
                                  ::SendMessageW(shown, WM_COMMAND, MAKEWPARAM(win32::ControlWindowId(ControlId::Combo1), CBN_SELCHANGE),
                                                 reinterpret_cast<LPARAM>(Control(ControlId::Combo1)));
                                },
                                leaving});
      // Configure returned: the window is hidden, not destroyed, and it is the first one.
      EXPECT_TRUE(::IsWindow(shown)) << how;
      EXPECT_FALSE(::IsWindowVisible(shown)) << how;
      EXPECT_FALSE(Shown()) << how;
      if (!first) first = shown;
      EXPECT_EQ(shown, first) << how;
    };
    leave("close box", [] { ::SendMessageW(FindDialog(), WM_SYSCOMMAND, SC_CLOSE, 0); });
    leave("OK", [] { Click(ControlId::cmdOk); });
    EXPECT_EQ(user_.Read(L"Type"), L"2");
    leave("Cancel", [] { Click(ControlId::cmdCancel); });
  });
}

TEST_F(Dialog, WindowHasItsCaptionSizeAndTheCommonControlsVersion6) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    Configure(*plugin.Get(), {[] {
                                const HWND dialog = FindDialog();
                                EXPECT_EQ(TextOf(dialog), L"Zorvane");
                                const HDC screen = ::GetDC(nullptr);
                                const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
                                ::ReleaseDC(nullptr, screen);
                                RECT client{};
                                ::GetClientRect(dialog, &client);
                                EXPECT_EQ(client.right, ::MulDiv(181, dpi, 96));
                                EXPECT_EQ(client.bottom, ::MulDiv(536, dpi, 96));
                                EXPECT_EQ(::GetWindow(dialog, GW_OWNER), nullptr);
                                // Version 6 of the standard controls lives in comctl32, the
                                // classic ones in user32.
                                HMODULE owner = nullptr;
                                const auto procedure = ::GetClassLongPtrW(Control(ControlId::cmdOk), GCLP_WNDPROC);
                                ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                     reinterpret_cast<LPCWSTR>(procedure), &owner);
                                EXPECT_EQ(owner, ::GetModuleHandleW(L"comctl32.dll"));
                                EXPECT_FALSE(::IsWindowVisible(Control(ControlId::calDate)));
                              },
                              [] { Click(ControlId::cmdCancel); }});
  });
}

TEST_F(Dialog, TheRepeatRowsLieBelowTheOpenCalendarAndTellTheModelEveryChange) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    const auto rectOf = [](ControlId control) {
      RECT rect{};
      ::GetWindowRect(Control(control), &rect);
      return rect;
    };
    Configure(*plugin.Get(), {[&] {
                                EXPECT_LE(rectOf(ControlId::calDate).bottom, rectOf(ControlId::Label13).top);
                                EXPECT_LE(rectOf(ControlId::cmbRepeat).bottom, rectOf(ControlId::Label14).top);
                                EXPECT_LE(rectOf(ControlId::txtDone).bottom, rectOf(ControlId::Label1).top);
                                EXPECT_EQ(TextOf(Control(ControlId::Label13)), L"Repeat");
                                EXPECT_EQ(TextOf(Control(ControlId::cmbRepeat)), L"Once");
                                EXPECT_EQ(::SendMessageW(Control(ControlId::cmbRepeat), CB_GETCOUNT, 0, 0), 5);
                                ::SetFocus(Control(ControlId::cmbRepeat));
                                Press(Control(ControlId::cmbRepeat), VK_DOWN);
                                Press(Control(ControlId::cmbRepeat), VK_DOWN);
                              },
                              [] {
                                EXPECT_EQ(TextOf(Control(ControlId::cmbRepeat)), L"Every week");
                                EXPECT_EQ(Model(ControlId::cmbRepeat).text, L"Every week");
                                const HWND done = Control(ControlId::txtDone);
                                ::SetFocus(done);
                                ::SendMessageW(done, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"Done %d"));
                              },
                              [] {
                                EXPECT_EQ(Model(ControlId::txtDone).text, L"Done %d");
                                Click(ControlId::cmdCancel);
                              }});
    // Cancel put the stored row and text back into the window too.
    Configure(*plugin.Get(), {[] {
                                EXPECT_EQ(TextOf(Control(ControlId::cmbRepeat)), L"Once");
                                EXPECT_EQ(TextOf(Control(ControlId::txtDone)), L"");
                                Click(ControlId::cmdCancel);
                              }});
  });
}

TEST_F(Dialog, TypingInsideTheTemplateKeepsTheCaretWhileThePreviewFollows) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    Configure(*plugin.Get(), {[] {
                                const HWND field = Control(ControlId::Text2);
                                ::SetFocus(field);
                                ::SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"[ds] left"));
                                ::SendMessageW(field, EM_SETSEL, 0, 0);
                                Press(field, '5', L'%');
                                Press(field, 'S', L's');
                                EXPECT_EQ(TextOf(field), L"%s[ds] left");
                                EXPECT_EQ(SelectionOf(field), (std::pair<DWORD, DWORD>{2, 2}));
                                EXPECT_EQ(Model(ControlId::Text2).text, L"%s[ds] left");
                                const std::wstring preview = TextOf(Control(ControlId::Text9));
                                EXPECT_EQ(preview, Model(ControlId::Text9).text);
                                // No day tag: the day bracket shows its text whatever the clock reads.
                                EXPECT_TRUE(preview.ends_with(L"s left")) << "preview \"" << preview.c_str() << '"';
                              },
                              [] { Click(ControlId::cmdCancel); }});
  });
}

TEST_F(Dialog, AccessKeysClickOkAndCancel) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    for (const wchar_t key : {L'c', L'o'}) {
      Configure(*plugin.Get(), {[] {
                                  // A count type, so that OK does not stop at its question.
                                  ::SendMessageW(Control(ControlId::Combo1), CB_SETCURSEL, 0, 0);
                                  ::SendMessageW(FindDialog(), WM_COMMAND,
                                                 MAKEWPARAM(win32::ControlWindowId(ControlId::Combo1), CBN_SELCHANGE),
                                                 reinterpret_cast<LPARAM>(Control(ControlId::Combo1)));
                                  ::SetFocus(Control(ControlId::Text2));
                                },
                                [key] {
                                  constexpr LPARAM kAltDown = LPARAM{1} << 29;
                                  ::PostMessageW(::GetFocus(), WM_SYSCHAR, key, kAltDown | 1);
                                }});
      EXPECT_FALSE(Shown()) << "Alt+" << static_cast<char>(key);
    }
    // Cancel stored nothing; OK stored the count type.
    EXPECT_EQ(user_.Read(L"Type"), L"1");
  });
}

TEST_F(Dialog, TheCounterKeepsPublishingWhileTheWindowIsShown) {
  const std::wstring enabled = L"True";
  const std::wstring sixSeconds = L"6s";
  for (const auto& [name, value] : {std::pair{L"Enable", &enabled}, std::pair{L"Interval", &sixSeconds}}) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, user_.SettingsKey().c_str(), name, REG_SZ, value->c_str(),
                                static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  InFreshApartment([&] {
    const NameCatcher host;
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    std::size_t beforeTheTick = 0;
    Configure(*plugin.Get(), {[&] {
                                beforeTheTick = host.Names().size();
                                // One refresh period of six seconds, with the window's loop alone running.
                                PauseBeforeNextStep(8000);  // a margin for a loaded machine
                              },
                              [] { Click(ControlId::cmdCancel); }});
    EXPECT_EQ(beforeTheTick, 1u) << "Initialize publishes at once";
    // Cancel's reload publishes too; the tick came before it.
    EXPECT_GE(host.Names().size(), beforeTheTick + 2) << "no tick while the window was shown";
  });
}

// The host's own windows stay usable while the window is shown, and the host may call the
// plug-in from them: the command applies, and the open window shows the new template.
TEST_F(Dialog, AHostCommandDuringConfigureAppliesAndTheOpenWindowShowsItsTemplate) {
  InFreshApartment([&] {
    const NameCatcher host;
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    const auto command = [&](const wchar_t* name, const wchar_t* argument) {
      win32::UniqueBstr result{::SysAllocString(L"")};
      Arguments arguments;
      arguments.Text(name).Text(argument).Nothing().TextRef(result.addressof());
      Outcome outcome;
      CallByName(*plugin.Get(), L"ParseCommand", arguments, outcome);
      EXPECT_HRESULT_SUCCEEDED(outcome.hr) << "ParseCommand " << name;
      EXPECT_EQ(outcome.result.vt, VT_BOOL);
      EXPECT_EQ(outcome.result.boolVal, VARIANT_TRUE) << "ParseCommand " << name;
    };
    std::wstring captionBefore;
    std::size_t namesBefore = 0;
    Configure(*plugin.Get(), {[&] {
                                const HWND dialog = FindDialog();
                                ASSERT_NE(dialog, nullptr);
                                EXPECT_EQ(::GetWindow(dialog, GW_OWNER), nullptr);
                                EXPECT_TRUE(::IsWindowEnabled(host.Window())) << "the window disabled the host's";
                                captionBefore = TextOf(Control(ControlId::cmdEnable));
                                namesBefore = host.Names().size();
                                command(L"/xcntsetnick", L"during %d day[ds]");
                                command(L"/xcntenable", L"");
                                command(L"/xcntdisable", L"");
                              },
                              [&] {
                                EXPECT_EQ(TextOf(Control(ControlId::Text2)), L"during %d day[ds]");
                                EXPECT_EQ(TextOf(Control(ControlId::cmdEnable)), captionBefore)
                                    << "the commands left the button's caption alone";
                                ASSERT_GE(host.Names().size(), namesBefore + 2);
                                EXPECT_EQ(host.Names()[namesBefore].text.substr(0, 7), L"during ");
                                Click(ControlId::cmdCancel);
                              }});
  });
  EXPECT_EQ(user_.Read(L"Nick"), L"during %d day[ds]") << "Cancel's reload lost the stored command";
  EXPECT_EQ(user_.Read(L"Enable"), L"False");
}

// A failure where the user acts is shown to the user, in a box titled Velmora, and the
// window goes on working.
TEST_F(Dialog, AFailureOfAUserActionIsShownInAVelmoraMessageBox) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    std::wstring title;
    std::wstring text;
    Configure(*plugin.Get(),
              {[] {
                 ASSERT_HRESULT_SUCCEEDED(Seam<VelmoraSeamFailNextNameFn>("VelmoraSeamFailNextName")(5, L"No host window"));
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
                 Click(ControlId::cmdCancel);
               }});
    EXPECT_EQ(title, L"Velmora");
    EXPECT_EQ(text, L"No host window");
  });
}

// The keyboard alone, with real key messages through the window's loop: Tab into the date
// field opens the calendar; Tab reaches it; its arrows and Enter pick a date; Esc closes it
// unchanged; the spinner's arrow keys open it again; and while it is open, Tab never lands on
// a control it covers.
TEST_F(Dialog, TheKeyboardAlonePicksADateInTheCalendarAndLeavesIt) {
  const auto key = [](WPARAM code, bool shift = false) {
    return [code, shift] {
      // Shift's state is read from the thread's key state, as the loop sees it.
      BYTE keys[256] = {};
      ::GetKeyboardState(keys);
      keys[VK_SHIFT] = shift ? 0x80 : 0;
      ::SetKeyboardState(keys);
      ::PostMessageW(::GetFocus(), WM_KEYDOWN, code, 1);
    };
  };
  const auto calendarDay = [] {
    SYSTEMTIME day{};
    ::SendMessageW(Control(ControlId::calDate), MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&day));
    return std::to_wstring(day.wYear) + L"-" + std::to_wstring(day.wMonth) + L"-" + std::to_wstring(day.wDay);
  };
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    std::vector<std::wstring> visited;
    const Step record = [&] { visited.push_back(FocusedName()); };
    std::wstring dateBefore;
    std::wstring dateAfter;
    DATE targetAfter = 0;
    std::vector<Step> steps{[] { ::SetFocus(Control(ControlId::Text2)); }};
    // Text2, Combo1, cmbDelay, cmbRepeat, txtDone, udTime, txtTime, then the date field, which
    // opens the calendar.
    for (int tab = 0; tab < 7; ++tab) steps.insert(steps.end(), {key(VK_TAB), record});
    steps.insert(steps.end(), {[&] {
                                 EXPECT_TRUE(::IsWindowVisible(Control(ControlId::calDate)));
                                 dateBefore = TextOf(Control(ControlId::txtDate));
                               },
                               key(VK_TAB), key(VK_TAB), record,
                               // From 2005-03-13 a week on, then a day back.
                               key(VK_DOWN), key(VK_LEFT),
                               [&] { EXPECT_EQ(calendarDay(), L"2005-3-19"); },
                               key(VK_RETURN),
                               [&] {
                                 EXPECT_FALSE(::IsWindowVisible(Control(ControlId::calDate))) << "Enter left it open";
                                 dateAfter = TextOf(Control(ControlId::txtDate));
                                 VelmoraSeamState state{};
                                 ASSERT_HRESULT_SUCCEEDED(Seam<VelmoraSeamGetStateFn>("VelmoraSeamGetState")(&state));
                                 targetAfter = state.dTargetDate;
                                 ::SysFreeString(state.sNick);
                                 ::SysFreeString(state.sDelayCode);
                               },
                               record,
                               // The spinner's Up key opens it again; Esc closes it unchanged.
                               key(VK_UP), record, key(VK_TAB), record, key(VK_RIGHT), key(VK_ESCAPE),
                               [&] {
                                 EXPECT_FALSE(::IsWindowVisible(Control(ControlId::calDate))) << "Esc left it open";
                                 EXPECT_EQ(TextOf(Control(ControlId::txtDate)), dateAfter) << "Esc changed the date";
                               },
                               record, key(VK_DOWN)});
    // Open, once round the whole order and back one: the covered rows are passed over.
    for (int tab = 0; tab < 12; ++tab) steps.insert(steps.end(), {key(VK_TAB), record});
    steps.insert(steps.end(), {key(VK_TAB, true), record, key(VK_TAB, true), record,
                               [] {
                                 BYTE keys[256] = {};
                                 ::GetKeyboardState(keys);
                                 keys[VK_SHIFT] = 0;
                                 ::SetKeyboardState(keys);
                                 Click(ControlId::cmdCancel);
                               }});
    Configure(*plugin.Get(), steps);
    SYSTEMTIME picked{2005, 3, 0, 19, 0, 0, 0, 0};
    DATE expected = 0;
    ::SystemTimeToVariantTime(&picked, &expected);
    EXPECT_EQ(targetAfter, expected) << "the target did not become 2005-03-19";
    EXPECT_NE(dateAfter, dateBefore);
    const std::vector<std::wstring> order{
        L"Combo1", L"cmbDelay", L"cmbRepeat", L"txtDone", L"udTime", L"txtTime", L"txtDate", L"calDate", L"udDate",
        L"udDate", L"calDate", L"udDate",
        // The calendar is open again: txtDateTime, Combo1 and cmbDelay lie under it; the repeat
        // rows below it do not.
        L"calDate", L"cmdEnable", L"Text9", L"cmdOk", L"cmdCancel", L"Text2", L"cmbRepeat", L"txtDone", L"udTime",
        L"txtTime", L"txtDate", L"udDate", L"txtDate", L"txtTime"};
    EXPECT_EQ(visited, order);
  });
}

// A click on the date's spinner opens the calendar over the list that has the focus: the
// focus goes to the calendar, where the keyboard user can go on.
TEST_F(Dialog, TheCalendarOpenedByAClickTakesTheFocusFromAControlItCovers) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    std::wstring focused;
    Configure(*plugin.Get(), {[] {
                                ::SetFocus(Control(ControlId::cmbDelay));
                                RECT arrows{};
                                ::GetClientRect(Control(ControlId::udDate), &arrows);
                                const LPARAM upArrow = MAKELPARAM(arrows.right / 2, arrows.bottom / 4);
                                ::SendMessageW(Control(ControlId::udDate), WM_LBUTTONDOWN, MK_LBUTTON, upArrow);
                                ::SendMessageW(Control(ControlId::udDate), WM_LBUTTONUP, 0, upArrow);
                              },
                              [&] { focused = FocusedName(); },
                              [] { Click(ControlId::cmdCancel); }});
    EXPECT_EQ(focused, L"calDate");
  });
}

TEST_F(Dialog, EnterOnAFocusedButtonClicksIt) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    std::wstring captions[2];
    for (const ControlId button : {ControlId::cmdCancel, ControlId::cmdOk}) {
      Configure(*plugin.Get(), {[] {
                                  // A count type, so that OK does not stop at its question.
                                  ::SendMessageW(Control(ControlId::Combo1), CB_SETCURSEL, 1, 0);
                                  ::SendMessageW(FindDialog(), WM_COMMAND,
                                                 MAKEWPARAM(win32::ControlWindowId(ControlId::Combo1), CBN_SELCHANGE),
                                                 reinterpret_cast<LPARAM>(Control(ControlId::Combo1)));
                                  ::SetFocus(Control(ControlId::cmdEnable));
                                },
                                [&] {
                                  captions[0] = TextOf(Control(ControlId::cmdEnable));
                                  ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
                                },
                                [&] {
                                  captions[1] = TextOf(Control(ControlId::cmdEnable));
                                  // Enter again: the counter goes off as it was.
                                  ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
                                },
                                [button] {
                                  ::SetFocus(Control(button));
                                  ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
                                }});
      const std::string name(Info(button).name.begin(), Info(button).name.end());
      EXPECT_FALSE(Shown()) << "Enter on " << name << " left the window shown";
      EXPECT_NE(captions[0], captions[1]) << "Enter on cmdEnable did not click it";
    }
    // Cancel stored no count type; OK stored Count Down.
    EXPECT_EQ(user_.Read(L"Type"), L"2");
  });
}

TEST_F(Dialog, F1AnywhereInTheWindowShowsTheHelp) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
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
    steps.emplace_back([] { Click(ControlId::cmdCancel); });
    Configure(*plugin.Get(), steps);
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Help!", L"Help!", L"Help!"}));
  });
}

// Screen readers name a field by the label just before it in window order.
TEST_F(Dialog, EachFieldComesJustAfterItsLabel) {
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    Configure(*plugin.Get(), {[] {
                                const struct {
                                  ControlId field;
                                  const wchar_t* label;
                                } pairs[] = {{ControlId::txtDate, L"Date"},
                                             {ControlId::txtTime, L"Time"},
                                             {ControlId::txtDateTime, L"Final Result of Time & Date"},
                                             {ControlId::Combo1, L"Count Type"},
                                             {ControlId::cmbDelay, L"Delay for each change"},
                                             {ControlId::cmbRepeat, L"Repeat"},
                                             {ControlId::txtDone, L"Text at the target"},
                                             {ControlId::Text9, L"Preview"}};
                                for (const auto& pair : pairs) {
                                  const HWND before = ::GetWindow(Control(pair.field), GW_HWNDPREV);
                                  wchar_t className[32] = {};
                                  ::GetClassNameW(before, className, 32);
                                  std::wstring text = TextOf(before);
                                  // The label shows "&&" as one "&".
                                  if (const auto at = text.find(L"&&"); at != std::wstring::npos) text.erase(at, 1);
                                  const std::string field(Info(pair.field).name.begin(), Info(pair.field).name.end());
                                  EXPECT_EQ(text, pair.label) << "before " << field;
                                  EXPECT_EQ(::lstrcmpiW(className, L"Static"), 0) << "before " << field;
                                }
                                EXPECT_EQ(::GetWindow(Control(ControlId::Text2), GW_HWNDPREV), Control(ControlId::Label2));
                              },
                              [] { Click(ControlId::cmdCancel); }});
  });
}

// What does not fit in the shown window: a text cut by its control, a control outside the
// window or over another; each as one line naming the control and the sizes.
std::vector<std::string> Misfits() {
  std::vector<std::string> misfits;
  const HWND dialog = FindDialog();
  RECT client{};
  ::GetClientRect(dialog, &client);
  const auto say = [&](ControlId id, const std::string& what, LONG needed, LONG given) {
    misfits.push_back(std::string(Info(id).name.begin(), Info(id).name.end()) + ": " + what + " needs " +
                      std::to_string(needed) + " px, has " + std::to_string(given));
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
    if (where.bottom > client.bottom) say(info.id, "the window's height", where.bottom, client.bottom);
    if (where.right > client.right) say(info.id, "the window's width", where.right, client.right);
    const HDC dc = ::GetDC(control);
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
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
        if (bounds.bottom + 6 > inside.bottom) say(info.id, "its caption", bounds.bottom + 6, inside.bottom);
        break;
      }
      case ControlKind::kTextBox:
      case ControlKind::kLockedTextBox:
      case ControlKind::kList: {
        RECT lines{};
        ::SendMessageW(EditOf(info.id), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&lines));
        if (lines.bottom - lines.top < metrics.tmHeight) say(info.id, "its line", metrics.tmHeight, lines.bottom - lines.top);
        break;
      }
      case ControlKind::kCalendar: {
        RECT month{};
        ::SendMessageW(control, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&month));
        const auto today = static_cast<LONG>(::SendMessageW(control, MCM_GETMAXTODAYWIDTH, 0, 0));
        if (std::max(month.right, today) > inside.right) say(info.id, "a month and its Today line", std::max(month.right, today), inside.right);
        if (month.bottom > inside.bottom) say(info.id, "a month's height", month.bottom, inside.bottom);
        break;
      }
      default:
        break;
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    // The open calendar lies over the rows below the date on purpose.
    if (info.kind != ControlKind::kCalendar) {
      for (const auto& [other, itsPlace] : placed) {
        RECT overlap{};
        if (::IntersectRect(&overlap, &where, &itsPlace)) {
          misfits.push_back(std::string(Info(other).name.begin(), Info(other).name.end()) + " and " +
                            std::string(info.name.begin(), info.name.end()) + " overlap");
        }
      }
      placed.emplace_back(info.id, where);
    }
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
    const HDC screen = ::GetDC(nullptr);
    for (LONG height = -8; height > -40; --height) {
      changed.lfMessageFont.lfHeight = height;
      const HFONT font = ::CreateFontIndirectW(&changed.lfMessageFont);
      const HGDIOBJ old = ::SelectObject(screen, font);
      TEXTMETRICW metrics{};
      ::GetTextMetricsW(screen, &metrics);
      ::SelectObject(screen, old);
      ::DeleteObject(font);
      lines_ = metrics.tmHeight;
      if (lines_ >= lineHeight) break;
    }
    ::ReleaseDC(nullptr, screen);
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

// Every text fits its control, with the calendar shut and open, under the system's message
// font, under one with 16-px lines (Segoe UI 9 pt, Windows' own), and at 192 DPI, where a
// host aware of each monitor's DPI moves the window.
TEST_F(Dialog, EveryTextFitsItsControlUnderLargerFontsAndAt192Dpi) {
  for (const LONG lines : {0, 16}) {
    std::optional<MessageFont> font;
    if (lines) {
      font.emplace(lines);
      ASSERT_GE(font->Lines(), lines) << "no face of the message font's family has " << lines << "-px lines";
    }
    InFreshApartment([&] {
      const ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr);
      const std::string under = lines ? "with " + std::to_string(lines) + "-px lines" : "with the system's font";
      int systemDpi = 96;
      const auto check = [&](const std::string& how) {
        return [&, how] {
          for (const std::string& misfit : Misfits()) ADD_FAILURE() << under << ", " << how << ": " << misfit;
        };
      };
      const auto changeDpi = [&](int dpi) {
        return [&, dpi] {
          const HWND dialog = FindDialog();
          RECT suggested{};
          ::GetWindowRect(dialog, &suggested);
          ::SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
          RECT client{};
          ::GetClientRect(dialog, &client);
          EXPECT_EQ(client.right, ::MulDiv(181, dpi, 96)) << under << " at " << dpi << " DPI";
          EXPECT_GE(client.bottom, ::MulDiv(440, dpi, 96)) << under << " at " << dpi << " DPI";
        };
      };
      Configure(*plugin.Get(),
                {[&] {
                   const HDC screen = ::GetDC(nullptr);
                   systemDpi = ::GetDeviceCaps(screen, LOGPIXELSY);
                   ::ReleaseDC(nullptr, screen);
                 },
                 check("calendar shut"), [] { ::SetFocus(Control(ControlId::txtDate)); }, check("calendar open"),
                 changeDpi(192), check("calendar open at 192 DPI"),
                 [] { ::SendMessageW(Control(ControlId::calDate), WM_KEYDOWN, VK_ESCAPE, 1); },
                 check("calendar shut at 192 DPI"), [&] { changeDpi(systemDpi)(); },
                 [] { Click(ControlId::cmdCancel); }});
    });
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
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    std::vector<std::string> unmarked;
    Configure(*plugin.Get(), {[] { ::SetFocus(Control(ControlId::txtDate)); },
                              [&] {
                                for (const ControlId id : {ControlId::udDate, ControlId::udTime, ControlId::calDate}) {
                                  ::SetFocus(Control(id));
                                  const std::vector<COLORREF> focused = PixelsOf(Control(id));
                                  ::SetFocus(Control(ControlId::Text2));
                                  if (PixelsOf(Control(id)) == focused) unmarked.emplace_back(Info(id).name.begin(), Info(id).name.end());
                                }
                              },
                              [] { Click(ControlId::cmdCancel); }});
    EXPECT_TRUE(unmarked.empty()) << "no focus shown on " << ::testing::PrintToString(unmarked);
  });
}

}  // namespace
}  // namespace velmora::wintest
