#include "ports/controls.h"

namespace velmora {

const std::array<ControlInfo, kControlCount>& Controls() {
  using enum ControlKind;
  static const std::array<ControlInfo, kControlCount> kControls{{
      {ControlId::cmdEnable, u"cmdEnable", kButton, u"Enable", {3, 4, 115, 15}},
      {ControlId::Label2, u"Label2", kLabel, u"", {3, 22, 115, 24}},
      {ControlId::Text2, u"Text2", kTextBox, u"", {3, 48, 115, 12}},
      {ControlId::Label10, u"Label10", kLabel, u"Date", {3, 65, 49, 8}},
      {ControlId::Label9, u"Label9", kLabel, u"Time", {63, 65, 55, 8}},
      {ControlId::txtDate, u"txtDate", kLockedTextBox, u"99-99-9999", {3, 74, 49, 12}},
      {ControlId::udDate, u"udDate", kSpin, u"", {52, 74, 8, 12}},
      {ControlId::txtTime, u"txtTime", kLockedTextBox, u"99:99:99", {63, 74, 47, 12}},
      {ControlId::udTime, u"udTime", kSpin, u"", {110, 74, 8, 12}},
      {ControlId::calDate, u"calDate", kCalendar, u"", {3, 89, 115, 106}},
      // "&&" shows as one ampersand.
      {ControlId::Label11, u"Label11", kLabel, u"Final Result of Time && Date", {3, 92, 115, 8}},
      {ControlId::txtDateTime, u"txtDateTime", kLockedTextBox, u"", {3, 101, 115, 12}},
      {ControlId::Label12, u"Label12", kLabel, u"Count Type", {3, 120, 115, 8}},
      {ControlId::Combo1, u"Combo1", kList, u"Choose Count Type", {3, 129, 115, 60}},
      {ControlId::Label8, u"Label8", kLabel, u"Delay for each change", {3, 148, 115, 8}},
      {ControlId::cmbDelay, u"cmbDelay", kList, u"Choose Delay", {3, 157, 115, 100}},
      {ControlId::Label13, u"Label13", kLabel, u"Repeat", {3, 200, 115, 8}},
      {ControlId::cmbRepeat, u"cmbRepeat", kDropList, u"Once", {3, 209, 115, 60}},
      {ControlId::Label14, u"Label14", kLabel, u"Text at the target", {3, 228, 115, 8}},
      {ControlId::txtDone, u"txtDone", kTextBox, u"", {3, 237, 115, 12}},
      {ControlId::Label1, u"Label1", kLabel, u"Preview", {3, 254, 115, 8}},
      {ControlId::Text9, u"Text9", kTextBox, u"", {3, 263, 115, 12}},
      {ControlId::cmdOk, u"cmdOk", kButton, u"&Ok", {3, 285, 56, 15}},
      {ControlId::cmdCancel, u"cmdCancel", kButton, u"&Cancel", {62, 285, 56, 15}},
  }};
  return kControls;
}

const ControlInfo& Info(ControlId id) { return Controls()[static_cast<std::size_t>(id)]; }

bool IsEditable(ControlId id) {
  const ControlKind kind = Info(id).kind;
  return kind == ControlKind::kTextBox || kind == ControlKind::kList;
}

std::optional<ControlId> ControlByName(std::u16string_view name) {
  for (const ControlInfo& info : Controls()) {
    if (info.name == name) return info.id;
  }
  return std::nullopt;
}

const std::vector<ControlId>& TabOrder() {
  using enum ControlId;
  static const std::vector<ControlId> kOrder{cmdOk,   cmdCancel, Text2,   Combo1,      cmbDelay,
                                             cmbRepeat, txtDone, udTime,  txtTime,   txtDate,
                                             udDate,  calDate, txtDateTime, cmdEnable, Text9};
  return kOrder;
}

}  // namespace velmora
