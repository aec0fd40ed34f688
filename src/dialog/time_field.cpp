// The time field: three two-digit segments typed, stepped and moved between like a
// masked edit, each edit applied to the target time at once.
#include <algorithm>
#include <array>

#include "dialog/form1.h"
#include "ports/key_codes.h"

namespace velmora {

namespace {

struct TimeSegment {
  std::int32_t selStart;
  int top;             // the largest value
  int freshFrom;       // a pending digit this large starts a fresh entry
};
constexpr std::array<TimeSegment, 3> kSegments{{{0, 23, 3}, {3, 59, 6}, {6, 59, 6}}};

int SegmentValue(DateTime time, int segment) {
  return segment == 1 ? time.Hour() : segment == 2 ? time.Minute() : time.Second();
}

}  // namespace

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
  if (const std::optional<DateTime> time = ParseIsoTime(Control(ControlId::txtTime).text)) {
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
  std::u16string text = IsoTimeText(dTargetTime);
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
  SetText(ControlId::txtTime, IsoTimeText(dTargetTime));
  SelectTimeSegment();
  RefreshCombinedField();
  SetFocus(ControlId::txtTime);
}

void Form1::udTime_Click(bool up) {
  // A spin click ends with the step: the preview catches up at the next edit or tick.
  StepTime(up);
}

}  // namespace velmora
