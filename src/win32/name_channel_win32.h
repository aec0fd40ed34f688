#pragma once
#include "ports/name_channel.h"

namespace velmora::win32 {

inline constexpr char kSetNameMessage[] = "Pelmar_SetName";

// Hands a nickname to the host: the registered message "Pelmar_SetName" to every top-level
// window (handle -1), wParam a BSTR copy of the text, lParam 1. The host's own windows on
// this thread are called directly; a window elsewhere that hangs is skipped instead of
// freezing the host.
class BroadcastNameChannel : public NameChannel {
 public:
  bool SetName(std::u16string_view text) override;
  // From the thread's last CoUninitialize on the host hears nothing more; a name handed
  // over then is dropped as if delivered.
  void Close() { closed_ = true; }

 private:
  bool closed_ = false;
};

}  // namespace velmora::win32
