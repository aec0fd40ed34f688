#include "dialog/form1.h"

#include <algorithm>

#include "base/text.h"
#include "engine/nickname_template.h"
#include "engine/number_reading.h"
#include "ports/key_codes.h"

namespace velmora {

namespace {

constexpr std::u16string_view kHelpCaption =
    u"Enter your nickname here\r\nDouble Click here for help on using the different tags!";
constexpr std::u16string_view kHelpTitle = u"Help!";
constexpr std::u16string_view kHelpText =
    u"Put in the tags for the times you want, use double letter for leading zero's:\r\n"
    u"%y = Years, %d = Days, %h = Hours, %m = Minutes, %s = Seconds\r\n"
    u"Use letters in brackets [] to make it only appear when the number equals 1,\r\n"
    u"remember to include the corrisponding tag for the date/time followed by the tag that has to "
    u"follow\r\n"
    u"[y$] = Year, [d$] = Day, [h$] = Hour, [m$] = Minut, [s$] = Second\r\n"
    u"Replacing the $, so eg:\r\n"
    u"day[ds] will give the result day when days count = 1, and days when days count <> 1\r\n"
    u"%w = Weeks, %b = Working days (Mon-Fri), [w$] = Week, [b$] = Working day";
constexpr std::u16string_view kChooseCountType = u"You need to choose a count type";
constexpr std::u16string_view kOwnDelayPrompt = u"Enter Number of Seconds";
constexpr std::u16string_view kZeroDelayWarning =
    u"Delay Time is not correct, time was set to 0 seconds which means that the timer won't run!";

}  // namespace

Form1::Form1(PluginState& state, SettingsStore& settings, const Platform& platform)
    : state_(state),
      settings_(settings),
      platform_(platform),
      timCount_(platform.makeTimer()),
      schedule_(*timCount_) {
  for (const ControlInfo& info : Controls()) {
    ControlState& control = controls_[static_cast<std::size_t>(info.id)];
    control.text = std::u16string{info.designText};
  }
  Mutable(ControlId::Combo1).rows = {u"Count Up", u"Count Down"};
  for (const DelayRow& row : DelayRows()) Mutable(ControlId::cmbDelay).rows.emplace_back(row.text);
  // In the order of the stored digits.
  Mutable(ControlId::cmbRepeat).rows = {u"Once", u"Every day", u"Every week", u"Every month", u"Every year"};
  Mutable(ControlId::cmbRepeat).row = 0;
  Mutable(ControlId::calDate).visible = false;

  timCount_->SetInterval(6000);
  timCount_->SetEnabled(false);
  timCount_->SetHandler([this] { timCount_Timer(); });
  view_ = platform.makeView ? platform.makeView(*this) : nullptr;
  if (!view_) view_ = std::make_unique<UnseenView>();
}

Form1::~Form1() {
  // No tick may reach a half-destroyed dialog.
  timCount_->SetEnabled(false);
  timCount_->SetHandler(nullptr);
}

// Lifecycle -------------------------------------------------------------------------------

void Form1::Load() {
  if (loaded_) return;
  loaded_ = true;
  Form_Load();
}

void Form1::ShowModal() {
  Load();
  const bool firstShow = !everShown_;
  everShown_ = true;
  shown_ = true;
  if (firstShow) SetFocus(TabOrder().front());
  // A calendar left open opens again on the target (after Cancel, the reloaded one), not
  // where its keys were left.
  CalendarToTarget();
  // The preview was computed at its last refresh, maybe days ago.
  RefreshPreview();
  view_->ShowModal();
}

void Form1::Hide() {
  if (!shown_) return;
  shown_ = false;
  view_->Hide();
}

void Form1::Form_Load() {
  SetText(ControlId::Label2, kHelpCaption);
  Loadsetting();
  nTimeSegment = 3;
  bOwnDelayEntry = false;
}

// Nickname and preview -------------------------------------------------------------------

std::u16string Form1::UpdateNick() {
  const auto repeat = static_cast<Repeat>(state_.nRepeat);
  const DateTime now = platform_.clock->Now();
  state_.nSecondsDiff = SecondsToTarget(dTargetDate, dTargetTime, now, repeat, state_.nCountType);
  const DateTime target = now.PlusSeconds(state_.nSecondsDiff);
  // Once the one target of a count-down has come, its own text takes over.
  bAtTarget = state_.nCountType == kCountDown && repeat == Repeat::kOnce && state_.nSecondsDiff <= 0 &&
              !state_.sNickDone.empty();
  NickTemplate& nick = bAtTarget ? doneTemplate : nickTemplate;
  nick.Use(bAtTarget ? state_.sNickDone : state_.sNick);
  fncCountStr();
  // Working days count dates, which the seconds alone cannot tell.
  if (nick.Asked().Has(AskedUnits::kWorkDays)) {
    parts.nWorkDays = WorkingDays(now, target, bAtTarget ? kCountUp : state_.nCountType);
  }
  sWorkNick = nick.Expand(parts);
  return sWorkNick;
}

void Form1::fncCountStr() {
  // The text at the target counts up from it.
  if (bAtTarget) {
    parts = CountParts(state_.nSecondsDiff, kCountUp, doneTemplate.Asked());
  } else {
    parts = CountParts(state_.nSecondsDiff, state_.nCountType, nickTemplate.Asked());
  }
}

void Form1::RefreshPreview() { SetText(ControlId::Text9, UpdateNick()); }

void Form1::RefreshCombinedField() {
  const Regional& regional = *platform_.regional;
  SetText(ControlId::txtDateTime, regional.DateTimeToText(dTargetDate.DatePart()) + u" " +
                                      regional.DateTimeToText(dTargetTime.TimePart()));
}

void Form1::timCount_Timer() {
  if (schedule_.Tick()) platform_.nameChannel->SetName(UpdateNick());
}

void Form1::SetTemplateText(std::u16string_view text) {
  Load();
  SetText(ControlId::Text2, text);
}

// Buttons, template and count type ----------------------------------------------------------

void Form1::cmdEnable_Click() {
  if (state_.bEnabled) {
    state_.bEnabled = false;
    timCount_->SetEnabled(false);
    settings_.SaveSetting(kKeyEnable, state_.bEnabled);
    SetText(ControlId::cmdEnable, u"Enable");
  } else {
    state_.bEnabled = true;
    timCount_->SetEnabled(true);
    settings_.SaveSetting(kKeyEnable, state_.bEnabled);
    SetText(ControlId::cmdEnable, u"Disable");
    platform_.nameChannel->SetName(UpdateNick());
  }
}

void Form1::Combo1_Click() {
  state_.nCountType = static_cast<std::int16_t>(Control(ControlId::Combo1).row + 1);
  RefreshPreview();
}

void Form1::Text2_Change() {
  state_.sNick = Control(ControlId::Text2).text;
  RefreshPreview();
}

void Form1::Label2_Click() { MessageBox(kHelpTitle, kHelpText, MessageIcon::kInformation); }

void Form1::cmdOk_Click() {
  // A typed text that is exactly a row's text means that row; any other text is no count
  // type, whether it is the prompt or not.
  const ControlState& countType = Control(ControlId::Combo1);
  const auto typedRow = std::ranges::find(countType.rows, countType.text);
  if (typedRow == countType.rows.end()) {
    MessageBox(kApplicationName, kChooseCountType, MessageIcon::kNone);
    return;
  }
  SetRow(ControlId::Combo1, static_cast<std::int32_t>(typedRow - countType.rows.begin()));
  state_.sNick = Control(ControlId::Text2).text;
  state_.nCountType = static_cast<std::int16_t>(Control(ControlId::Combo1).row + 1);
  schedule_.Split(state_.nDelaySeconds);
  state_.nRepeat = static_cast<std::int16_t>(std::max(Control(ControlId::cmbRepeat).row, 0));
  state_.sNickDone = Control(ControlId::txtDone).text;
  StoreSettings();
  Hide();
}

void Form1::cmdCancel_Click() {
  Loadsetting();
  Hide();
}

// Delay chooser ----------------------------------------------------------------------------

void Form1::cmbDelay_Click() {
  bOwnDelayEntry = false;
  const std::int32_t row = Control(ControlId::cmbDelay).row;
  if (row < 0) return;
  if (row == kOwnDelayRow) {
    bOwnDelayEntry = true;
    SetText(ControlId::cmbDelay, kOwnDelayPrompt);
    // Selected, so the digits the user types replace the prompt.
    SetSelection(ControlId::cmbDelay, 0, static_cast<std::int32_t>(kOwnDelayPrompt.size()));
    SetFocus(ControlId::cmbDelay);
    return;
  }
  const DelayRow& chosen = DelayRows()[static_cast<std::size_t>(row)];
  state_.sDelayCode = chosen.code;
  state_.nDelaySeconds = chosen.seconds;
}

bool Form1::cmbDelay_KeyPress(char16_t character) {
  if (!bOwnDelayEntry) return false;
  if (character != kKeyEnter) return true;
  bOwnDelayEntry = false;
  const double number =
      ReadNumber(Control(ControlId::cmbDelay).text, platform_.regional->DecimalSeparator());
  // A negative number or one beyond 32 bits would break the timer: it is refused like 0.
  const bool usable = number >= 0 && RoundToInt32(number).has_value();
  state_.nDelaySeconds = DelaySecondsFromNumber(number);
  state_.sDelayCode = usable ? OwnDelayCode(number) : u"0";
  if (state_.nDelaySeconds == 0) MessageBox(kApplicationName, kZeroDelayWarning, MessageIcon::kNone);
  return false;
}

// Repeat and the text at the target ----------------------------------------------------------

void Form1::cmbRepeat_Click() {
  state_.nRepeat = static_cast<std::int16_t>(std::max(Control(ControlId::cmbRepeat).row, 0));
  RefreshPreview();
}

void Form1::txtDone_Change() {
  state_.sNickDone = Control(ControlId::txtDone).text;
  RefreshPreview();
}

// User input ---------------------------------------------------------------------------------

void Form1::UserClick(ControlId control, std::optional<std::int32_t> caret) {
  Load();
  if (std::ranges::find(TabOrder(), control) != TabOrder().end()) SetFocus(control);
  switch (control) {
    case ControlId::cmdEnable: cmdEnable_Click(); break;
    case ControlId::cmdOk: cmdOk_Click(); break;
    case ControlId::cmdCancel: cmdCancel_Click(); break;
    case ControlId::Label2: Label2_Click(); break;
    case ControlId::txtTime: {
      const auto length = static_cast<std::int32_t>(Control(control).text.size());
      SetSelection(control, std::clamp(caret.value_or(0), 0, length), 0);
      txtTime_Click();
      break;
    }
    default:
      break;
  }
}

void Form1::UserFocus(ControlId control) {
  Load();
  SetFocus(control);
}

void Form1::UserSetText(ControlId control, std::u16string_view text, std::optional<std::int32_t> caret) {
  Load();
  if (!IsEditable(control)) return;
  SetText(control, text);
  const auto end = static_cast<std::int32_t>(Control(control).text.size());
  SetSelection(control, std::clamp(caret.value_or(end), 0, end), 0);
}

void Form1::UserMoveCaret(ControlId control, std::int32_t caret) {
  Load();
  SetSelection(control, caret, 0);
}

void Form1::UserSelectRow(ControlId control, std::int32_t row) {
  Load();
  ControlState& list = Mutable(control);
  const ControlKind kind = Info(control).kind;
  // A drop list always shows one of its rows.
  const std::int32_t lowest = kind == ControlKind::kDropList ? 0 : -1;
  if ((kind != ControlKind::kList && kind != ControlKind::kDropList) || row < lowest ||
      row >= static_cast<std::int32_t>(list.rows.size())) {
    return;
  }
  list.row = row;
  if (row >= 0) list.text = list.rows[static_cast<std::size_t>(row)];
  Changed(control);
  if (control == ControlId::Combo1) Combo1_Click();
  if (control == ControlId::cmbDelay) cmbDelay_Click();
  if (control == ControlId::cmbRepeat) cmbRepeat_Click();
}

std::int32_t Form1::UserKeyDown(ControlId control, std::int32_t keyCode) {
  Load();
  if (control == ControlId::txtTime) return txtTime_KeyDown(keyCode);
  if (control == ControlId::calDate) {
    keyCode = calDate_KeyDown(keyCode);
    LeaveClosedCalendar();
  }
  return keyCode;
}

bool Form1::UserKeyPress(ControlId control, char16_t character) {
  Load();
  switch (control) {
    case ControlId::cmbDelay:
      return cmbDelay_KeyPress(character);
    case ControlId::txtTime:
      txtTime_KeyPress(character);
      return false;
    default:
      return true;
  }
}

void Form1::UserSpin(ControlId spin, bool up) {
  Load();
  if (spin == ControlId::udTime) udTime_Click(up);
  if (spin == ControlId::udDate) udDate_Click();
}

void Form1::UserClose() {
  Load();
  // The close is refused, so the dialog and its timer live on; it acts as Cancel.
  cmdCancel_Click();
}


}  // namespace velmora
