#pragma once
// Message boxes shown on the calling thread, seen as the user sees them: a computer-based
// training hook reads each box's title, icon and text when the box is activated, reports
// them, and answers OK (the only button the plug-in's boxes have).
#include <windows.h>

#include <functional>
#include <set>
#include <string_view>

#include "ports/dialog_view.h"

namespace velmora::testhost {

class MessageBoxWatcher {
 public:
  struct Box {
    HWND window;
    std::u16string title;
    MessageIcon icon;
    std::u16string text;
  };
  // `seen` runs once per box; the box is answered when it returns, unless `answerLater`
  // is set, in which case the caller answers it with Answer() in its own time.
  explicit MessageBoxWatcher(std::function<void(const Box&)> seen, bool answerLater = false);
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  static void Answer(HWND box);

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
  void Activated(HWND window);

  std::function<void(const Box&)> seen_;
  bool answerLater_;
  std::set<HWND> reported_;
  HHOOK hook_ = nullptr;
  MessageBoxWatcher* previous_ = nullptr;
};

}  // namespace velmora::testhost
