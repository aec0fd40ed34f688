// What the DLL knows about itself, kept apart from its exports so that the ports work in
// any module (the tests link them into a program).
#include "module.h"

#include <atomic>

namespace velmora::win32 {

namespace {
HMODULE module = nullptr;
std::atomic<long> liveThings{0};
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

bool ModuleInUse() { return liveThings.load() != 0; }

}  // namespace velmora::win32

