// The nickname's way to the host: "Pelmar_SetName" broadcast with a BSTR and 1.
#include <gtest/gtest.h>

#include <chrono>

#include "name_channel_win32.h"
#include "support.h"
#include "timer_win32.h"

namespace velmora::wintest {
namespace {

constexpr char16_t kNickname[] = u"Z\u00e4hler \u2713 \U0001F600 \"q\"";
constexpr wchar_t kNicknameWide[] = L"Z\u00e4hler \u2713 \U0001F600 \"q\"";

TEST(NameChannel, TheHostsWindowGetsTheExactTextWithOneAndTheAnswerIsTrue) {
  NameCatcher host;
  win32::BroadcastNameChannel channel;
  EXPECT_TRUE(channel.SetName(kNickname));
  ASSERT_EQ(host.Names().size(), 1u);
  EXPECT_EQ(host.Names()[0].text, kNicknameWide);
  EXPECT_EQ(host.Names()[0].lParam, 1);
}

TEST(NameChannel, AHungWindowElsewhereDoesNotHoldTheSenderForever) {
  // A window on another thread that stops reading its messages.
  HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Thread hung([&] {
    NameCatcher stuck;
    ::SetEvent(ready);
    ::WaitForSingleObject(release, 60000);
  });
  ::WaitForSingleObject(ready, 10000);

  NameCatcher host;
  win32::BroadcastNameChannel channel;
  const auto start = std::chrono::steady_clock::now();
  channel.SetName(u"still here");
  const auto waited = std::chrono::steady_clock::now() - start;
  ::SetEvent(release);
  hung.Join();
  ::CloseHandle(release);
  ::CloseHandle(ready);

  EXPECT_LT(waited, std::chrono::seconds(20));
  ASSERT_EQ(host.Names().size(), 1u) << "the host's own window was skipped";
  EXPECT_EQ(host.Names()[0].text, L"still here");
}

// A new template reaching the host at once is the chat_commands script's, run by the test
// host through this channel.
BOOL CALLBACK FindTimerWindow(HWND window, LPARAM found) {
  wchar_t className[32] = {};
  ::GetClassNameW(window, className, static_cast<int>(std::size(className)));
  if (::lstrcmpW(className, win32::kTimerWindowClass) == 0) *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

HWND TimerWindowOfThisThread() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindTimerWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

TEST(NameChannel, TheSystemsResumeAndTimeChangeNoticesRepublishARunningCounter) {
  const MachineRegistration registration;
  ScratchUser user(L"notices");
  const std::wstring enabled = L"True";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, user.SettingsKey().c_str(), L"Enable", REG_SZ, enabled.c_str(),
                              static_cast<DWORD>((enabled.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  InFreshApartment([&] {
    NameCatcher host;
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    Arguments initialize;
    initialize.I4(1).Text(user.Email().c_str()).Nothing();
    Outcome initialized;
    CallByName(*plugin.Get(), L"Initialize", initialize, initialized);
    ASSERT_HRESULT_SUCCEEDED(initialized.hr);
    ASSERT_EQ(host.Names().size(), 1u) << "the stored counter is on";

    const HWND timerWindow = TimerWindowOfThisThread();
    ASSERT_NE(timerWindow, nullptr) << "the running counter has no timer window";
    EXPECT_EQ(::GetAncestor(timerWindow, GA_PARENT), ::GetDesktopWindow()) << "not a top-level window";
    // Broadcast as the system broadcasts: only top-level windows hear it.
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_TIMECHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    EXPECT_EQ(host.Names().size(), 2u) << "a time change";
    ::SendMessageW(timerWindow, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ(host.Names().size(), 3u) << "a resume the user started";
    ::SendMessageW(timerWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(host.Names().size(), 4u) << "a resume by itself";
    ::SendMessageW(timerWindow, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_EQ(host.Names().size(), 4u) << "going to sleep is no resume";

    // Switched off: the window goes, and a time change publishes nothing.
    win32::UniqueBstr result{::SysAllocString(L"")};
    Arguments disable;
    disable.Text(L"/xcntdisable").Text(L"").Nothing().TextRef(result.addressof());
    Outcome disabled;
    CallByName(*plugin.Get(), L"ParseCommand", disable, disabled);
    ASSERT_HRESULT_SUCCEEDED(disabled.hr);
    EXPECT_EQ(TimerWindowOfThisThread(), nullptr);
    ::SendMessageTimeoutW(HWND_BROADCAST, WM_TIMECHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    EXPECT_EQ(host.Names().size(), 4u);
  });
}

}  // namespace
}  // namespace velmora::wintest
