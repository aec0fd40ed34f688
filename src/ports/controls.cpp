#include "ports/controls.h"

namespace velmora {

const std::array<ControlInfo, kControlCount>& Controls() {
  using enum ControlKind;
  static const std::array<ControlInfo, kControlCount> kControls{{
      {ControlId::cmdEnable, u"cmdEnable", kButton, u"Enable"},
      {ControlId::Label2, u"Label2", kLabel, u""},
      {ControlId::Text2, u"Text2", kTextBox, u""},
      {ControlId::Label10, u"Label10", kLabel, u"Date"},
      {ControlId::Label9, u"Label9", kLabel, u"Time"},
      {ControlId::txtDate, u"txtDate", kLockedTextBox, u"99-99-9999"},
      {ControlId::udDate, u"udDate", kSpin, u""},
      {ControlId::txtTime, u"txtTime", kLockedTextBox, u"99:99:99"},
      {ControlId::udTime, u"udTime", kSpin, u""},
      {ControlId::calDate, u"calDate", kCalendar, u""},
      // "&&" shows as one ampersand.
      {ControlId::Label11, u"Label11", kLabel, u"Final Result of Time && Date"},
      {ControlId::txtDateTime, u"txtDateTime", kLockedTextBox, u""},
      {ControlId::Label12, u"Label12", kLabel, u"Count Type"},
      {ControlId::Combo1, u"Combo1", kList, u"Choose Count Type"},
      {ControlId::Label8, u"Label8", kLabel, u"Delay for each change"},
      {ControlId::cmbDelay, u"cmbDelay", kList, u"Choose Delay"},
      {ControlId::Label13, u"Label13", kLabel, u"Repeat"},
      {ControlId::cmbRepeat, u"cmbRepeat", kDropList, u"Once"},
      {ControlId::Label14, u"Label14", kLabel, u"Text at the target"},
      {ControlId::txtDone, u"txtDone", kTextBox, u""},
      {ControlId::Label1, u"Label1", kLabel, u"Preview"},
      {ControlId::Text9, u"Text9", kTextBox, u""},
      {ControlId::cmdOk, u"cmdOk", kButton, u"&Ok"},
      {ControlId::cmdCancel, u"cmdCancel", kButton, u"&Cancel"},
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
