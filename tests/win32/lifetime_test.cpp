// When the host may unload Velmora.dll: never while an object, the factory, a lock, a window
// or a running timer of it lives; and once none does, the DLL really goes, as often as a host
// loads it, closing no handle twice and leaving no memory behind. An unload forced while the
// counter runs (as Windows does at CoUninitialize) leaves it mapped for good. A host that
// leaves COM inside one of the plug-in's callbacks lives on. A failure in a tick, which has
// no caller, is reported and the counter goes on.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dialog_ids.h"
#include "support.h"
#include "timer_win32.h"

namespace velmora::wintest {
namespace {

using CanUnloadNow = HRESULT(WINAPI*)();
using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using RegisterServer = HRESULT(WINAPI*)();

TEST(Lifetime, ObjectsTheFactoryAndItsLocksKeepTheDllLoaded) {
  const auto canUnload = Export<CanUnloadNow>("DllCanUnloadNow");
  const auto factoryHeld = [](ComPtr<IClassFactory>& factory) {
    return SUCCEEDED(Export<GetClassObject>("DllGetClassObject")(CLSID_clsVelmora, IID_IClassFactory, &factory));
  };
  ComPtr<IClassFactory> factory;
  ASSERT_TRUE(factoryHeld(factory));
  EXPECT_EQ(canUnload(), S_FALSE) << "a client holds the factory";
  ComPtr<IDispatch> object;
  ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
  factory->LockServer(TRUE);
  factory.Reset();
  EXPECT_EQ(canUnload(), S_FALSE) << "an object and a lock";
  object.Reset();
  EXPECT_EQ(canUnload(), S_FALSE) << "a lock without the factory";

  ASSERT_TRUE(factoryHeld(factory));
  factory->LockServer(FALSE);
  factory->LockServer(FALSE);  // one unlock too many must not free what others hold
  factory.Reset();
  EXPECT_EQ(canUnload(), S_OK);
}

void Store(const ScratchUser& user, const wchar_t* dll, const wchar_t* name, const std::wstring& value) {
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, user.SettingsKey(dll).c_str(), name, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

bool Call(IDispatch& plugin, const wchar_t* operation, Arguments& arguments) {
  Outcome outcome;
  CallByName(plugin, operation, arguments, outcome);
  EXPECT_HRESULT_SUCCEEDED(outcome.hr) << "calling " << operation;
  return SUCCEEDED(outcome.hr);
}

void Command(IDispatch& plugin, const wchar_t* command, const wchar_t* argument = L"") {
  win32::UniqueBstr result{::SysAllocString(L"")};
  Arguments arguments;
  arguments.Text(command).Text(argument).Nothing().TextRef(result.addressof());
  Call(plugin, L"ParseCommand", arguments);
}

// Configure's window is closed by the user as soon as it shows.
void CALLBACK CloseTheDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND dialog = ::FindWindowW(win32::kDialogWindowClass, win32::kDialogCaption);
  if (!dialog || !::IsWindowVisible(dialog)) return;
  ::KillTimer(nullptr, timer);
  ::SendMessageW(dialog, WM_CLOSE, 0, 0);
}

// Every operation once, as a host uses the plug-in, leaving the counter off.
void UseEveryOperation(IDispatch& plugin, const std::wstring& email) {
  Arguments initialize;
  initialize.I4(1).Text(email.c_str()).Nothing();
  Call(plugin, L"Initialize", initialize);
  win32::UniqueBstr a{::SysAllocString(L"")}, b{::SysAllocString(L"")}, c{::SysAllocString(L"")};
  LONG commands = 0;
  LONG tags = 0;
  Arguments publish;
  publish.TextRef(a.addressof()).I4Ref(&commands).I4Ref(&tags);
  Call(plugin, L"GetPublishInfo", publish);
  Arguments command;
  command.I4(1).TextRef(a.addressof()).TextRef(b.addressof()).TextRef(c.addressof());
  Call(plugin, L"GetPublishCommandInfo", command);
  Arguments tag;
  tag.I4(1).TextRef(a.addressof()).TextRef(b.addressof());
  Call(plugin, L"GetPublishTagInfo", tag);
  Command(plugin, L"/xcntsetnick", L"%s s");
  Command(plugin, L"/xcntenable");
  const UINT_PTR closer = ::SetTimer(nullptr, 0, 20, &CloseTheDialog);
  Arguments none;
  Call(plugin, L"Configure", none);
  ::KillTimer(nullptr, closer);
  Command(plugin, L"/xcntdisable");
  Arguments parseTag;
  parseTag.Text(L"(!XCOUNT)").Nothing().TextRef(a.addressof());
  Call(plugin, L"ParseTag", parseTag);
  Arguments notify;
  notify.Text(L"code").Text(L"text").Text(L"contact").Nothing().TextRef(a.addressof());
  Call(plugin, L"ReceiveNotify", notify);
  Arguments uninitialize;
  Call(plugin, L"Uninitialize", uninitialize);
}

// A copy of the shipped DLL in a folder of its own, registered machine-wide while it lives,
// so that COM loads and unloads it while the test program's own Velmora.dll stays loaded.
class UnloadableCopy {
 public:
  // Wine's COM keeps its entry of a DLL it did not free, and trips over it at the next load
  // from the same path: a test that leaves one takes a folder of its own.
  explicit UnloadableCopy(const wchar_t* folderName = L"unloadable") {
    const std::wstring original = VelmoraDllPath();
    const std::wstring folder = original.substr(0, original.find_last_of(L"\\/") + 1) + folderName;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    path_ = folder + L"\\Velmora.dll";
    EXPECT_TRUE(::CopyFileW(original.c_str(), path_.c_str(), FALSE));
    Run("DllRegisterServer");
  }
  ~UnloadableCopy() { Run("DllUnregisterServer"); }
  UnloadableCopy(const UnloadableCopy&) = delete;
  UnloadableCopy& operator=(const UnloadableCopy&) = delete;

  [[nodiscard]] bool Loaded() const { return Module() != nullptr; }
  [[nodiscard]] HMODULE Module() const { return ::GetModuleHandleW(path_.c_str()); }
  // As a host calls CoFreeUnusedLibraries now and then: true once the DLL has left.
  [[nodiscard]] bool FreedWithin(DWORD milliseconds) const {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    do {
      ::CoFreeUnusedLibrariesEx(0, 0);
      if (!Loaded()) return true;
      ::Sleep(10);
    } while (::GetTickCount64() < end);
    return false;
  }

 private:
  void Run(const char* entry) const {
    const HMODULE dll = ::LoadLibraryW(path_.c_str());
    ASSERT_NE(dll, nullptr);
    EXPECT_HRESULT_SUCCEEDED(ExportOf<RegisterServer>(dll, entry)()) << entry;
    ::FreeLibrary(dll);
  }
  std::wstring path_;
};

// The process's handles, from the system's list of every process's handles (Wine leaves
// GetProcessHandleCount at 0).
std::vector<HANDLE> Handles() {
  struct Entry {
    ULONG process;
    BYTE type;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
  };
  struct List {
    ULONG count;
    Entry entries[1];
  };
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  std::vector<HANDLE> mine;
  if (!query) return mine;
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<BYTE> buffer(1 << 16);
  LONG status = kLengthMismatch;
  for (int tries = 0; status == kLengthMismatch && tries < 12; ++tries) {
    ULONG needed = 0;
    status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kLengthMismatch) buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
  }
  if (status != 0) return mine;
  const auto& list = *reinterpret_cast<const List*>(buffer.data());
  for (ULONG i = 0; i < list.count; ++i) {
    const Entry& entry = list.entries[i];
    if (entry.process == ::GetCurrentProcessId()) mine.push_back(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entry.value)));
  }
  return mine;
}

// The kind of a handle ("File", "Key", "Event"...), for the failure message.
std::string KindOf(HANDLE handle) {
  using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  alignas(8) BYTE buffer[1024] = {};
  constexpr ULONG kObjectTypeInformation = 2;
  if (!query || query(handle, kObjectTypeInformation, buffer, sizeof buffer, nullptr) != 0) return "?";
  const auto& name = *reinterpret_cast<const UNICODE_STRING*>(buffer);
  const std::wstring wide(name.Buffer, name.Length / sizeof(wchar_t));
  return std::string(wide.begin(), wide.end());
}

// Wine reports no commit charge, and the C runtime allocates from a heap of its own: the
// bytes in use in every heap tell what a cycle left.
struct Usage {
  std::vector<HANDLE> handles;
  SIZE_T heapBytes = 0;
};

Usage Measure() { return {Handles(), HeapBytesInUse()}; }

// The kinds of the handles `later` holds that `earlier` did not.
std::string NewHandles(const Usage& earlier, const Usage& later) {
  std::string kinds;
  int shown = 0;
  for (HANDLE handle : later.handles) {
    if (std::ranges::find(earlier.handles, handle) != earlier.handles.end()) continue;
    if (++shown > 8) break;
    kinds += " " + KindOf(handle);
  }
  return kinds;
}

TEST(Unloading, CoFreeUnusedLibrariesUnloadsTheDllAfterEveryOperationWasUsed) {
  const UnloadableCopy copy;
  ScratchUser user(L"unload");
  InFreshApartment([&] {
    ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    ASSERT_TRUE(copy.Loaded()) << "COM did not load the copy";
    UseEveryOperation(*plugin.Get(), user.Email());
    plugin.Reset();
    ::CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(copy.Loaded()) << "the DLL stayed loaded after its last object went";
  });
}

// Load, use and unload 200 times: what a cycle leaves behind shows as growth between the
// tenth and the last, once the system's own caches have settled.
TEST(Unloading, TwoHundredLoadUseUnloadCyclesKeepHandlesAndHeapsFlat) {
  const UnloadableCopy copy;
  ScratchUser user(L"cycles");
  Usage settled;
  Usage last;
  InFreshApartment([&] {
    for (int cycle = 1; cycle <= 200; ++cycle) {
      ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr) << "cycle " << cycle;
      UseEveryOperation(*plugin.Get(), user.Email());
      plugin.Reset();
      ::CoFreeUnusedLibrariesEx(0, 0);
      ASSERT_FALSE(copy.Loaded()) << "cycle " << cycle;
      if (cycle == 10) settled = Measure();
    }
    last = Measure();
  });
  ASSERT_FALSE(settled.handles.empty()) << "the system lists no handles of this process";
  // A handle left per cycle would be 190 here; the runtime's exception pool, 3.5 MB on x64.
  EXPECT_LE(last.handles.size(), settled.handles.size() + 10)
      << "handles after 10 cycles: " << settled.handles.size() << ", after 200: " << last.handles.size()
      << "; new ones:" << NewHandles(settled, last);
  EXPECT_LT(last.heapBytes, settled.heapBytes + 100 * 1024)
      << "heap bytes in use after 10 cycles: " << settled.heapBytes << ", after 200: " << last.heapBytes;
}

void PumpMessagesFor(DWORD milliseconds) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  while (::GetTickCount64() < end) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
}

// Every CloseHandle the loaded copy makes goes through its import table; the ones that fail
// are a handle closed twice (or never opened).
class FailedCloses {
 public:
  explicit FailedCloses(HMODULE dll)
      : patch_(dll, "kernel32.dll", "CloseHandle", reinterpret_cast<const void*>(&Counting)) {
    failures_ = 0;
  }

  [[nodiscard]] bool Watching() const { return patch_.Patched(); }
  [[nodiscard]] static long Count() { return failures_; }
  [[nodiscard]] static std::string Handles() {
    std::string text;
    for (long i = 0; i < failures_ && i < static_cast<long>(std::size(handles_)); ++i) {
      text += " " + std::to_string(reinterpret_cast<ULONG_PTR>(handles_[i]));
    }
    return text;
  }

 private:
  static BOOL WINAPI Counting(HANDLE handle) {
    const BOOL closed = ::CloseHandle(handle);
    if (!closed) {
      const long index = failures_++;
      if (index < static_cast<long>(std::size(handles_))) handles_[index] = handle;
    }
    return closed;
  }

  ImportPatch patch_;
  static inline std::atomic<long> failures_{0};
  static inline HANDLE handles_[8] = {};
};

TEST(Unloading, NoHandleIsClosedTwiceAsTheDllUnloads) {
  const UnloadableCopy copy;
  ScratchUser user(L"closes");
  InFreshApartment([&] {
    for (int cycle = 1; cycle <= 3; ++cycle) {
      ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr);
      const FailedCloses closes(copy.Module());
      ASSERT_TRUE(closes.Watching()) << "the DLL imports no CloseHandle from kernel32";
      UseEveryOperation(*plugin.Get(), user.Email());
      plugin.Reset();
      ASSERT_TRUE(copy.FreedWithin(2000)) << "cycle " << cycle;
      EXPECT_EQ(FailedCloses::Count(), 0) << "cycle " << cycle << ": failed CloseHandle of" << FailedCloses::Handles();
    }
  });
}

BOOL CALLBACK CountVelmoraWindow(HWND window, LPARAM found) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  if (::lstrcmpW(name, win32::kTimerWindowClass) == 0 || ::lstrcmpW(name, win32::kDialogWindowClass) == 0) {
    ++*reinterpret_cast<int*>(found);
  }
  return TRUE;
}

// The thread's windows, by class: the timer window and the dialog.
int VelmoraWindowsOfThisThread() {
  int count = 0;
  ::EnumThreadWindows(::GetCurrentThreadId(), &CountVelmoraWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

void Broadcast(UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR reply = 0;
  ::SendMessageTimeoutW(HWND_BROADCAST, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &reply);
}

// Windows frees what COM loaded at CoUninitialize whatever DllCanUnloadNow says; Wine does
// not, so the test drops COM's reference itself, as Windows would, while the counter runs.
TEST(Unloading, AForcedUnloadWhileTheCounterRunsStopsAtCoUninitializeAndKeepsTheDllMapped) {
  const UnloadableCopy copy(L"forced");
  ScratchUser user(L"forced");
  Store(user, L"Velmora.dll", L"Enable", L"True");
  Store(user, L"Velmora.dll", L"Interval", L"1");
  Store(user, L"Velmora.dll", L"Nick", L"forced %s");
  Thread host([&] {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const NameCatcher names;
    {
      const ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr);
      Arguments initialize;
      initialize.I4(1).Text(user.Email().c_str()).Nothing();
      Call(*plugin.Get(), L"Initialize", initialize);
      Command(*plugin.Get(), L"/xcntenable");
      Arguments none;
      Call(*plugin.Get(), L"Uninitialize", none);
    }
    const HMODULE dll = copy.Module();
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(ExportOf<CanUnloadNow>(dll, "DllCanUnloadNow")(), S_FALSE) << "the counter runs";
    ::FreeLibrary(dll);  // COM's reference
    PumpMessagesFor(2500);  // two ticks of the one-second delay
    Broadcast(WM_TIMECHANGE, 0, 0);
    const win32::UniqueBstr foreign{::SysAllocString(L"another instance")};
    Broadcast(::RegisterWindowMessageA("Pelmar_SetName"), reinterpret_cast<WPARAM>(foreign.get()), 1);
    PumpMessagesFor(200);
    EXPECT_TRUE(copy.Loaded()) << "the DLL left while its counter runs";
    EXPECT_GE(names.Names().size(), 4u) << "the counter did not keep publishing";

    ::CoUninitialize();
    EXPECT_EQ(VelmoraWindowsOfThisThread(), 0) << "a window of the plug-in outlived COM on its thread";
    const std::size_t published = names.Names().size();
    PumpMessagesFor(1500);
    EXPECT_EQ(names.Names().size(), published) << "a nickname was published after CoUninitialize: "
                                                 << std::string(names.Names().back().text.begin(),
                                                                names.Names().back().text.end());
    // Its code may still have been on the stack as COM let go: it stays until the process ends.
    EXPECT_TRUE(copy.Loaded()) << "the DLL left after COM left the thread";
  });
}

// A host window that runs `onName` at the first nickname it receives once armed, and counts
// the ones after it.
class ReleasingHost {
 public:
  explicit ReleasingHost(std::function<void()> onName)
      : onName_(std::move(onName)), message_(::RegisterWindowMessageA("Pelmar_SetName")) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelmoraReleasingHost";
    ::RegisterClassExW(&windowClass);
    window_.reset(::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                    nullptr, windowClass.hInstance, nullptr));
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ReleasingHost(const ReleasingHost&) = delete;
  ReleasingHost& operator=(const ReleasingHost&) = delete;
  [[nodiscard]] bool Done() const { return done_; }
  [[nodiscard]] int NamesAfter() const { return namesAfter_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ReleasingHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || message != self->message_) return ::DefWindowProcW(window, message, wParam, lParam);
    if (self->done_) {
      ++self->namesAfter_;
    } else if (self->armed_) {
      self->done_ = true;
      self->onName_();
    }
    return 1;
  }

 public:
  bool armed_ = false;

 private:
  std::function<void()> onName_;
  UINT message_;
  bool done_ = false;
  int namesAfter_ = 0;
  win32::UniqueHwnd window_;
};

TEST(Unloading, TheLastReleaseInsideATickTearsDownWhenTheTickEnds) {
  const UnloadableCopy copy;
  ScratchUser user(L"intick");
  Store(user, L"Velmora.dll", L"Enable", L"True");
  Store(user, L"Velmora.dll", L"Interval", L"1");
  InFreshApartment([&] {
    ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    const HMODULE dll = copy.Module();
    // The host switches the counter off and lets go of the plug-in as a tick's name reaches it.
    ReleasingHost host([&] {
      Command(*plugin.Get(), L"/xcntdisable");
      plugin.Reset();
    });
    Arguments initialize;
    initialize.I4(1).Text(user.Email().c_str()).Nothing();
    Call(*plugin.Get(), L"Initialize", initialize);
    host.armed_ = true;
    PumpMessagesFor(1500);
    ASSERT_TRUE(host.Done()) << "no tick published";
    ASSERT_TRUE(copy.FreedWithin(2000)) << "the DLL stayed after its last use";
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(::GetClassInfoExW(dll, win32::kTimerWindowClass, &info))
        << "the timer window's class outlived the DLL";
  });
}

// A host that quits on the nickname it is handed lets go of the plug-in (after Uninitialize,
// or without) and leaves COM inside its handler, during a tick or during the nickname a new
// system time publishes. Freeing under the running tick corrupts the heap even where Wine
// does not crash on it.
TEST(Unloading, AHostThatLeavesComInsideItsNicknameHandlerLivesAndHearsNoMore) {
  const MachineRegistration registration;
  ScratchUser user(L"quitter");
  Store(user, L"Velmora.dll", L"Enable", L"True");
  Store(user, L"Velmora.dll", L"Interval", L"1");
  for (const bool timeChange : {false, true}) {
    for (const bool uninitializeFirst : {false, true}) {
      const std::string what = std::string(timeChange ? "time change" : "tick") +
                               (uninitializeFirst ? " after Uninitialize" : "");
      Thread([&] {
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ComPtr<IDispatch> plugin = CreateByProgId();
        ASSERT_NE(plugin, nullptr);
        ReleasingHost host([&] {
          Arguments none;
          if (uninitializeFirst) Call(*plugin.Get(), L"Uninitialize", none);
          plugin.Reset();
          ::CoUninitialize();
        });
        Arguments initialize;
        initialize.I4(1).Text(user.Email().c_str()).Nothing();
        Call(*plugin.Get(), L"Initialize", initialize);
        host.armed_ = true;
        if (timeChange) Broadcast(WM_TIMECHANGE, 0, 0);
        PumpMessagesFor(2500);
        ASSERT_TRUE(host.Done()) << what << ": no nickname reached the host";
        EXPECT_EQ(host.NamesAfter(), 0) << what << ": a nickname followed CoUninitialize";
        EXPECT_EQ(VelmoraWindowsOfThisThread(), 0) << what;
      }).Join();
      EXPECT_TRUE(HeapsValid()) << what;
    }
  }
}

// The user closes the first window the thread shows, after `closeWhenShown` ran, if it is
// still there.
std::function<void()> closeWhenShown;
bool stayedOpen = false;
BOOL CALLBACK FindShown(HWND window, LPARAM found) {
  if (!::IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}
void CALLBACK CloseTheShownWindow(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND shown = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindShown, reinterpret_cast<LPARAM>(&shown));
  if (!shown) return;
  ::KillTimer(nullptr, timer);
  std::exchange(closeWhenShown, nullptr)();
  stayedOpen = ::IsWindowVisible(shown) != FALSE;
  ::PostMessageW(shown, WM_CLOSE, 0, 0);
}

// A host that quits while the configuration window is open: its Uninitialize, last Release
// and CoUninitialize run inside Configure's loop. The window stays until the user closes it,
// Configure then returns, and nothing of the plug-in is left on the thread.
TEST(Unloading, AHostThatQuitsWhileConfigureIsOpenLives) {
  const MachineRegistration registration;
  ScratchUser user(L"configure");
  Thread([&] {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    Arguments initialize;
    initialize.I4(1).Text(user.Email().c_str()).Nothing();
    Call(*plugin.Get(), L"Initialize", initialize);
    IDispatch* const raw = plugin.Get();
    bool quit = false;
    closeWhenShown = [&] {
      Arguments none;
      Call(*raw, L"Uninitialize", none);
      plugin.Reset();
      ::CoUninitialize();
      quit = true;
    };
    const UINT_PTR closer = ::SetTimer(nullptr, 0, 20, &CloseTheShownWindow);
    Outcome outcome;
    Arguments none;
    CallByName(*raw, L"Configure", none, outcome);
    ::KillTimer(nullptr, closer);
    EXPECT_TRUE(quit) << "the window never showed";
    EXPECT_TRUE(stayedOpen) << "the window went with the host";
    EXPECT_HRESULT_SUCCEEDED(outcome.hr);
    EXPECT_EQ(VelmoraWindowsOfThisThread(), 0);
  }).Join();
  EXPECT_TRUE(HeapsValid());
}

// Two threads, each with a running counter: one tears its plug-in down while the other is
// between taking the timer window's class and making its window. The other's counter goes
// on publishing.
using UniqueEvent = win32::UniqueAny<HANDLE, &::CloseHandle>;
struct Interleaving {
  UniqueEvent ready{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueEvent tearDown{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueEvent tornDown{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<bool> armed{false};
  decltype(&::CreateWindowExW) create = nullptr;
  HWND made = nullptr;  // the window made after the other's teardown
};
Interleaving* interleaving = nullptr;

HWND WINAPI CreateOnceTheOtherToreDown(DWORD exStyle, LPCWSTR name, LPCWSTR title, DWORD style, int x, int y,
                                       int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                       LPVOID parameter) {
  const bool interleaved = HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 &&
                           ::lstrcmpW(name, win32::kTimerWindowClass) == 0 && interleaving->armed.exchange(false);
  if (interleaved) {
    ::SetEvent(interleaving->tearDown.get());
    ::WaitForSingleObject(interleaving->tornDown.get(), 5000);
  }
  const HWND window =
      interleaving->create(exStyle, name, title, style, x, y, width, height, parent, menu, instance, parameter);
  if (interleaved) interleaving->made = window;
  return window;
}

// Pumps the thread's messages until `event` is set (or five seconds passed): whether it was.
bool PumpUntil(HANDLE event) {
  const ULONGLONG end = ::GetTickCount64() + 5000;
  while (::WaitForSingleObject(event, 0) != WAIT_OBJECT_0) {
    if (::GetTickCount64() > end) return false;
    ::MsgWaitForMultipleObjects(1, &event, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  return true;
}

TEST(Unloading, OneThreadsTeardownLeavesAnotherThreadsNewTimerWindowItsClass) {
  const MachineRegistration registration;
  ScratchUser first(L"first");
  ScratchUser second(L"second");
  for (const ScratchUser* user : {&first, &second}) {
    Store(*user, L"Velmora.dll", L"Enable", L"True");
    Store(*user, L"Velmora.dll", L"Interval", L"1");
  }
  Interleaving steps;
  interleaving = &steps;
  const ImportPatch patch(VelmoraDll(), "user32.dll", "CreateWindowExW",
                          reinterpret_cast<const void*>(&CreateOnceTheOtherToreDown));
  ASSERT_TRUE(patch.Patched());
  steps.create = patch.Original<decltype(&::CreateWindowExW)>();
  const auto start = [](IDispatch& plugin, const ScratchUser& user) {
    Arguments initialize;
    initialize.I4(1).Text(user.Email().c_str()).Nothing();
    Call(plugin, L"Initialize", initialize);
  };
  Thread tearingDown([&] {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    start(*plugin.Get(), first);
    steps.armed = true;
    ::SetEvent(steps.ready.get());
    EXPECT_TRUE(PumpUntil(steps.tearDown.get()));
    Command(*plugin.Get(), L"/xcntdisable");
    plugin.Reset();
    ::SetEvent(steps.tornDown.get());
    ::CoUninitialize();
  });
  Thread([&] {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const NameCatcher names;
    ASSERT_TRUE(PumpUntil(steps.ready.get()));
    ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    start(*plugin.Get(), second);
    EXPECT_NE(steps.made, nullptr) << "the other thread's teardown took the class away";
    const std::size_t before = names.Names().size();
    PumpMessagesFor(2500);
    EXPECT_GE(names.Names().size(), before + 2) << "the counter stopped publishing";
    Command(*plugin.Get(), L"/xcntdisable");
    plugin.Reset();
    ::CoUninitialize();
  }).Join();
  tearingDown.Join();
}

constexpr DWORD kWidePrint = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

// What the process's debugger would read from OutputDebugString.
class DebugOutput {
 public:
  DebugOutput() : handler_(::AddVectoredExceptionHandler(1, &Catch)) { lines_ = &lines; }
  ~DebugOutput() {
    ::RemoveVectoredExceptionHandler(handler_);
    lines_ = nullptr;
  }
  DebugOutput(const DebugOutput&) = delete;
  DebugOutput& operator=(const DebugOutput&) = delete;

  std::vector<std::string> lines;

 private:
  static LONG CALLBACK Catch(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (!lines_ || record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    // Newer systems raise the wide form first, then the narrow one.
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C) {
      lines_->emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
    } else if (record.ExceptionCode == kWidePrint) {
      const std::wstring wide(reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]));
      lines_->emplace_back(wide.begin(), wide.end());
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static inline std::vector<std::string>* lines_ = nullptr;
  void* handler_;
};

TEST(Ticks, AFailedTickIsReportedToTheDebuggerAndTheNextTickPublishes) {
  ScratchUser user(L"ticks");
  // A one-second own delay on the real clock.
  Store(user, L"VelmoraTest.dll", L"Enable", L"True");
  Store(user, L"VelmoraTest.dll", L"Interval", L"1");
  Store(user, L"VelmoraTest.dll", L"Nick", L"tick %s");
  const DebugOutput debug;
  InFreshApartment([&] {
    const NameCatcher host;
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    Arguments initialize;
    initialize.I4(1).Text(user.Email().c_str()).Nothing();
    Call(*plugin.Get(), L"Initialize", initialize);
    ASSERT_EQ(host.Names().size(), 1u) << "Initialize publishes at once";
    ASSERT_HRESULT_SUCCEEDED(Seam<VelmoraSeamFailNextNameFn>("VelmoraSeamFailNextName")(11, L"Host went away"));
    PumpMessagesFor(3500);  // the failed tick and at least one more, with a margin
    EXPECT_GE(host.Names().size(), 2u) << "no tick published after the failed one";
    Command(*plugin.Get(), L"/xcntdisable");
  });
  bool reported = false;
  for (const std::string& line : debug.lines) reported = reported || line.find("Host went away") != std::string::npos;
  EXPECT_TRUE(reported) << "the tick's failure was not reported; debug output had " << debug.lines.size() << " lines";
}

}  // namespace
}  // namespace velmora::wintest
