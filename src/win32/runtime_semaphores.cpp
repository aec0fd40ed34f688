// The static runtime's mutexes (win32 threads) each make a semaphore. Some are closed by the
// runtime's own exit handlers (the exception-memory pool's), others never are (libsupc++'s
// guard mutex, and on x86 libgcc's DW2 frame registry, deregistered from an exit handler):
// harmless in a program, but a DLL that unloads would leave them behind at every load.
//
// The link routes the runtime's CreateSemaphoreW and every CloseHandle of the DLL through
// here (--wrap, see CMakeLists.txt): a semaphore made is recorded, one closed by anybody is
// forgotten, and whatever is still recorded once the last exit handler has run is closed,
// so none is closed twice and none leaks.
#include "runtime_semaphores.h"

#include <array>
#include <atomic>
#include <cstdlib>

// libsupc++'s, undeclared in its headers.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

using CreateSemaphoreFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
using CloseHandleFunction = BOOL(WINAPI*)(HANDLE);

// ld's --wrap matches a name without the target's leading underscore and puts the underscore
// back before __wrap_/__real_: on x86 the import pointer __imp__CloseHandle@4 is wrapped as
// "_imp__CloseHandle@4" and its wrapper is ___wrap__imp__CloseHandle@4.
#ifdef _WIN64
#define VELMORA_WRAPPED(prefix, name, bytes) prefix "__imp_" name
#else
#define VELMORA_WRAPPED(prefix, name, bytes) "_" prefix "_imp__" name "@" bytes
#endif

std::array<std::atomic<HANDLE>, 32> made{};
std::atomic<bool> unloading{false};

HANDLE WINAPI CreateRecorded(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name);
BOOL WINAPI CloseForgotten(HANDLE handle);

}  // namespace

extern "C" {
CreateSemaphoreFunction wrappedCreateSemaphore asm(VELMORA_WRAPPED("__wrap_", "CreateSemaphoreW", "16")) =
    &CreateRecorded;
CloseHandleFunction wrappedCloseHandle asm(VELMORA_WRAPPED("__wrap_", "CloseHandle", "4")) = &CloseForgotten;
// kernel32's own CloseHandle: the import the wrapper replaced.
extern CloseHandleFunction realCloseHandle asm(VELMORA_WRAPPED("__real_", "CloseHandle", "4"));
}

namespace {

HANDLE WINAPI CreateRecorded(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name) {
  // Looked up rather than imported, so the DLL's imports show that nothing bypasses this
  // (no guarded static either: its guard takes a runtime mutex).
  static std::atomic<CreateSemaphoreFunction> realCreate{nullptr};
  CreateSemaphoreFunction real = realCreate.load();
  if (!real) {
    real = reinterpret_cast<CreateSemaphoreFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CreateSemaphoreW")));
    realCreate.store(real);
  }
  const HANDLE semaphore = real ? real(security, initial, maximum, name) : nullptr;
  if (!semaphore) return semaphore;
  // Beyond the table a semaphore is kept, as it would be without this.
  for (std::atomic<HANDLE>& slot : made) {
    HANDLE empty = nullptr;
    if (slot.compare_exchange_strong(empty, semaphore)) break;
  }
  return semaphore;
}

BOOL WINAPI CloseForgotten(HANDLE handle) {
  if (handle) {
    for (std::atomic<HANDLE>& slot : made) {
      HANDLE recorded = handle;
      if (slot.compare_exchange_strong(recorded, nullptr)) break;
    }
  }
  return realCloseHandle(handle);
}

void CloseLeftovers() {
  if (!unloading.load()) return;
  // What the runtime allocates once per load and keeps for the process's life (the
  // emergency exception pool): freed now that none of its users is left.
  __gnu_cxx::__freeres();
  for (std::atomic<HANDLE>& slot : made) {
    if (const HANDLE semaphore = slot.exchange(nullptr)) realCloseHandle(semaphore);
  }
}

// The DLL's exit handlers run last registered first, after DllMain. Registered from the C++
// initializer table, which the runtime runs before any constructor (and so before any handler
// of the runtime's own is registered), this one runs after all of them.
void RegisterCloseLeftovers() { std::atexit(&CloseLeftovers); }
__attribute__((used, section(".CRT$XCU"))) void (*const registerCloseLeftovers)() = &RegisterCloseLeftovers;

}  // namespace

namespace velmora::win32 {

void RuntimeSemaphoresDetach(bool unloadingByFreeLibrary) { unloading.store(unloadingByFreeLibrary); }

}  // namespace velmora::win32
