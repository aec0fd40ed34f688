// The date field and its month calendar: the date is chosen only in the calendar, which
// opens on the target and takes its keys from there.
#include <algorithm>

#include "dialog/form1.h"
#include "ports/key_codes.h"

namespace velmora {

void Form1::txtDate_GotFocus() { OpenCalendar(); }

void Form1::udDate_Click() {
  if (Control(ControlId::calDate).visible) {
    SetVisible(ControlId::calDate, false);
  } else {
    OpenCalendar();
  }
}

// Focusing the field of an open calendar leaves the selection its keys have moved.
void Form1::OpenCalendar() {
  if (Control(ControlId::calDate).visible) return;
  CalendarToTarget();
  SetVisible(ControlId::calDate, true);
}

// A target outside the calendar's range shows the nearest date it has; the target itself
// stays as stored.
void Form1::CalendarToTarget() { MoveCalendarSelection(dTargetDate.Ymd()); }

void Form1::calDate_DateClick(DateTime date) {
  dTargetDate = date.DatePart();
  SetText(ControlId::txtDate, platform_.regional->DateTimeToText(dTargetDate));
  RefreshCombinedField();
  SetVisible(ControlId::calDate, false);
  RefreshPreview();
}

// The open calendar's keys, as the platform's calendar has them where it handles keys at
// all: the arrows move the selection a day or a week, Page Up and Page Down a month, Home
// and End to the month's ends; Enter and Space take the selected date as its click does;
// Esc closes it unchanged. A hidden calendar takes no keys.
std::int32_t Form1::calDate_KeyDown(std::int32_t keyCode) {
  if (!Control(ControlId::calDate).visible) return keyCode;
  using namespace std::chrono;
  const year_month_day day = calendarSelection_.Ymd();
  const auto byDays = [&](int count) { MoveCalendarSelection(year_month_day{sys_days{day} + days{count}}); };
  const auto byMonths = [&](int count) {
    const year_month_day moved = day + months{count};
    MoveCalendarSelection(moved.ok() ? moved : year_month_day{moved.year() / moved.month() / last});
  };
  switch (keyCode) {
    case kKeyLeft: byDays(-1); break;
    case kKeyRight: byDays(1); break;
    case kKeyUp: byDays(-7); break;
    case kKeyDown: byDays(7); break;
    case kKeyPageUp: byMonths(-1); break;
    case kKeyPageDown: byMonths(1); break;
    case kKeyHome: MoveCalendarSelection(day.year() / day.month() / 1); break;
    case kKeyEnd: MoveCalendarSelection(day.year() / day.month() / last); break;
    case kKeyEnter:
    case kKeySpace: calDate_DateClick(calendarSelection_); break;
    case kKeyEscape: SetVisible(ControlId::calDate, false); break;
    default: return keyCode;
  }
  return 0;
}

void Form1::MoveCalendarSelection(std::chrono::year_month_day day) {
  const DateTime moved = DateTime::FromDate(std::clamp(day, kCalendarMin, kCalendarMax));
  if (moved == calendarSelection_) return;
  calendarSelection_ = moved;
  Changed(ControlId::calDate);
}

// A closed calendar keeps no focus: it goes to the date's spinner beside the field, whose
// arrows open the calendar again (the field itself would open it at once).
void Form1::LeaveClosedCalendar() {
  if (focus_ == ControlId::calDate && !Control(ControlId::calDate).visible) SetFocus(ControlId::udDate);
}

std::optional<std::u16string> Form1::UserPickDate(DateTime date) {
  Load();
  if (!Control(ControlId::calDate).visible) return u"the calendar is hidden";
  const auto day = date.Ymd();
  if (day < kCalendarMin || day > kCalendarMax) {
    return u"the calendar offers only " + IsoDateText(DateTime::FromDate(kCalendarMin)) + u" to " +
           IsoDateText(DateTime::FromDate(kCalendarMax));
  }
  // Clicking into the calendar takes the focus, so the date field can gain it again.
  SetFocus(ControlId::calDate);
  calDate_DateClick(date);
  LeaveClosedCalendar();
  return std::nullopt;
}

void Form1::UserBrowseCalendar(DateTime selection) {
  Load();
  MoveCalendarSelection(selection.Ymd());
}

}  // namespace velmora
