#pragma once
// The script's dialog actions, performed on Velmora's real configuration window through
// its controls' own messages, the way a user's clicks and keys arrive: BM_CLICK, mouse
// messages at a character's or a date's position, the selection and replacement an edit
// gets from typing or pasting, key-down and character messages, a row set in a list with
// the notification a click on it sends, the close box's system command.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/date_time.h"
#include "ports/controls.h"
#include "script/host.h"

namespace velmora::testhost {

class DialogDriver {
 public:
  // The configuration window of the calling thread, or null while none has been made (the
  // window is made when the dialog is first shown).
  static HWND FindWindow();

  explicit DialogDriver(HWND dialog) : dialog_(dialog) {}

  script::Refusal Click(ControlId control, std::optional<std::int32_t> caret) const;
  script::Refusal Focus(ControlId control) const;
  script::Refusal SetText(ControlId control, std::u16string_view text) const;
  script::Refusal Select(ControlId control, std::int32_t row) const;
  script::Refusal Type(ControlId control, std::u16string_view characters) const;
  script::Refusal KeyDown(ControlId control, std::int32_t keyCode) const;
  script::Refusal Spin(ControlId spin, bool up) const;
  script::Refusal Pick(DateTime date) const;
  void Close() const;

  // What the control shows: its text, selection, chosen row and own visibility flag.
  [[nodiscard]] ControlState Read(ControlId control) const;
  [[nodiscard]] bool Visible() const;

  [[nodiscard]] HWND Control(ControlId control) const;
  // Where the control's text is edited: a list's edit field, else the control itself.
  [[nodiscard]] HWND EditField(ControlId control) const;

 private:
  // "<name> is hidden" when no user could reach the control.
  [[nodiscard]] script::Refusal Hidden(ControlId control) const;
  void Press(HWND target, std::int32_t keyCode, std::optional<char16_t> character) const;

  HWND dialog_;
};

}  // namespace velmora::testhost
