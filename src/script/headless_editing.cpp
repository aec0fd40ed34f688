#include "script/headless_editing.h"

#include <algorithm>
#include <string>

#include "ports/key_codes.h"

namespace velmora::script {

namespace {

void FieldKeyDown(Form1& form, ControlId control, std::int32_t keyCode) {
  if (keyCode == 0) return;
  const ControlState& field = form.Control(control);
  const auto length = static_cast<std::int32_t>(field.text.size());
  const std::int32_t caret = std::clamp(field.selStart, 0, length);
  const ControlKind kind = Info(control).kind;
  if ((kind == ControlKind::kList || kind == ControlKind::kDropList) && (keyCode == kKeyUp || keyCode == kKeyDown)) {
    const std::int32_t last = static_cast<std::int32_t>(field.rows.size()) - 1;
    const std::int32_t row = keyCode == kKeyDown ? std::min(field.row + 1, last) : std::max(field.row - 1, 0);
    if (row != field.row && !field.rows.empty()) form.UserSelectRow(control, row);
    return;
  }
  switch (keyCode) {
    case kKeyLeft:
      form.UserMoveCaret(control, std::max(caret - 1, 0));
      break;
    case kKeyRight:
      form.UserMoveCaret(control, std::min(caret + 1, length));
      break;
    case kKeyHome:
      form.UserMoveCaret(control, 0);
      break;
    case kKeyEnd:
      form.UserMoveCaret(control, length);
      break;
    case kKeyDelete: {
      if (!IsEditable(control)) break;
      std::u16string text = field.text;
      const std::int32_t count = field.selLength > 0 ? std::min(field.selLength, length - caret)
                                                     : std::min(1, length - caret);
      text.erase(static_cast<std::size_t>(caret), static_cast<std::size_t>(count));
      form.UserSetText(control, text, caret);
      break;
    }
    default:
      break;
  }
}

void InsertCharacter(Form1& form, ControlId control, char16_t character) {
  if (!IsEditable(control) || character == kKeyEnter) return;
  const ControlState& field = form.Control(control);
  std::u16string text = field.text;
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t start = std::clamp(field.selStart, 0, length);
  const std::int32_t selected = std::clamp(field.selLength, 0, length - start);
  text.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(selected));
  if (character == kKeyBackspace) {
    if (selected == 0 && start > 0) text.erase(static_cast<std::size_t>(--start), 1);
  } else {
    text.insert(static_cast<std::size_t>(start++), 1, character);
  }
  form.UserSetText(control, text, start);
}

}  // namespace

void PressKey(Form1& form, ControlId control, std::int32_t keyCode) {
  FieldKeyDown(form, control, form.UserKeyDown(control, keyCode));
}

void TypeCharacter(Form1& form, ControlId control, char16_t character, std::int32_t keyCode) {
  // A key-down that consumes its key does not stop the character that follows it.
  form.UserKeyDown(control, keyCode);
  if (form.UserKeyPress(control, character)) InsertCharacter(form, control, character);
}

}  // namespace velmora::script
