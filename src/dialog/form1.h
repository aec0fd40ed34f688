#pragma once
// The configuration dialog as a model. Form1 owns the state of every control, the target
// date and time, the refresh timer and the tick fields, and runs every handler on that
// state. A DialogView only renders it; user input comes in through the User* entry points,
// the same ones a real toolkit and the script driver call.
//
// Writing a control from the program runs the control's change or selection handler when
// the value really changes, as a user's edit would.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/date_time.h"
#include "ports/controls.h"
#include "engine/counter.h"
#include "engine/delay.h"
#include "engine/nickname_template.h"
#include "ports/platform.h"
#include "state/plugin_state.h"
#include "settings/settings_store.h"

namespace velmora {

inline constexpr std::u16string_view kApplicationName = u"Velmora";
inline constexpr std::u16string_view kCountTypePrompt = u"Choose Count Type";

// The month calendar's range. It is as wide as the stored date texts and the platform's
// date conversions reach, so neither a birthday long past nor a date far ahead is out of
// reach.
inline constexpr std::chrono::year_month_day kCalendarMin{std::chrono::year{1900} / 1 / 1};
inline constexpr std::chrono::year_month_day kCalendarMax{std::chrono::year{9999} / 12 / 31};

class Form1 {
 public:
  Form1(PluginState& state, SettingsStore& settings, const Platform& platform);
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Lifecycle ---------------------------------------------------------------------------
  // Runs the load handler once: help caption, stored settings, editor states.
  void Load();
  [[nodiscard]] bool Loaded() const { return loaded_; }
  // Shows the window with a fresh preview; returns when it is hidden again (at once with a
  // headless view).
  void ShowModal();
  void Hide();
  [[nodiscard]] bool Shown() const { return shown_; }

  // Procedures other parts of the plug-in call ------------------------------------------
  void Loadsetting();
  void FixInterval();
  std::u16string UpdateNick();
  void fncCountStr();
  void RefreshPreview();
  void RefreshCombinedField();
  void timCount_Timer();
  Timer& timCount() { return *timCount_; }
  // Puts a new template into Text2, as the chat command does.
  void SetTemplateText(std::u16string_view text);

  // User input, as a toolkit or the script driver delivers it ----------------------------
  // A click on a button or label; on txtTime, a click that left the caret at `caret`.
  void UserClick(ControlId control, std::optional<std::int32_t> caret = std::nullopt);
  void UserFocus(ControlId control);
  // The user changed the text of an editable field; the caret goes to `caret` (a real
  // field reports where its edit left it), or to the end when not given.
  void UserSetText(ControlId control, std::u16string_view text, std::optional<std::int32_t> caret = std::nullopt);
  // The user chose a list row; the choice always runs, even for the row already selected.
  void UserSelectRow(ControlId control, std::int32_t row);
  // A key-down; answers the key code after the handler (0 when it consumed the key).
  std::int32_t UserKeyDown(ControlId control, std::int32_t keyCode);
  // A typed character; answers false when the handler discarded it.
  bool UserKeyPress(ControlId control, char16_t character);
  // The user moved the caret of a field; nothing is selected after it.
  void UserMoveCaret(ControlId control, std::int32_t caret);
  void UserSpin(ControlId spin, bool up);
  // A date clicked in the calendar; answers why no user could do that now, if so.
  std::optional<std::u16string> UserPickDate(DateTime date);
  // The calendar moved its own selection (its month arrows, its keys on a platform whose
  // calendar has them): only the selection follows, the target stays.
  void UserBrowseCalendar(DateTime selection);
  // The window's close box: refused, then the Cancel behaviour.
  void UserClose();

  // State --------------------------------------------------------------------------------
  [[nodiscard]] const ControlState& Control(ControlId control) const;
  [[nodiscard]] ControlId Focus() const { return focus_; }
  [[nodiscard]] DateTime CalendarSelection() const { return calendarSelection_; }
  [[nodiscard]] const PluginState& State() const { return state_; }
  [[nodiscard]] const RefreshSchedule& Schedule() const { return schedule_; }

  // The dialog's own fields.
  DateTime dTargetDate;
  DateTime dTargetTime;
  std::int16_t nTimeSegment = 3;  // 1 hours, 2 minutes, 3 seconds
  std::u16string sPendingDigit;
  bool bOwnDelayEntry = false;
  std::u16string sWorkNick;
  CounterParts parts;
  NickTemplate nickTemplate;  // sNick as last read; read again only when it changed
  NickTemplate doneTemplate;  // sNickDone, likewise
  bool bAtTarget = false;     // the last expansion was of the text at the target

 private:
  // Program writes; each runs the control's handler when the value really changes.
  void SetText(ControlId control, std::u16string_view text);
  void SetRow(ControlId control, std::int32_t row);
  void SetSelection(ControlId control, std::int32_t start, std::int32_t length);
  void SetVisible(ControlId control, bool visible);
  void SetFocus(ControlId control);
  ControlState& Mutable(ControlId control);
  void Changed(ControlId control);
  void MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon);

  // Handlers.
  void Form_Load();
  void cmdEnable_Click();
  void Combo1_Click();
  void Text2_Change();
  void Label2_Click();
  void cmdOk_Click();
  void cmdCancel_Click();
  void cmbDelay_Click();
  void cmbRepeat_Click();
  void txtDone_Change();
  bool cmbDelay_KeyPress(char16_t character);
  void txtTime_Click();
  std::int32_t txtTime_KeyDown(std::int32_t keyCode);
  void txtTime_KeyPress(char16_t character);
  void udTime_Click(bool up);
  void txtDate_GotFocus();
  void udDate_Click();
  void calDate_DateClick(DateTime date);
  std::int32_t calDate_KeyDown(std::int32_t keyCode);

  // Time field helpers.
  void SelectTimeSegment();
  void TypeTimeDigit(char16_t digit);
  void StepTime(bool up);

  // Writes the state's settings; OK has taken the controls' values into it first.
  void StoreSettings();

  // Calendar helpers.
  void OpenCalendar();
  void CalendarToTarget();
  void MoveCalendarSelection(std::chrono::year_month_day day);
  void LeaveClosedCalendar();

  PluginState& state_;
  SettingsStore& settings_;
  const Platform& platform_;
  std::unique_ptr<Timer> timCount_;
  RefreshSchedule schedule_;
  std::unique_ptr<DialogView> view_;
  std::array<ControlState, kControlCount> controls_;
  ControlId focus_ = ControlId::cmdOk;
  DateTime calendarSelection_ = DateTime::FromDate(kCalendarMin);  // the target's once shown
  bool loaded_ = false;
  bool shown_ = false;
  bool everShown_ = false;
};

}  // namespace velmora
