// What the DLL knows about itself, kept apart from its exports so that the ports work in
// any module (the tests link them into a program).
#include "module.h"

#include <atomic>

namespace velmora::win32 {

namespace {
HMODULE module = nullptr;
std::atomic<long> liveThings{0};
std::atomic<long> pins{0};
// Pins let go of whose loader reference a thread-pool callback has still to drop.
std::atomic<long> pendingReleases{0};

// Long enough for the thread that let go to have returned out of the DLL's code, which
// takes it a few instructions.
constexpr LONGLONG kReleaseDelay = -50 * 10'000;  // 50 ms, relative, in 100-ns units

void CALLBACK ReleaseReference(PTP_CALLBACK_INSTANCE instance, void*, PTP_TIMER timer) {
  ::CloseThreadpoolTimer(timer);
  --pendingReleases;
  // The pool drops the reference once this callback has returned, so no code of the DLL
  // runs when it unmaps.
  ::FreeLibraryWhenCallbackReturns(instance, module);
}
}  // namespace

void SetThisModule(HMODULE handle) { module = handle; }

HMODULE ThisModule() { return module ? module : ::GetModuleHandleW(nullptr); }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::u16string BaseNameOf(std::wstring_view path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  std::wstring_view name = path.substr(slash == std::wstring_view::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring_view::npos) name = name.substr(0, dot);
  return {name.begin(), name.end()};
}

std::u16string ModuleBaseName() { return BaseNameOf(ModulePath()); }

void LockModule() { ++liveThings; }
void UnlockModule() { --liveThings; }

void PinModule() {
  if (!module || pins++ != 0) return;
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&PinModule), &self);
}

void UnpinModule(Unpin how) {
  if (!module || --pins != 0) return;
  if (how == Unpin::kNow) {
    ::FreeLibrary(module);
    return;
  }
  ++pendingReleases;
  if (const PTP_TIMER timer = ::CreateThreadpoolTimer(&ReleaseReference, nullptr, nullptr)) {
    FILETIME due{};
    due.dwLowDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(kReleaseDelay));
    due.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(kReleaseDelay) >> 32);
    ::SetThreadpoolTimer(timer, &due, 0, 0);
    return;
  }
  // Without a pool the reference stays: the DLL remains mapped, which is safe.
  --pendingReleases;
}

bool ModuleInUse() { return liveThings.load() != 0 || pins.load() != 0 || pendingReleases.load() != 0; }

}  // namespace velmora::win32

