// When the host may unload Velmora.dll: never while an object, a lock, a window or a
// running timer of it lives; and once none does, the DLL really goes, as often as a host
// loads it, closing no handle twice. An unload forced while the counter runs (as Windows
// does at CoUninitialize) leaves it mapped until COM leaves the thread. A failure in a tick,
// which has no caller, is reported and the counter goes on.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string_view>
#include <string>
#include <vector>

#include "dialog_ids.h"
#include "support.h"
#include "timer_win32.h"

namespace velmora::wintest {
namespace {

using CanUnloadNow = HRESULT(WINAPI*)();
using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using RegisterServer = HRESULT(WINAPI*)();

TEST(Lifetime, ObjectsAndLocksKeepTheDllLoaded) {
  const auto canUnload = Export<CanUnloadNow>("DllCanUnloadNow");
  ComPtr<IClassFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(
      Export<GetClassObject>("DllGetClassObject")(CLSID_clsVelmora, IID_IClassFactory, &factory));
  EXPECT_EQ(canUnload(), S_OK);

  ComPtr<IDispatch> object;
  ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
  EXPECT_EQ(canUnload(), S_FALSE);
  object.Reset();
  EXPECT_EQ(canUnload(), S_OK);

  factory->LockServer(TRUE);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory->LockServer(FALSE);
  factory->LockServer(FALSE);  // one unlock too many must not free what others hold
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

TEST(Lifetime, ARunningCounterTimerKeepsTheDllLoadedAfterTheLastObjectIsGone) {
  const MachineRegistration registration;
  const auto canUnload = Export<CanUnloadNow>("DllCanUnloadNow");
  ScratchUser user(L"lifetime");
  Store(user, L"Velmora.dll", L"Enable", L"True");
  InFreshApartment([&] {
    const auto use = [](const std::function<void(IDispatch&)>& body) {
      const ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr);
      body(*plugin.Get());
    };
    use([&](IDispatch& plugin) {
      Arguments initialize;
      initialize.I4(1).Text(user.Email().c_str()).Nothing();
      Call(plugin, L"Initialize", initialize);
    });
    EXPECT_EQ(canUnload(), S_FALSE) << "the stored counter is on: its timer runs";
    use([](IDispatch& plugin) { Command(plugin, L"/xcntdisable"); });
    EXPECT_EQ(canUnload(), S_OK) << "nothing of the DLL runs any more";
  });
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

struct Usage {
  std::vector<HANDLE> handles;
  SIZE_T commit = 0;
};

Usage Measure() {
  Usage usage;
  usage.handles = Handles();
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  usage.commit = counters.PagefileUsage;
  return usage;
}

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

// Load, use and unload a hundred times: what a cycle leaves behind shows as growth between
// the tenth and the hundredth, once the system's own caches have settled.
TEST(Unloading, AHundredLoadUseUnloadCyclesKeepHandlesAndMemoryFlat) {
  const UnloadableCopy copy;
  ScratchUser user(L"cycles");
  Usage settled;
  Usage last;
  InFreshApartment([&] {
    for (int cycle = 1; cycle <= 100; ++cycle) {
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
  ASSERT_GT(settled.commit, 0u) << "the system reports no commit charge";
  // A handle left per cycle would be 90 here; a leaked plug-in, megabytes.
  EXPECT_LE(last.handles.size(), settled.handles.size() + 10)
      << "handles after 10 cycles: " << settled.handles.size() << ", after 100: " << last.handles.size()
      << "; new ones:" << NewHandles(settled, last);
  EXPECT_LE(last.commit, settled.commit + 2 * 1024 * 1024)
      << "commit charge after 10 cycles: " << settled.commit << ", after 100: " << last.commit;
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
  explicit FailedCloses(HMODULE dll) : slot_(ImportSlot(dll, "CloseHandle")) {
    failures_ = 0;
    if (!slot_) return;
    DWORD old = 0;
    ::VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old);
    *slot_ = reinterpret_cast<ULONG_PTR>(&Counting);
  }
  FailedCloses(const FailedCloses&) = delete;
  FailedCloses& operator=(const FailedCloses&) = delete;

  [[nodiscard]] bool Watching() const { return slot_ != nullptr; }
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

  // The import address table entry through which `dll` calls kernel32's `name`.
  static ULONG_PTR* ImportSlot(HMODULE dll, const char* name) {
    auto* base = reinterpret_cast<BYTE*>(dll);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
      if (::lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), "kernel32.dll") != 0) continue;
      const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::string_view(reinterpret_cast<const char*>(byName->Name)) == name) {
          return reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
        }
      }
    }
    return nullptr;
  }

  ULONG_PTR* slot_;
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
TEST(Unloading, AForcedUnloadWhileTheCounterRunsKeepsTheDllUntilCoUninitialize) {
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
    const ULONGLONG end = ::GetTickCount64() + 2000;
    while (copy.Loaded() && ::GetTickCount64() < end) ::Sleep(10);
    EXPECT_FALSE(copy.Loaded()) << "the DLL stayed after COM left the thread";
  });
}

// A host window that runs `onName` at the first nickname it receives.
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

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ReleasingHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || message != self->message_) return ::DefWindowProcW(window, message, wParam, lParam);
    if (!self->done_ && self->armed_) {
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
