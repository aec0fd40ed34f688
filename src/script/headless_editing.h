#pragma once
// What a real toolkit's fields do by themselves, done for the headless dialog: the caret
// keys, Delete, a list's Up and Down, and typed characters going in at the caret. The model
// sees the outcome as user edits, as it would from a window.
#include <cstdint>

#include "dialog/form1.h"

namespace velmora::script {

// A key with no character: the control's key-down handler, then, unless the handler
// consumed the key, the field's own action: Left, Right, Home and End move the caret,
// Delete deletes, Up and Down choose a list's neighbouring row.
void PressKey(Form1& form, ControlId control, std::int32_t keyCode);

// One typed character as a keyboard delivers it: key-down, key press, and, unless the
// handler discarded it, the character in at the caret replacing the selection (\b deletes
// before the caret; Enter adds nothing to a one-line field). Locked fields take nothing.
void TypeCharacter(Form1& form, ControlId control, char16_t character, std::int32_t keyCode);

}  // namespace velmora::script
