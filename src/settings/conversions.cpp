#include "settings/conversions.h"

#include "base/date_time.h"
#include "base/text.h"
#include "engine/number_reading.h"

namespace velmora {

namespace {
std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

std::optional<DateTime> ToTarget(const Value& value, const Regional& regional,
                                 std::optional<DateTime> (*parseFixed)(std::u16string_view)) {
  if (const DateTime* when = std::get_if<DateTime>(&value)) return *when;
  if (const std::u16string* text = std::get_if<std::u16string>(&value)) {
    if (std::optional<DateTime> fixed = parseFixed(*text)) return fixed;
    return regional.TextToDateTime(*text);
  }
  return std::nullopt;
}
}  // namespace

std::optional<bool> ToBoolean(const Value& value) {
  if (const bool* flag = std::get_if<bool>(&value)) return *flag;
  if (const std::int32_t* number = std::get_if<std::int32_t>(&value)) return *number != 0;
  const std::u16string* text = std::get_if<std::u16string>(&value);
  if (text == nullptr) return std::nullopt;
  const std::u16string_view word = TrimBlanks(*text);
  if (EqualsIgnoringAsciiCase(word, u"True")) return true;
  if (EqualsIgnoringAsciiCase(word, u"False")) return false;
  double number = 0;
  if (ReadWholeNumber(word, number)) return number != 0;
  return std::nullopt;
}

std::optional<std::int16_t> ToCountType(const Value& value) {
  std::optional<std::int32_t> whole;
  if (const std::int32_t* number = std::get_if<std::int32_t>(&value)) {
    whole = *number;
  } else if (const std::u16string* text = std::get_if<std::u16string>(&value)) {
    double read = 0;
    if (ReadWholeNumber(*text, read)) whole = RoundToInt32(read);
  }
  // Only the list's two rows and "none chosen" are count types.
  if (!whole || *whole < 0 || *whole > 2) return std::nullopt;
  return static_cast<std::int16_t>(*whole);
}

std::optional<std::int16_t> ToRepeat(const Value& value) {
  std::optional<std::int32_t> digit;
  if (const std::int32_t* number = std::get_if<std::int32_t>(&value)) digit = *number;
  // Written only as one digit, so anything else (" 4", "4.0") is not a repeat another
  // version wrote.
  const std::u16string* text = std::get_if<std::u16string>(&value);
  if (text && text->size() == 1) digit = (*text)[0] - u'0';
  if (!digit || *digit < 0 || *digit > 4) return std::nullopt;
  return static_cast<std::int16_t>(*digit);
}

std::optional<DateTime> ToTargetDate(const Value& value, const Regional& regional) {
  using namespace std::chrono;
  // A calendar date is one the system's date functions can show, or the text is unreadable;
  // a bare time of day keeps standing for no date.
  const std::optional<DateTime> date = ToTarget(value, regional, ParseIsoDate);
  if (date && date->HasDate() && (date->Ymd() < year{1900} / 1 / 1 || date->Ymd() > year{9999} / 12 / 31)) {
    return std::nullopt;
  }
  return date;
}

std::optional<DateTime> ToTargetTime(const Value& value, const Regional& regional) {
  return ToTarget(value, regional, ParseIsoTime);
}

}  // namespace velmora
