#include "name_channel_win32.h"

#include <windows.h>

#include "raii.h"
#include "text_win32.h"

namespace velmora::win32 {

namespace {
// All bits set: the system takes it as a broadcast, as it does HWND_BROADCAST.
const HWND kEveryWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
// How long a window of another thread may take before it counts as not answering; a
// window that keeps pumping messages is waited for as long as it needs.
constexpr UINT kHungWindowTimeoutMs = 5000;
}  // namespace

bool BroadcastNameChannel::SetName(std::u16string_view text) {
  if (closed_) return true;
  // The name is registered on every call; the system answers the same number each time.
  const UINT message = ::RegisterWindowMessageA(kSetNameMessage);
  if (message == 0) return false;
  // The receiver reads the text while handling the message; the copy lives until then.
  UniqueBstr copy = ToBstr(text);
  if (!copy) return false;
  DWORD_PTR reply = 0;
  const LRESULT sent = ::SendMessageTimeoutW(kEveryWindow, message, reinterpret_cast<WPARAM>(copy.get()), 1,
                                             SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG, kHungWindowTimeoutMs,
                                             &reply);
  return sent != 0 && reply != 0;
}

}  // namespace velmora::win32
