// When the host may unload Velmora.dll: never while an object, a lock, a window or a
// running timer of it lives; and once none does, the DLL really goes, as often as a host
// loads it. A failure in a tick, which has no caller, is reported and the counter goes on.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialog_ids.h"
#include "support.h"

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
  const HWND dialog = ::FindWindowW(win32::kDialogWindowClass, nullptr);
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
  UnloadableCopy() {
    const std::wstring original = VelmoraDllPath();
    const std::wstring folder = original.substr(0, original.find_last_of(L"\\/") + 1) + L"unloadable";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    path_ = folder + L"\\Velmora.dll";
    EXPECT_TRUE(::CopyFileW(original.c_str(), path_.c_str(), FALSE));
    Run("DllRegisterServer");
  }
  ~UnloadableCopy() { Run("DllUnregisterServer"); }
  UnloadableCopy(const UnloadableCopy&) = delete;
  UnloadableCopy& operator=(const UnloadableCopy&) = delete;

  [[nodiscard]] bool Loaded() const { return ::GetModuleHandleW(path_.c_str()) != nullptr; }

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

void PumpMessagesFor(DWORD milliseconds) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  while (::GetTickCount64() < end) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
}

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
