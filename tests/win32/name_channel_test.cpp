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
TEST(NameChannel, TheSystemsResumeAndTimeChangeNoticesRepublishARunningCounter) {
  const MachineRegistration registration;
  ScratchUser user(L"notices");
  user.Store(L"Enable", L"True");
  InFreshApartment([&] {
    NameCatcher host;
    const ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    Initialize(*plugin.Get(), user.Email());
    ASSERT_EQ(host.Names().size(), 1u) << "the stored counter is on";

    const HWND timerWindow = WindowOfThisThread(win32::kTimerWindowClass);
    ASSERT_NE(timerWindow, nullptr) << "the running counter has no timer window";
    EXPECT_EQ(::GetAncestor(timerWindow, GA_PARENT), ::GetDesktopWindow()) << "not a top-level window";
    // Broadcast as the system broadcasts: only top-level windows hear it.
    Broadcast(WM_TIMECHANGE);
    EXPECT_EQ(host.Names().size(), 2u) << "a time change";
    ::SendMessageW(timerWindow, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ(host.Names().size(), 3u) << "a resume the user started";
    ::SendMessageW(timerWindow, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(host.Names().size(), 4u) << "a resume by itself";
    ::SendMessageW(timerWindow, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_EQ(host.Names().size(), 4u) << "going to sleep is no resume";

    // Switched off: the window goes, and a time change publishes nothing.
    Command(*plugin.Get(), L"/xcntdisable");
    EXPECT_EQ(WindowOfThisThread(win32::kTimerWindowClass), nullptr);
    Broadcast(WM_TIMECHANGE);
    EXPECT_EQ(host.Names().size(), 4u);
  });
}

}  // namespace
}  // namespace velmora::wintest
