#pragma once
// The refresh delay: the list of delays, stored delay codes, and the 30-second tick plan.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "ports/timer.h"

namespace velmora {

struct DelayRow {
  std::u16string_view text;  // as the delay list shows it
  std::u16string_view code;  // as the settings store it
  std::int32_t seconds;
};

inline constexpr std::int32_t kDelayRowCount = 20;
inline constexpr std::int32_t kOwnDelayRow = 19;  // "Enter Own Delay": no code of its own
inline constexpr std::int32_t kTickSeconds = 30;  // the longest interval the timer runs with

const std::array<DelayRow, kDelayRowCount>& DelayRows();

// Whole seconds of a typed or stored number, halves to even. Negative numbers and numbers
// beyond 32 bits give 0, a delay that never fires, so no delay can break the timer.
std::int32_t DelaySecondsFromNumber(double number);

struct DelayCodeMeaning {
  std::int32_t row = -1;     // the matching list row, -1 for a number of seconds
  std::u16string listText;   // the text the delay list shows
  std::int32_t seconds = 0;
};
// A stored code: one of the rows' codes (exact, case-sensitive), or else a number of
// seconds shown as "<number> Seconds" with the user's `decimalSeparator`. The number may be
// written with "." or with that separator, as earlier versions stored it ("7,5").
DelayCodeMeaning InterpretDelayCode(std::u16string_view code, char16_t decimalSeparator);

// The code stored for a typed number of seconds. Always with ".", so it reads back as the
// same number under any regional setting.
std::u16string OwnDelayCode(double number);

// The code OK stores for the code in use. A number that reads as its value only through the
// user's own `decimalSeparator`, as earlier versions stored it ("2,5" where the comma is that
// separator), gets "." in that separator's place, so it reads the same under any regional
// setting; every other code is kept exactly.
std::u16string PortableDelayCode(std::u16string_view code, char16_t decimalSeparator);

// Runs a refresh period as whole 30-second ticks followed by one shorter tick for the rest.
class RefreshSchedule {
 public:
  explicit RefreshSchedule(Timer& timCount) : timCount_(timCount) {}

  // The delay split: sets the tick fields and the timer's interval. A negative delay is
  // taken as 0. Neither starts nor stops the timer.
  void Split(std::int32_t delaySeconds);
  // One tick of timCount; true when this tick ends a period and the nickname is due.
  bool Tick();

  std::int32_t nFullTicks = 0;
  std::int32_t nRestSeconds = 0;
  std::int32_t nTicksLeft = 0;

 private:
  void Reload();
  Timer& timCount_;
};

}  // namespace velmora
