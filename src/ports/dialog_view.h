#pragma once
// What a toolkit does for the configuration dialog: render the model's control state and
// show message boxes. User input flows the other way, into Form1's User* entry points.
#include <string_view>

#include "ports/controls.h"

namespace velmora {

enum class MessageIcon { kNone, kInformation };

class DialogView {
 public:
  virtual ~DialogView() = default;
  // A control's state changed in the model (text, caption, selection, row, visibility).
  virtual void ControlChanged(ControlId control) = 0;
  virtual void FocusChanged(ControlId control) = 0;
  // Shows the window. A blocking toolkit returns only when Hide() ends the modal display;
  // a headless view returns at once and the host watches for Hide().
  virtual void ShowModal() = 0;
  virtual void Hide() = 0;
  // A modal box with an OK button; returns when the user has answered it.
  virtual void MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon) = 0;
};

// A view nobody looks at: renders nothing, shows nothing, answers each message box at once.
// Views that care about only some of these override just those.
class UnseenView : public DialogView {
 public:
  void ControlChanged(ControlId) override {}
  void FocusChanged(ControlId) override {}
  void ShowModal() override {}
  void Hide() override {}
  void MessageBox(std::u16string_view, std::u16string_view, MessageIcon) override {}
};

}  // namespace velmora
