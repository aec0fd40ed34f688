// When the host may unload Velmora.dll: never while an object, the factory, a lock, a window
// or a running timer of it lives; and once none does, the DLL really goes, as often as a host
// loads it, closing no handle twice and leaving no memory behind. An unload forced while the
// counter runs (as Windows does at CoUninitialize) leaves it mapped for good. A host that
// leaves COM inside one of the plug-in's callbacks lives on. A failure in a tick, which has
// no caller, is reported and the counter goes on.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dialog_window.h"
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

// The process's heaps.
std::vector<HANDLE> ProcessHeaps() {
  std::vector<HANDLE> heaps(256);
  heaps.resize(::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  return heaps;
}

bool HeapsValid() {
  return std::ranges::all_of(ProcessHeaps(),
                             [](HANDLE heap) { return ::HeapValidate(heap, 0, nullptr) != FALSE; });
}

// Wine reports no commit charge, and the C runtime allocates from a heap of its own: the
// bytes in use in every heap tell what a cycle left.
SIZE_T HeapBytesInUse() {
  SIZE_T bytes = 0;
  for (HANDLE heap : ProcessHeaps()) {
    if (!::HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (::HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    }
    ::HeapUnlock(heap);
  }
  return bytes;
}

bool NoWindowOfOurs() {
  return !WindowOfThisThread(win32::kTimerWindowClass) &&
         !WindowOfThisThread(L"#32770");
}

// The user closes Configure's window as soon as it shows, after `closeWhenShown` ran.
std::function<void()> closeWhenShown;
bool stayedOpen = false;
void CALLBACK CloseTheShownWindow(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND shown = WindowOfThisThread(L"#32770");
  if (!shown || !::IsWindowVisible(shown)) return;
  ::KillTimer(nullptr, timer);
  if (closeWhenShown) std::exchange(closeWhenShown, nullptr)();
  stayedOpen = ::IsWindowVisible(shown) != FALSE;
  ::PostMessageW(shown, WM_CLOSE, 0, 0);
}

// Every operation once, as a host uses the plug-in, leaving the counter off.
void UseEveryOperation(IDispatch& plugin, const std::wstring& email) {
  Initialize(plugin, email);
  win32::UniqueBstr a{::SysAllocString(L"")}, b{::SysAllocString(L"")}, c{::SysAllocString(L"")};
  LONG commands = 0;
  LONG tags = 0;
  Call(plugin, L"GetPublishInfo",
       Arguments().TextRef(a.addressof()).I4Ref(&commands).I4Ref(&tags));
  Call(plugin, L"GetPublishCommandInfo",
       Arguments().I4(1).TextRef(a.addressof()).TextRef(b.addressof()).TextRef(c.addressof()));
  Call(plugin, L"GetPublishTagInfo",
       Arguments().I4(1).TextRef(a.addressof()).TextRef(b.addressof()));
  Command(plugin, L"/xcntsetnick", L"%s s");
  Command(plugin, L"/xcntenable");
  const UINT_PTR closer = ::SetTimer(nullptr, 0, 20, &CloseTheShownWindow);
  Call(plugin, L"Configure");
  ::KillTimer(nullptr, closer);
  Command(plugin, L"/xcntdisable");
  Call(plugin, L"ParseTag", Arguments().Text(L"(!XCOUNT)").Nothing().TextRef(a.addressof()));
  Call(plugin, L"ReceiveNotify",
       Arguments().Text(L"code").Text(L"text").Text(L"contact").Nothing().TextRef(a.addressof()));
  Call(plugin, L"Uninitialize");
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

 private:
  void Run(const char* entry) const {
    const HMODULE dll = ::LoadLibraryW(path_.c_str());
    ASSERT_NE(dll, nullptr);
    EXPECT_HRESULT_SUCCEEDED(ExportOf<RegisterServer>(dll, entry)()) << entry;
    ::FreeLibrary(dll);
  }
  std::wstring path_;
};

// How many handles the process holds, from the system's list of every process's handles
// (Wine leaves GetProcessHandleCount at 0).
std::size_t HandleCount() {
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
  const auto query = ExportOf<Query>(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<BYTE> buffer(1 << 16);
  LONG status = kLengthMismatch;
  for (int tries = 0; query && status == kLengthMismatch && tries < 12; ++tries) {
    ULONG needed = 0;
    status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kLengthMismatch) buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
  }
  if (status != 0) return 0;
  const auto& list = *reinterpret_cast<const List*>(buffer.data());
  return static_cast<std::size_t>(
      std::count_if(list.entries, list.entries + list.count,
                    [](const Entry& entry) { return entry.process == ::GetCurrentProcessId(); }));
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

 private:
  static BOOL WINAPI Counting(HANDLE handle) {
    const BOOL closed = ::CloseHandle(handle);
    if (!closed) ++failures_;
    return closed;
  }
  ImportPatch patch_;
  static inline std::atomic<long> failures_{0};
};

// Load, use and unload 200 times: the DLL leaves after every use, closing no handle twice,
// and what a cycle leaves behind shows as growth between the tenth and the last, once the
// system's own caches have settled.
TEST(Unloading, TwoHundredLoadUseUnloadCyclesUnloadCleanlyAndKeepHandlesAndHeapsFlat) {
  const UnloadableCopy copy;
  ScratchUser user(L"cycles");
  std::size_t settledHandles = 0;
  SIZE_T settledBytes = 0;
  std::size_t lastHandles = 0;
  SIZE_T lastBytes = 0;
  InFreshApartment([&] {
    for (int cycle = 1; cycle <= 200; ++cycle) {
      ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr) << "cycle " << cycle;
      const FailedCloses closes(copy.Module());
      ASSERT_TRUE(closes.Watching()) << "COM did not load the copy, or it imports no CloseHandle";
      UseEveryOperation(*plugin.Get(), user.Email());
      plugin.Reset();
      ::CoFreeUnusedLibrariesEx(0, 0);
      ASSERT_FALSE(copy.Loaded()) << "cycle " << cycle << ": the DLL stayed after its last object";
      ASSERT_EQ(FailedCloses::Count(), 0) << "cycle " << cycle << ": a handle was closed twice";
      if (cycle == 10) {
        settledHandles = HandleCount();
        settledBytes = HeapBytesInUse();
      }
    }
    lastHandles = HandleCount();
    lastBytes = HeapBytesInUse();
  });
  ASSERT_NE(settledHandles, 0u) << "the system lists no handles of this process";
  // A handle left per cycle would be 190 here; the runtime's exception pool, 3.5 MB on x64.
  EXPECT_LE(lastHandles, settledHandles + 10);
  EXPECT_LT(lastBytes, settledBytes + 100 * 1024) << "heap bytes in use after 10 cycles";
}

// Windows frees what COM loaded at CoUninitialize whatever DllCanUnloadNow says; Wine does
// not, so the test drops COM's reference itself, as Windows would, while the counter runs.
TEST(Unloading, AForcedUnloadWhileTheCounterRunsStopsAtCoUninitializeAndKeepsTheDllMapped) {
  const UnloadableCopy copy(L"forced");
  ScratchUser user(L"forced");
  user.Store(L"Enable", L"True");
  user.Store(L"Interval", L"1");
  user.Store(L"Nick", L"forced %s");
  Thread host([&] {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const NameCatcher names;
    {
      const ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr);
      Initialize(*plugin.Get(), user.Email());
      Command(*plugin.Get(), L"/xcntenable");
      Call(*plugin.Get(), L"Uninitialize");
    }
    const HMODULE dll = copy.Module();
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(ExportOf<CanUnloadNow>(dll, "DllCanUnloadNow")(), S_FALSE) << "the counter runs";
    ::FreeLibrary(dll);  // COM's reference
    PumpMessages(2500);  // two ticks of the one-second delay
    Broadcast(WM_TIMECHANGE);
    const win32::UniqueBstr foreign{::SysAllocString(L"another instance")};
    Broadcast(::RegisterWindowMessageA("Pelmar_SetName"), reinterpret_cast<WPARAM>(foreign.get()), 1);
    PumpMessages(200);
    EXPECT_TRUE(copy.Loaded()) << "the DLL left while its counter runs";
    EXPECT_GE(names.Names().size(), 4u) << "the counter did not keep publishing";

    ::CoUninitialize();
    EXPECT_TRUE(NoWindowOfOurs()) << "a window of the plug-in outlived COM on its thread";
    const std::size_t published = names.Names().size();
    PumpMessages(1500);
    EXPECT_EQ(names.Names().size(), published) << "a nickname was published after CoUninitialize";
    // Its code may still have been on the stack as COM let go: it stays until the process ends.
    EXPECT_TRUE(copy.Loaded()) << "the DLL left after COM left the thread";
  });
}

TEST(Unloading, TheLastReleaseInsideATickTearsDownWhenTheTickEnds) {
  const UnloadableCopy copy;
  ScratchUser user(L"intick");
  user.Store(L"Enable", L"True");
  user.Store(L"Interval", L"1");
  InFreshApartment([&] {
    ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    const HMODULE dll = copy.Module();
    NameCatcher host;
    Initialize(*plugin.Get(), user.Email());
    // The host switches the counter off and lets go of the plug-in as a tick's name reaches it.
    host.onNextName = [&] {
      Command(*plugin.Get(), L"/xcntdisable");
      plugin.Reset();
    };
    PumpMessages(1500);
    ASSERT_EQ(plugin, nullptr) << "no tick published";
    ::CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_FALSE(copy.Loaded()) << "the DLL stayed after its last use";
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
  user.Store(L"Enable", L"True");
  user.Store(L"Interval", L"1");
  for (const bool timeChange : {false, true}) {
    for (const bool uninitializeFirst : {false, true}) {
      SCOPED_TRACE(std::string(timeChange ? "time change" : "tick") +
                   (uninitializeFirst ? " after Uninitialize" : ""));
      Thread([&] {
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ComPtr<IDispatch> plugin = CreateByProgId();
        ASSERT_NE(plugin, nullptr);
        NameCatcher host;
        Initialize(*plugin.Get(), user.Email());
        std::size_t quitAt = 0;
        host.onNextName = [&] {
          if (uninitializeFirst) Call(*plugin.Get(), L"Uninitialize");
          plugin.Reset();
          ::CoUninitialize();
          quitAt = host.Names().size();
        };
        if (timeChange) Broadcast(WM_TIMECHANGE);
        PumpMessages(2500);
        ASSERT_NE(quitAt, 0u) << "no nickname reached the host";
        EXPECT_EQ(host.Names().size(), quitAt) << "a nickname followed CoUninitialize";
        EXPECT_TRUE(NoWindowOfOurs());
      }).Join();
      EXPECT_TRUE(HeapsValid());
    }
  }
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
    Initialize(*plugin.Get(), user.Email());
    IDispatch* const raw = plugin.Get();
    bool quit = false;
    closeWhenShown = [&] {
      Call(*raw, L"Uninitialize");
      plugin.Reset();
      ::CoUninitialize();
      quit = true;
    };
    const UINT_PTR closer = ::SetTimer(nullptr, 0, 20, &CloseTheShownWindow);
    Outcome outcome;
    CallByName(*raw, L"Configure", Arguments(), outcome);
    ::KillTimer(nullptr, closer);
    EXPECT_TRUE(quit) << "the window never showed";
    EXPECT_TRUE(stayedOpen) << "the window went with the host";
    EXPECT_HRESULT_SUCCEEDED(outcome.hr);
    EXPECT_TRUE(NoWindowOfOurs());
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

TEST(Unloading, OneThreadsTeardownLeavesAnotherThreadsNewTimerWindowItsClass) {
  const MachineRegistration registration;
  ScratchUser first(L"first");
  ScratchUser second(L"second");
  for (const ScratchUser* user : {&first, &second}) {
    user->Store(L"Enable", L"True");
    user->Store(L"Interval", L"1");
  }
  Interleaving steps;
  interleaving = &steps;
  const ImportPatch patch(VelmoraDll(), "user32.dll", "CreateWindowExW",
                          reinterpret_cast<const void*>(&CreateOnceTheOtherToreDown));
  ASSERT_TRUE(patch.Patched());
  steps.create = patch.Original<decltype(&::CreateWindowExW)>();
  Thread tearingDown([&] {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    Initialize(*plugin.Get(), first.Email());
    steps.armed = true;
    ::SetEvent(steps.ready.get());
    EXPECT_TRUE(PumpMessages(5000, steps.tearDown.get()));
    Command(*plugin.Get(), L"/xcntdisable");
    plugin.Reset();
    ::SetEvent(steps.tornDown.get());
    ::CoUninitialize();
  });
  Thread([&] {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const NameCatcher names;
    ASSERT_TRUE(PumpMessages(5000, steps.ready.get()));
    ComPtr<IDispatch> plugin = CreateByProgId();
    ASSERT_NE(plugin, nullptr);
    Initialize(*plugin.Get(), second.Email());
    EXPECT_NE(steps.made, nullptr) << "the other thread's teardown took the class away";
    const std::size_t before = names.Names().size();
    PumpMessages(2500);
    EXPECT_GE(names.Names().size(), before + 2) << "the counter stopped publishing";
    Command(*plugin.Get(), L"/xcntdisable");
    plugin.Reset();
    ::CoUninitialize();
  }).Join();
  tearingDown.Join();
}

// What the process's debugger would read from OutputDebugString; newer systems raise the
// wide form first, then the narrow one.
std::vector<std::string> debugLines;
LONG CALLBACK CatchDebugOutput(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  constexpr DWORD kWidePrint = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C
  if (record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  if (record.ExceptionCode == DBG_PRINTEXCEPTION_C) {
    debugLines.emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
  } else if (record.ExceptionCode == kWidePrint) {
    const std::wstring wide(reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]));
    debugLines.emplace_back(wide.begin(), wide.end());
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(Ticks, AFailedTickIsReportedToTheDebuggerAndTheNextTickPublishes) {
  ScratchUser user(L"ticks");
  // A one-second own delay on the real clock.
  user.Store(L"Enable", L"True", L"VelmoraTest.dll");
  user.Store(L"Interval", L"1", L"VelmoraTest.dll");
  user.Store(L"Nick", L"tick %s", L"VelmoraTest.dll");
  void* const handler = ::AddVectoredExceptionHandler(1, &CatchDebugOutput);
  InFreshApartment([&] {
    const NameCatcher host;
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    Initialize(*plugin.Get(), user.Email());
    ASSERT_EQ(host.Names().size(), 1u) << "Initialize publishes at once";
    ASSERT_HRESULT_SUCCEEDED(Seam<VelmoraSeamFailNextNameFn>("VelmoraSeamFailNextName")(11, L"Host went away"));
    PumpMessages(3500);  // the failed tick and at least one more, with a margin
    EXPECT_GE(host.Names().size(), 2u) << "no tick published after the failed one";
    Command(*plugin.Get(), L"/xcntdisable");
  });
  ::RemoveVectoredExceptionHandler(handler);
  EXPECT_TRUE(std::ranges::any_of(debugLines, [](const std::string& line) {
    return line.find("Host went away") != std::string::npos;
  })) << "the tick's failure was not reported";
}

}  // namespace
}  // namespace velmora::wintest
