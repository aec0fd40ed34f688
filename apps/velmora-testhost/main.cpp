// velmora-testhost.exe: a messenger host emulator for Velmora.dll.
//
//   velmora-testhost.exe --script FILE [--clock "YYYY-MM-DD HH:MM:SS"] [--dll PATH] [--shots DIR]
//
// Registers VelmoraTest.dll (the test build of Velmora.dll, beside this program unless --dll
// names another) for the current user, creates Velmora.clsVelmora by its ProgID, and runs
// the host script FILE ("-" reads standard input) against it, calling every operation by
// name through IDispatch. Nicknames arrive as "Pelmar_SetName" in a window of its own. The
// clock and the timer are virtual (the DLL's private seam, test_seam.h), starting at --clock
// (default 2026-01-01 00:00:00); settings live in this user's real registry. With --shots,
// the screenshots the script marks in comments are saved into DIR (screenshots.h).
//
// Exit codes: 0 every command ran (a failed host call is output, not a failure); 1 the DLL
// could not be loaded, registered or created, or COM handed over an object of another copy
// of it; 2 a malformed script line (stderr names it);
// 3 a command this host cannot perform (a dialog action before Configure made the window).
//
// The dialog actions act on the real configuration window through its controls' messages
// (dialog_driver.h). Configure blocks in the window's modal loop; the script goes on from
// inside it. Message boxes are reported as MsgBox lines and answered OK.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "automation_date.h"
#include "base/text.h"
#include "com_host.h"
#include "host_window.h"
#include "message_boxes.h"
#include "module.h"
#include "screenshots.h"
#include "script/commands.h"
#include "script/runner.h"
#include "seam.h"
#include "text_win32.h"

namespace velmora::testhost {

namespace {

using Microsoft::WRL::ComPtr;

constexpr char kUsage[] =
    "usage: velmora-testhost.exe --script FILE [--clock \"YYYY-MM-DD HH:MM:SS\"] [--dll PATH] [--shots DIR]\n";
constexpr wchar_t kProgId[] = L"Velmora.clsVelmora";

struct Options {
  std::string script;
  DateTime clock = DateTime::FromDate(std::chrono::year{2026} / 1 / 1);
  std::wstring dll;
  std::wstring shots;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (option == "--script") {
      options.script = value;
    } else if (option == "--clock") {
      const std::size_t blank = value.find(' ');
      if (blank == std::string::npos) return false;
      const std::u16string date = FromUtf8(value.substr(0, blank));
      const std::u16string time = FromUtf8(value.substr(blank + 1));
      const auto day = ParseIsoDate(date);
      const auto at = ParseIsoTime(time);
      if (!day || !at) return false;
      options.clock = DateTime::Combine(*day, *at);
    } else if (option == "--dll") {
      options.dll = win32::ToWide(FromUtf8(value));
    } else if (option == "--shots") {
      options.shots = win32::ToWide(FromUtf8(value));
    } else {
      return false;
    }
  }
  return !options.script.empty();
}

// VelmoraTest.dll beside this program.
std::wstring DefaultDllPath() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  const std::size_t slash = path.find_last_of(L"\\/");
  return path.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + L"VelmoraTest.dll";
}

std::string PathOf(HMODULE module) {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
  return ToUtf8(win32::FromWide(path));
}

// The module whose code answers the object's calls: the one holding its first method.
HMODULE ModuleOfObject(IUnknown* object) {
  void* const code = (*reinterpret_cast<void***>(object))[0];
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(code), &module);
  return module;
}

bool ReadScript(const Options& options, std::vector<script::ParsedLine>& lines) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (options.script != "-") {
    file.open(options.script, std::ios::binary);
    if (!file) {
      std::cerr << "velmora-testhost: cannot read " << options.script << "\n";
      return false;
    }
    in = &file;
  }
  script::ScriptError error;
  if (script::ParseScript(*in, lines, error)) return true;
  std::cerr << (options.script == "-" ? "<stdin>" : options.script) << ":" << error.lineNumber << ": "
            << error.message << "\n";
  return false;
}

using Install = HRESULT(WINAPI*)(BOOL, PCWSTR);
using RegisterServer = HRESULT(WINAPI*)();

// Registers for the current user, as a user without administrator rights would. A COM
// that reads classes only machine-wide (Wine's) cannot see that registration; the DLL is
// then registered machine-wide as well. Whatever it registered is undone when the host
// ends, so no later test (another architecture's, a setup's) finds this build registered.
class Registration {
 public:
  explicit Registration(HMODULE dll)
      : install_(reinterpret_cast<Install>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllInstall")))),
        registerServer_(
            reinterpret_cast<RegisterServer>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllRegisterServer")))),
        unregisterServer_(
            reinterpret_cast<RegisterServer>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllUnregisterServer")))) {}
  ~Registration() {
    if (machine_) unregisterServer_();
    if (user_) install_(FALSE, L"user");
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

  HRESULT RegisterAndCreate(ComPtr<IDispatch>& plugin) {
    if (!install_ || !registerServer_ || !unregisterServer_) return E_NOINTERFACE;
    HRESULT hr = install_(TRUE, L"user");
    if (FAILED(hr)) return hr;
    user_ = true;
    CLSID clsid{};
    hr = ::CLSIDFromProgID(kProgId, &clsid);
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG) {
      hr = registerServer_();
      if (FAILED(hr)) return hr;
      machine_ = true;
      hr = ::CLSIDFromProgID(kProgId, &clsid);
    }
    if (FAILED(hr)) return hr;
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plugin));
  }

 private:
  Install install_;
  RegisterServer registerServer_;
  RegisterServer unregisterServer_;
  bool user_ = false;
  bool machine_ = false;
};

int Run(const Options& options) {
  std::vector<script::ParsedLine> lines;
  if (!ReadScript(options, lines)) return 2;

  const std::wstring dllPath = options.dll.empty() ? DefaultDllPath() : options.dll;
  const HMODULE dll = ::LoadLibraryW(dllPath.c_str());
  if (!dll) {
    std::cerr << "velmora-testhost: cannot load " << ToUtf8(win32::FromWide(dllPath)) << "\n";
    return 1;
  }
  const Seam seam(dll);
  // Before the first call: the plug-in takes its clock and timer when it is made.
  if (FAILED(seam.UseVirtualTime(win32::ToAutomationDate(options.clock)))) {
    std::cerr << "velmora-testhost: the DLL would not switch to virtual time\n";
    return 1;
  }
  Registration registration(dll);
  ComPtr<IDispatch> plugin;
  if (const HRESULT hr = registration.RegisterAndCreate(plugin); FAILED(hr)) {
    std::cerr << "velmora-testhost: cannot register or create Velmora.clsVelmora (0x" << std::hex
              << static_cast<unsigned long>(hr) << ")\n";
    return 1;
  }
  // Another copy registered where COM looks first would be tested in this one's place.
  if (const HMODULE created = ModuleOfObject(plugin.Get()); created != dll) {
    std::cerr << "velmora-testhost: COM created Velmora.clsVelmora from "
              << (created ? PathOf(created) : std::string("an unknown module")) << ", not from " << PathOf(dll)
              << "; another copy is registered (undo with regsvr32 /u)\n";
    return 1;
  }

  script::ScriptOutput output([](std::string_view line) {
    std::cout << line << '\n';
    std::cout.flush();
  });
  ComHost host(plugin, seam, output, win32::BaseNameOf(dllPath));
  script::ScriptRunner runner(host, output);
  int exitCode = 0;
  std::size_t next = 0;
  std::optional<Screenshots> shots;
  if (!options.shots.empty()) shots.emplace(options.script, options.shots);
  const MessageBoxWatcher boxes(
      [&](const MessageBoxWatcher::Box& box) {
        output.MsgBox(box.title, box.icon, box.text);
        if (!shots || !shots->TakeBox(box.window)) MessageBoxWatcher::Answer(box.window);
      },
      true);
  HostWindow window({[&output](std::u16string_view text) {
                       output.SetName(text);
                       return true;
                     },
                     [&](const std::function<void()>& continueInside) {
                       if (next >= lines.size() || exitCode != 0) {
                         if (shots) shots->Before(0);
                         return false;
                       }
                       const script::ParsedLine& line = lines[next++];
                       if (shots) shots->Before(line.lineNumber);
                       const script::Command& command = line.command;
                       if (command.verb == script::Verb::kCall && command.operation->name == "Configure") {
                         continueInside();
                       }
                       try {
                         runner.Execute(line.command);
                         host.ReportFinishedConfigure();
                       } catch (const script::SyntaxError& error) {
                         std::cerr << options.script << ":" << line.lineNumber << ": " << error.what() << "\n";
                         exitCode = dynamic_cast<const Unsupported*>(&error) ? 3 : 2;
                       }
                       return next < lines.size() && exitCode == 0;
                     }});
  window.Run();
  return exitCode;
}

}  // namespace

}  // namespace velmora::testhost

int main(int argc, char** argv) {
  // Output lines end in "\n" and carry UTF-8, on every host alike.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  velmora::testhost::Options options;
  if (!velmora::testhost::ParseOptions(argc, argv, options)) {
    std::cerr << velmora::testhost::kUsage;
    return 2;
  }
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::cerr << "velmora-testhost: cannot initialise COM\n";
    return 1;
  }
  int exitCode = 1;
  try {
    exitCode = velmora::testhost::Run(options);
  } catch (const std::exception& error) {
    std::cerr << "velmora-testhost: " << error.what() << "\n";
  }
  ::CoUninitialize();
  return exitCode;
}
