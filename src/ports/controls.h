#pragma once
// The controls of the configuration dialog and the state the model keeps for each.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Top to bottom, as the window lays them out.
enum class ControlId {
  cmdEnable,
  Label2,
  Text2,
  Label10,
  Label9,
  txtDate,
  udDate,
  txtTime,
  udTime,
  calDate,
  Label11,
  txtDateTime,
  Label12,
  Combo1,
  Label8,
  cmbDelay,
  Label13,
  cmbRepeat,
  Label14,
  txtDone,
  Label1,
  Text9,
  cmdOk,
  cmdCancel,
};
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::cmdCancel) + 1;

// A list's text can be typed; a drop list's text is always its selected row's.
enum class ControlKind { kButton, kLabel, kTextBox, kLockedTextBox, kList, kDropList, kSpin, kCalendar };

// Where the window places a control, in dialog units: quarters of the font's average character
// width across, eighths of its line height down. A list's height includes its dropped rows.
struct DesignBox {
  short x, y, width, height;
};
inline constexpr DesignBox kDesignClient{0, 0, 121, 304};  // the window's inside

struct ControlInfo {
  ControlId id;
  std::u16string_view name;
  ControlKind kind;
  std::u16string_view designText;
  DesignBox box;
};

// The open calendar lies over the rows from Label11 to cmbDelay; those below move down when it
// needs more room than its box.
constexpr bool UnderOpenCalendar(ControlId id) {
  return id > ControlId::calDate && id <= ControlId::cmbDelay;
}

// Every control with its name, kind, design-time text and place, in ControlId order.
const std::array<ControlInfo, kControlCount>& Controls();
const ControlInfo& Info(ControlId id);
std::optional<ControlId> ControlByName(std::u16string_view name);

// Text boxes and lists take the user's typing; locked text boxes and the rest do not.
bool IsEditable(ControlId id);

// Keyboard focus order; the first takes the focus when the dialog is first shown.
const std::vector<ControlId>& TabOrder();

struct ControlState {
  std::u16string text;  // a text box's text, a list's edit text, a button's or label's caption
  std::int32_t selStart = 0;
  std::int32_t selLength = 0;
  std::int32_t row = -1;  // lists and drop lists: the selected row, -1 for none
  std::vector<std::u16string> rows;
  bool visible = true;
};

}  // namespace velmora
