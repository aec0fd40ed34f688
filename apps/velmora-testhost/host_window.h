#pragma once
// The emulator's own top-level window. It receives the plug-in's "Pelmar_SetName" as a
// messenger's main window does, and it runs the script one command per posted message, so
// a dialog that runs its own modal loop keeps the script going from inside that loop.
// The message for the next command is posted before a command that may block in such a
// loop, and after any other: a message box's own loop then runs no command of the script.
#include <windows.h>

#include <functional>
#include <string_view>

#include "raii.h"

namespace velmora::testhost {

class HostWindow {
 public:
  struct Events {
    // A nickname arrived; the answer is the message's reply.
    std::function<bool(std::u16string_view text)> setName;
    // Runs the next script command; false when the script is over. Before a command that
    // may block, it calls `continueInside` so the commands after it run inside the block.
    std::function<bool(const std::function<void()>& continueInside)> runNext;
  };

  explicit HostWindow(Events events);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  // Pumps messages and runs the script until it ends.
  void Run();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  Events events_;
  UINT setNameMessage_ = 0;
  bool finished_ = false;
  win32::UniqueHwnd window_;
};

}  // namespace velmora::testhost
