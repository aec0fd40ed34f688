// Program writes to the controls' state. Each tells the view, and runs the control's
// change or selection handler only when the value really changes, so a write never echoes.
#include <algorithm>

#include "dialog/form1.h"

namespace velmora {

const ControlState& Form1::Control(ControlId control) const {
  return controls_[static_cast<std::size_t>(control)];
}

ControlState& Form1::Mutable(ControlId control) { return controls_[static_cast<std::size_t>(control)]; }

void Form1::Changed(ControlId control) { view_->ControlChanged(control); }

void Form1::SetText(ControlId control, std::u16string_view text) {
  ControlState& state = Mutable(control);
  if (state.text == text) return;
  state.text = text;
  // A list's selected row follows its text.
  if (state.row >= 0 && state.rows[static_cast<std::size_t>(state.row)] != text) state.row = -1;
  const auto length = static_cast<std::int32_t>(state.text.size());
  state.selStart = std::min(state.selStart, length);
  state.selLength = std::min(state.selLength, length - state.selStart);
  Changed(control);
  if (control == ControlId::Text2) Text2_Change();
  if (control == ControlId::txtDone) txtDone_Change();
}

void Form1::SetRow(ControlId control, std::int32_t row) {
  ControlState& list = Mutable(control);
  if (row < -1 || row >= static_cast<std::int32_t>(list.rows.size())) row = -1;
  // A list left without a row by a typed text still shows that text: deselecting puts the
  // prompt back all the same.
  if (row == -1 && list.row == -1 && list.text != Info(control).designText) {
    list.text = Info(control).designText;
    list.selStart = list.selLength = 0;
    Changed(control);
    return;
  }
  if (list.row == row) return;
  list.row = row;
  // Without a row the list shows its prompt again.
  list.text = row >= 0 ? list.rows[static_cast<std::size_t>(row)] : std::u16string{Info(control).designText};
  list.selStart = list.selLength = 0;
  Changed(control);
  if (control == ControlId::Combo1) Combo1_Click();
  if (control == ControlId::cmbDelay) cmbDelay_Click();
  if (control == ControlId::cmbRepeat) cmbRepeat_Click();
}

void Form1::SetSelection(ControlId control, std::int32_t start, std::int32_t length) {
  ControlState& state = Mutable(control);
  if (state.selStart == start && state.selLength == length) return;
  state.selStart = start;
  state.selLength = length;
  Changed(control);
}

void Form1::SetVisible(ControlId control, bool visible) {
  ControlState& state = Mutable(control);
  if (state.visible == visible) return;
  state.visible = visible;
  Changed(control);
}

void Form1::SetFocus(ControlId control) {
  if (focus_ == control) return;
  focus_ = control;
  view_->FocusChanged(control);
  if (control == ControlId::txtDate) txtDate_GotFocus();
}

void Form1::MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon) {
  view_->MessageBox(title, text, icon);
}

}  // namespace velmora
