#include "engine/delay.h"

#include <algorithm>

#include "engine/number_reading.h"

namespace velmora {

namespace {
// List texts as the delay list has always shown them, misspellings included.
constexpr std::array<DelayRow, kDelayRowCount> kDelayRows{{
    {u"6 Seconds", u"6s", 6},       {u"10 Seconds", u"10s", 10},    {u"15 Seconds", u"15s", 15},
    {u"30 Seconds", u"30s", 30},    {u"1 Minute", u"1m", 60},       {u"2 Minutes", u"2m", 120},
    {u"5 Minutes", u"5m", 300},     {u"10 Miutes", u"10m", 600},    {u"15 Minutes", u"15m", 900},
    {u"30 Minutes", u"30m", 1'800}, {u"45 Minutes", u"45m", 2'700}, {u"1 Hour", u"1h", 3'600},
    {u"2 hours", u"2h", 7'200},     {u"4 Hours", u"4h", 14'400},    {u"6 Hours", u"6h", 21'600},
    {u"8 Hours", u"8h", 28'800},    {u"10 Hours", u"10h", 36'000},  {u"12 Hours", u"12h", 43'200},
    {u"1 Day", u"1d", 86'400},      {u"Enter Own Delay", u"", 0},
}};

constexpr std::int32_t kTickMilliseconds = kTickSeconds * 1'000;
}  // namespace

const std::array<DelayRow, kDelayRowCount>& DelayRows() { return kDelayRows; }

std::int32_t DelaySecondsFromNumber(double number) {
  const std::optional<std::int32_t> seconds = RoundToInt32(number);
  return seconds && *seconds > 0 ? *seconds : 0;
}

DelayCodeMeaning InterpretDelayCode(std::u16string_view code, char16_t decimalSeparator) {
  for (std::int32_t row = 0; row < kOwnDelayRow; ++row) {
    if (code == kDelayRows[row].code) {
      return {row, std::u16string{kDelayRows[row].text}, kDelayRows[row].seconds};
    }
  }
  const double number = ReadNumber(code, decimalSeparator);
  return {-1, NumberText(number, decimalSeparator) + u" Seconds", DelaySecondsFromNumber(number)};
}

std::u16string OwnDelayCode(double number) { return NumberText(number, u'.'); }

std::u16string PortableDelayCode(std::u16string_view code, char16_t decimalSeparator) {
  const double number = ReadNumber(code, decimalSeparator);
  if (decimalSeparator == u'.' || InterpretDelayCode(code, decimalSeparator).row >= 0 ||
      number == ReadNumber(code, u'.')) {
    return std::u16string{code};
  }
  // The numbers differ, so the reader took the separator as the fraction mark; before it
  // stand only blanks, a sign and digits, so with any usual separator it is the first one
  // in the code. An unusual one (a user may set a sign as separator) keeps the code as it is.
  std::u16string portable{code};
  portable[portable.find(decimalSeparator)] = u'.';
  return ReadNumber(portable, u'.') == number ? portable : std::u16string{code};
}

void RefreshSchedule::Split(std::int32_t delaySeconds) {
  const std::int32_t delay = std::max(delaySeconds, 0);  // a negative delay would never refresh
  nRestSeconds = delay % kTickSeconds;
  nFullTicks = (delay - nRestSeconds) / kTickSeconds;
  Reload();
}

bool RefreshSchedule::Tick() {
  --nTicksLeft;
  if (nTicksLeft == 0 && nRestSeconds > 0) {
    // The whole ticks are done; the period ends after one shorter tick for the rest.
    timCount_.SetInterval(nRestSeconds * 1'000);
    return false;
  }
  if (nTicksLeft != 0 && nTicksLeft != -1) return false;
  Reload();
  return true;
}

void RefreshSchedule::Reload() {
  nTicksLeft = nFullTicks;
  timCount_.SetInterval(nFullTicks != 0 ? kTickMilliseconds : nRestSeconds * 1'000);
}

}  // namespace velmora
