// The dialog's settings in the store: read into the state and the controls at load and by
// Cancel, written by OK.
#include "dialog/form1.h"
#include "settings/conversions.h"

namespace velmora {

void Form1::Loadsetting() {
  const Regional& regional = *platform_.regional;
  const DateTime now = platform_.clock->Now();

  // A stored value that does not convert counts as missing: the key's default is used and
  // the load goes on, so a damaged store never stops the plug-in.
  state_.bEnabled = ToBoolean(settings_.GetSetting(kKeyEnable, false)).value_or(false);
  const Value nick = settings_.GetSetting(kKeyNick, std::u16string{});
  state_.sNick = std::get<std::u16string>(nick);
  state_.nCountType = ToCountType(settings_.GetSetting(kKeyType, std::int32_t{0})).value_or(0);
  const DateTime today = now.DatePart();
  dTargetDate = ToTargetDate(settings_.GetSetting(kKeyToDate, today), regional).value_or(today).DatePart();
  const DateTime timeOfDay = now.TimePart();
  dTargetTime =
      ToTargetTime(settings_.GetSetting(kKeyToTime, timeOfDay), regional).value_or(timeOfDay).TimePart();
  const Value code = settings_.GetSetting(kKeyInterval, std::u16string{u"1m"});
  state_.sDelayCode = std::get<std::u16string>(code);
  state_.nRepeat = ToRepeat(settings_.GetSetting(kKeyRepeat, std::int32_t{0})).value_or(0);
  const Value nickDone = settings_.GetSetting(kKeyNickDone, std::u16string{});
  state_.sNickDone = std::get<std::u16string>(nickDone);

  FixInterval();
  SetText(ControlId::Text2, state_.sNick);
  RefreshCombinedField();
  SetText(ControlId::txtDate, regional.DateTimeToText(dTargetDate));
  SetText(ControlId::txtTime, IsoTimeText(dTargetTime));
  SetRow(ControlId::Combo1, state_.nCountType - 1);
  SetRow(ControlId::cmbRepeat, state_.nRepeat);
  SetText(ControlId::txtDone, state_.sNickDone);
  // The handlers above refresh the preview only when a control really changed; the target
  // may have changed alone.
  RefreshPreview();

  schedule_.Split(state_.nDelaySeconds);

  if (state_.bEnabled) {
    SetText(ControlId::cmdEnable, u"Disable");
    timCount_->SetEnabled(true);
    platform_.nameChannel->SetName(UpdateNick());
  } else {
    SetText(ControlId::cmdEnable, u"Enable");
    timCount_->SetEnabled(false);
  }
}

void Form1::StoreSettings() {
  settings_.SaveSetting(kKeyEnable, state_.bEnabled);
  settings_.SaveSetting(kKeyNick, state_.sNick);
  settings_.SaveSetting(kKeyType, std::int32_t{state_.nCountType});
  // The target in fixed forms and a delay code with ".": texts that read the same under
  // any regional setting, so a change of the user's forms cannot move the target.
  state_.sDelayCode = PortableDelayCode(state_.sDelayCode, platform_.regional->DecimalSeparator());
  settings_.SaveSetting(kKeyToDate, IsoDateText(dTargetDate));
  settings_.SaveSetting(kKeyToTime, IsoTimeText(dTargetTime));
  settings_.SaveSetting(kKeyInterval, state_.sDelayCode);
  settings_.SaveSetting(kKeyRepeat, std::int32_t{state_.nRepeat});
  settings_.SaveSetting(kKeyNickDone, state_.sNickDone);
}

void Form1::FixInterval() {
  const DelayCodeMeaning meaning =
      InterpretDelayCode(state_.sDelayCode, platform_.regional->DecimalSeparator());
  if (meaning.row >= 0) {
    SetRow(ControlId::cmbDelay, meaning.row);
  } else {
    SetText(ControlId::cmbDelay, meaning.listText);
  }
  state_.nDelaySeconds = meaning.seconds;
}

}  // namespace velmora
