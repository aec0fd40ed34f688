// Numbers read from text and written back: delay codes, typed delays, stored settings.
// The input is read twice: as UTF-8 text for the readers, and its first eight bytes as a
// double for the writer and the rounding.
#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/delay.h"
#include "engine/number_reading.h"
#include "fuzz_support.h"

namespace velmora::fuzz {
namespace {

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

void CheckReading(std::u16string_view text) {
  const double read = ReadNumber(text, u'.');
  FUZZ_CHECK(!std::isnan(read), Shown(text) + " read as NaN");
  FUZZ_CHECK(!(read == 0 && std::signbit(read)), Shown(text) + " read as -0");

  double whole = 0;
  if (ReadWholeNumber(text, whole)) {
    // A text that is one number and nothing else reads the same with either reader.
    FUZZ_CHECK(std::isfinite(whole) && whole == read,
               Shown(text) + ": whole number " + Number(whole) + ", read " + Number(read));
  }

  const DelayCodeMeaning meaning = InterpretDelayCode(text, u'.');
  FUZZ_CHECK(meaning.seconds >= 0, Shown(text) + " gave a delay of " + std::to_string(meaning.seconds));
  FUZZ_CHECK(meaning.row >= -1 && meaning.row < kOwnDelayRow,
             Shown(text) + " chose row " + std::to_string(meaning.row));
  if (meaning.row >= 0) {
    const DelayRow& row = DelayRows()[static_cast<std::size_t>(meaning.row)];
    FUZZ_CHECK(row.code == text && meaning.seconds == row.seconds && meaning.listText == row.text,
               Shown(text) + " matched row " + std::to_string(meaning.row));
  } else {
    FUZZ_CHECK(meaning.listText == NumberText(read, u'.') + u" Seconds" &&
                   meaning.seconds == DelaySecondsFromNumber(read),
               Shown(text) + " shows " + Shown(meaning.listText) + " and " + std::to_string(meaning.seconds) + " s");
  }
}

void CheckWriting(double value) {
  const std::u16string text = NumberText(value, u'.');
  if (std::isfinite(value)) {
    // Written, read and written again gives the same text: a stored delay never drifts.
    const double back = ReadNumber(text, u'.');
    const std::u16string again = NumberText(back, u'.');
    FUZZ_CHECK(again == text, Number(value) + " wrote " + Shown(text) + ", read back " + Number(back) +
                                  " which writes " + Shown(again));
    FUZZ_CHECK(std::fabs(back - value) <= std::fabs(value) * 1e-14,
               Number(value) + " came back as " + Number(back));
    double whole = 0;
    FUZZ_CHECK(ReadWholeNumber(text, whole) && whole == back, Shown(text) + " is not one whole number");
    // Shown with a comma as the user's separator, it reads back as the same number there.
    const std::u16string withComma = NumberText(value, u',');
    FUZZ_CHECK(ReadNumber(withComma, u',') == back,
               Shown(withComma) + " read with its comma gives " + Number(ReadNumber(withComma, u',')));
  }

  // The platform's own rounding, halves to even, is the measure.
  const std::optional<std::int32_t> rounded = RoundToInt32(value);
  const double nearest = std::nearbyint(value);
  const bool fits = std::isfinite(value) && nearest >= std::numeric_limits<std::int32_t>::min() &&
                    nearest <= std::numeric_limits<std::int32_t>::max();
  FUZZ_CHECK(rounded.has_value() == fits && (!fits || *rounded == static_cast<std::int32_t>(nearest)),
             Number(value) + " rounded to " + (rounded ? std::to_string(*rounded) : std::string{"nothing"}));

  const std::int32_t delay = DelaySecondsFromNumber(value);
  FUZZ_CHECK(delay == (rounded && *rounded > 0 ? *rounded : 0),
             Number(value) + " gave a delay of " + std::to_string(delay));
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::fesetround(FE_TONEAREST);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  const std::string_view bytes{reinterpret_cast<const char*>(data), size};
  fuzz::CheckReading(FromUtf8(bytes));
  if (size >= sizeof(double)) {
    double value;
    std::memcpy(&value, data, sizeof value);
    fuzz::CheckWriting(value);
  }
  return 0;
}
