// The static C++ runtime's mutexes (libgcc's win32 threads) each create a semaphore that
// nothing ever closes: harmless in a program, but a DLL that unloads would leave one behind
// per load. The link routes the runtime's CreateSemaphoreW through here (--wrap, see
// CMakeLists.txt), and the DLL closes what was made when it is unloaded, when none of its
// code can run any more.
#include "runtime_semaphores.h"

#include <array>
#include <atomic>

namespace {

using CreateSemaphoreFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);

#ifdef _WIN64
#define VELMORA_IMPORT_POINTER(prefix) prefix "__imp_CreateSemaphoreW"
#else
#define VELMORA_IMPORT_POINTER(prefix) prefix "__imp__CreateSemaphoreW@16"
#endif

std::array<std::atomic<HANDLE>, 32> made{};
std::atomic<std::size_t> count{0};
std::atomic<CreateSemaphoreFunction> realCreate{nullptr};

HANDLE WINAPI CreateRecorded(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name);

}  // namespace

extern "C" {
CreateSemaphoreFunction wrappedCreateSemaphore asm(VELMORA_IMPORT_POINTER("__wrap_")) = &CreateRecorded;
}

namespace {

HANDLE WINAPI CreateRecorded(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name) {
  // Every reference to the import goes through the wrapper, this one's too: kernel32's own
  // entry is looked up instead (no guarded static: its guard takes a runtime mutex).
  CreateSemaphoreFunction real = realCreate.load();
  if (!real) {
    real = reinterpret_cast<CreateSemaphoreFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CreateSemaphoreW")));
    realCreate.store(real);
  }
  const HANDLE semaphore = real ? real(security, initial, maximum, name) : nullptr;
  // Beyond the table a semaphore is kept, as it would be without this.
  if (const std::size_t slot = count++; semaphore && slot < made.size()) made[slot] = semaphore;
  return semaphore;
}

}  // namespace

namespace velmora::win32 {

void CloseRuntimeSemaphores() {
  const std::size_t recorded = count.exchange(0);
  for (std::size_t slot = 0; slot < recorded && slot < made.size(); ++slot) {
    if (const HANDLE semaphore = made[slot].exchange(nullptr)) ::CloseHandle(semaphore);
  }
}

}  // namespace velmora::win32
