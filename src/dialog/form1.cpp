#include "dialog/form1.h"

#include <algorithm>

#include "base/text.h"
#include "engine/nickname_template.h"
#include "engine/number_reading.h"
#include "settings/conversions.h"

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
    u"day[ds] will give the result day when days count = 1, and days when days count <> 1";
constexpr std::u16string_view kChooseCountType = u"You need to choose a count type";
constexpr std::u16string_view kOwnDelayPrompt = u"Enter Number of Seconds";
constexpr std::u16string_view kZeroDelayWarning =
    u"Delay Time is not correct, time was set to 0 seconds which means that the timer won't run!";

constexpr std::int32_t kKeyEnter = 13;
constexpr std::int32_t kKeyBackspace = 8;
constexpr std::int32_t kKeyEnd = 35;
constexpr std::int32_t kKeyHome = 36;
constexpr std::int32_t kKeyLeft = 37;
constexpr std::int32_t kKeyUp = 38;
constexpr std::int32_t kKeyRight = 39;
constexpr std::int32_t kKeyDown = 40;
constexpr std::int32_t kKeyDelete = 46;

// A view for a dialog nobody looks at: nothing to render, message boxes answered at once.
class UnseenView : public DialogView {
 public:
  void ControlChanged(ControlId) override {}
  void FocusChanged(ControlId) override {}
  void ShowModal() override {}
  void Hide() override {}
  void MessageBox(std::u16string_view, std::u16string_view, MessageIcon) override {}
};

bool IsEditable(ControlId control) {
  const ControlKind kind = Info(control).kind;
  return kind == ControlKind::kTextBox || kind == ControlKind::kList;
}

std::u16string TwoDigits(int value) {
  return std::u16string{static_cast<char16_t>(u'0' + value / 10), static_cast<char16_t>(u'0' + value % 10)};
}

struct TimeSegment {
  std::int32_t selStart;
  int top;             // the largest value
  int freshFrom;       // a pending digit this large starts a fresh entry
};
constexpr std::array<TimeSegment, 3> kSegments{{{0, 23, 3}, {3, 59, 6}, {6, 59, 6}}};

int SegmentValue(DateTime time, int segment) {
  return segment == 1 ? time.Hour() : segment == 2 ? time.Minute() : time.Second();
}

std::optional<DateTime> ParseTimeField(std::u16string_view text) {
  if (text.size() != 8) return std::nullopt;
  int fields[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const char16_t tens = text[static_cast<std::size_t>(i * 3)];
    const char16_t ones = text[static_cast<std::size_t>(i * 3 + 1)];
    if (tens < u'0' || tens > u'9' || ones < u'0' || ones > u'9') return std::nullopt;
    fields[i] = (tens - u'0') * 10 + (ones - u'0');
  }
  if (fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return std::nullopt;
  return DateTime::FromTimeOfDay(fields[0], fields[1], fields[2]);
}

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

// Settings load ------------------------------------------------------------------------------

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
  dTargetDate = ToDateTime(settings_.GetSetting(kKeyToDate, today), regional).value_or(today).DatePart();
  const DateTime timeOfDay = now.TimePart();
  dTargetTime =
      ToDateTime(settings_.GetSetting(kKeyToTime, timeOfDay), regional).value_or(timeOfDay).TimePart();
  const Value code = settings_.GetSetting(kKeyInterval, std::u16string{u"1m"});
  state_.sDelayCode = std::get<std::u16string>(code);

  FixInterval();
  SetText(ControlId::Text2, state_.sNick);
  RefreshCombinedField();
  SetText(ControlId::txtDate, regional.DateTimeToText(dTargetDate));
  SetText(ControlId::txtTime, TimeFieldText(dTargetTime));
  SetRow(ControlId::Combo1, state_.nCountType - 1);
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

// Nickname and preview -------------------------------------------------------------------

std::u16string Form1::UpdateNick() {
  state_.nSecondsDiff = SecondsToTarget(dTargetDate, dTargetTime, platform_.clock->Now());
  sWorkNick = state_.sNick;
  fncCountStr();
  sWorkNick = ExpandTemplate(sWorkNick, parts);
  return sWorkNick;
}

void Form1::fncCountStr() { parts = CountParts(state_.nSecondsDiff, state_.nCountType, sWorkNick); }

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
  if (Control(ControlId::Combo1).text == kCountTypePrompt) {
    MessageBox(kApplicationName, kChooseCountType, MessageIcon::kNone);
    return;
  }
  state_.sNick = Control(ControlId::Text2).text;
  state_.nCountType = static_cast<std::int16_t>(Control(ControlId::Combo1).row + 1);
  schedule_.Split(state_.nDelaySeconds);
  settings_.SaveSetting(kKeyEnable, state_.bEnabled);
  settings_.SaveSetting(kKeyNick, state_.sNick);
  settings_.SaveSetting(kKeyType, std::int32_t{state_.nCountType});
  settings_.SaveSetting(kKeyToDate, dTargetDate);
  settings_.SaveSetting(kKeyToTime, dTargetTime);
  settings_.SaveSetting(kKeyInterval, state_.sDelayCode);
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

// Time field ---------------------------------------------------------------------------------

std::u16string Form1::TimeFieldText(DateTime time) const {
  return TwoDigits(time.Hour()) + u":" + TwoDigits(time.Minute()) + u":" + TwoDigits(time.Second());
}

void Form1::SelectTimeSegment() {
  SetSelection(ControlId::txtTime, kSegments[static_cast<std::size_t>(nTimeSegment - 1)].selStart, 2);
}

void Form1::txtTime_Click() {
  const std::int32_t caret = Control(ControlId::txtTime).selStart;
  nTimeSegment = caret < 3 ? 1 : caret < 6 ? 2 : 3;
  SelectTimeSegment();
  RefreshPreview();
}

std::int32_t Form1::txtTime_KeyDown(std::int32_t keyCode) {
  switch (keyCode) {
    case kKeyLeft:
      nTimeSegment = static_cast<std::int16_t>(std::max(1, nTimeSegment - 1));
      SelectTimeSegment();
      break;
    case kKeyRight:
      nTimeSegment = static_cast<std::int16_t>(std::min(3, nTimeSegment + 1));
      SelectTimeSegment();
      break;
    case kKeyUp:
      StepTime(true);
      break;
    case kKeyDown:
      StepTime(false);
      break;
    default:
      break;
  }
  SetFocus(ControlId::txtTime);
  RefreshCombinedField();
  RefreshPreview();
  return 0;  // the field takes no action of its own for any key
}

void Form1::txtTime_KeyPress(char16_t character) {
  if (character >= u'0' && character <= u'9') TypeTimeDigit(character);
  if (const std::optional<DateTime> time = ParseTimeField(Control(ControlId::txtTime).text)) {
    dTargetTime = *time;
  }
  RefreshCombinedField();
  RefreshPreview();
  SetFocus(ControlId::txtTime);
}

void Form1::TypeTimeDigit(char16_t digit) {
  const TimeSegment& segment = kSegments[static_cast<std::size_t>(nTimeSegment - 1)];
  const bool fresh = sPendingDigit.empty() || sPendingDigit[0] - u'0' >= segment.freshFrom;
  std::u16string typed;
  if (fresh) {
    typed = {u'0', digit};
    sPendingDigit = digit;
  } else if (nTimeSegment == 1 && sPendingDigit[0] == u'2' && digit >= u'4') {
    // 24 and above are no hour: the digit starts a fresh entry of its own.
    typed = {u'0', digit};
    sPendingDigit = digit;
  } else {
    typed = {sPendingDigit[0], digit};
    sPendingDigit.clear();
  }
  std::u16string text = TimeFieldText(dTargetTime);
  text.replace(static_cast<std::size_t>(segment.selStart), 2, typed);
  SetText(ControlId::txtTime, text);
  SelectTimeSegment();
}

void Form1::StepTime(bool up) {
  const TimeSegment& segment = kSegments[static_cast<std::size_t>(nTimeSegment - 1)];
  int value = SegmentValue(dTargetTime, nTimeSegment);
  if (up) {
    value = value == segment.top ? 0 : value + 1;
  } else {
    value = value == 0 ? segment.top : value - 1;
  }
  // No carry into the neighbouring segment.
  dTargetTime = DateTime::FromTimeOfDay(nTimeSegment == 1 ? value : dTargetTime.Hour(),
                                        nTimeSegment == 2 ? value : dTargetTime.Minute(),
                                        nTimeSegment == 3 ? value : dTargetTime.Second());
  SetText(ControlId::txtTime, TimeFieldText(dTargetTime));
  SelectTimeSegment();
  RefreshCombinedField();
  SetFocus(ControlId::txtTime);
}

void Form1::udTime_Click(bool up) {
  // A spin click ends with the step: the preview catches up at the next edit or tick.
  StepTime(up);
}

// Date field and calendar ------------------------------------------------------------------

void Form1::txtDate_GotFocus() { SetVisible(ControlId::calDate, true); }

void Form1::udDate_Click() { SetVisible(ControlId::calDate, !Control(ControlId::calDate).visible); }

void Form1::calDate_DateClick(DateTime date) {
  calendarSelection_ = date.DatePart();
  dTargetDate = date.DatePart();
  SetText(ControlId::txtDate, platform_.regional->DateTimeToText(dTargetDate));
  RefreshCombinedField();
  SetVisible(ControlId::calDate, false);
  RefreshPreview();
}

// User input ---------------------------------------------------------------------------------

void Form1::UserClick(ControlId control, std::optional<std::int32_t> caret) {
  Load();
  if (std::ranges::find(TabOrder(), control) != TabOrder().end()) SetFocus(control);
  switch (control) {
    case ControlId::cmdEnable:
      cmdEnable_Click();
      break;
    case ControlId::cmdOk:
      cmdOk_Click();
      break;
    case ControlId::cmdCancel:
      cmdCancel_Click();
      break;
    case ControlId::Label2:
      Label2_Click();
      break;
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

void Form1::UserSelectRow(ControlId control, std::int32_t row) {
  Load();
  ControlState& list = Mutable(control);
  if (Info(control).kind != ControlKind::kList || row < -1 ||
      row >= static_cast<std::int32_t>(list.rows.size())) {
    return;
  }
  list.row = row;
  if (row >= 0) list.text = list.rows[static_cast<std::size_t>(row)];
  Changed(control);
  if (control == ControlId::Combo1) Combo1_Click();
  if (control == ControlId::cmbDelay) cmbDelay_Click();
}

std::int32_t Form1::UserKeyDown(ControlId control, std::int32_t keyCode) {
  Load();
  if (control == ControlId::txtTime) return txtTime_KeyDown(keyCode);
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

void Form1::EditKeyDown(ControlId control, std::int32_t keyCode) {
  if (keyCode == 0) return;
  ControlState& field = Mutable(control);
  const auto length = static_cast<std::int32_t>(field.text.size());
  const std::int32_t caret = std::clamp(field.selStart, 0, length);
  if (Info(control).kind == ControlKind::kList && (keyCode == kKeyUp || keyCode == kKeyDown)) {
    const std::int32_t last = static_cast<std::int32_t>(field.rows.size()) - 1;
    const std::int32_t row = keyCode == kKeyDown ? std::min(field.row + 1, last) : std::max(field.row - 1, 0);
    if (row != field.row && !field.rows.empty()) UserSelectRow(control, row);
    return;
  }
  switch (keyCode) {
    case kKeyLeft:
      SetSelection(control, std::max(caret - 1, 0), 0);
      break;
    case kKeyRight:
      SetSelection(control, std::min(caret + 1, length), 0);
      break;
    case kKeyHome:
      SetSelection(control, 0, 0);
      break;
    case kKeyEnd:
      SetSelection(control, length, 0);
      break;
    case kKeyDelete: {
      if (!IsEditable(control)) break;
      std::u16string text = field.text;
      const std::int32_t count = field.selLength > 0 ? std::min(field.selLength, length - caret)
                                                     : std::min(1, length - caret);
      text.erase(static_cast<std::size_t>(caret), static_cast<std::size_t>(count));
      SetText(control, text);
      SetSelection(control, caret, 0);
      break;
    }
    default:
      break;
  }
}

void Form1::InsertTypedCharacter(ControlId control, char16_t character) {
  if (!IsEditable(control)) return;
  const ControlState& field = Control(control);
  std::u16string text = field.text;
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t start = std::clamp(field.selStart, 0, length);
  const std::int32_t selected = std::clamp(field.selLength, 0, length - start);
  text.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(selected));
  if (character == kKeyBackspace) {
    if (selected == 0 && start > 0) text.erase(static_cast<std::size_t>(--start), 1);
  } else if (character == kKeyEnter) {
    return;  // one-line fields take no line break
  } else {
    text.insert(static_cast<std::size_t>(start++), 1, character);
  }
  SetText(control, text);
  SetSelection(control, start, 0);
}

void Form1::UserPressKey(ControlId control, std::int32_t keyCode) {
  EditKeyDown(control, UserKeyDown(control, keyCode));
}

void Form1::UserType(ControlId control, char16_t character, std::int32_t keyCode) {
  // A key-down that consumes its key does not stop the character that follows it.
  UserKeyDown(control, keyCode);
  if (UserKeyPress(control, character)) InsertTypedCharacter(control, character);
}

void Form1::UserSpin(ControlId spin, bool up) {
  Load();
  if (spin == ControlId::udTime) udTime_Click(up);
  if (spin == ControlId::udDate) udDate_Click();
}

std::optional<std::u16string> Form1::UserPickDate(DateTime date) {
  Load();
  if (!Control(ControlId::calDate).visible) return u"the calendar is hidden";
  const auto day = date.Ymd();
  if (day < kCalendarMin || day > kCalendarMax) {
    return u"the calendar offers only 1970-01-01 to 2030-12-31";
  }
  // Clicking into the calendar takes the focus, so the date field can gain it again.
  SetFocus(ControlId::calDate);
  calDate_DateClick(date);
  return std::nullopt;
}

void Form1::UserClose() {
  Load();
  // The close is refused, so the dialog and its timer live on; it acts as Cancel.
  cmdCancel_Click();
}

// Control state -------------------------------------------------------------------------------

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
}

void Form1::SetRow(ControlId control, std::int32_t row) {
  ControlState& list = Mutable(control);
  if (row < -1 || row >= static_cast<std::int32_t>(list.rows.size())) row = -1;
  if (list.row == row) return;
  list.row = row;
  // Without a row the list shows its prompt again.
  list.text = row >= 0 ? list.rows[static_cast<std::size_t>(row)] : std::u16string{Info(control).designText};
  list.selStart = list.selLength = 0;
  Changed(control);
  if (control == ControlId::Combo1) Combo1_Click();
  if (control == ControlId::cmbDelay) cmbDelay_Click();
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
