#include "posix/fixed_regional.h"

#include <cstdio>

#include "base/text.h"

namespace velmora {

namespace {
std::u16string DateText(DateTime value) {
  const auto ymd = value.Ymd();
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  return FromUtf8(buffer);
}

std::u16string TimeText(DateTime value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", value.Hour(), value.Minute(), value.Second());
  return FromUtf8(buffer);
}

// Reads exactly `count` digits at `at`.
bool Digits(std::u16string_view text, std::size_t at, std::size_t count, int& out) {
  if (at + count > text.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    out = out * 10 + (text[i] - u'0');
  }
  return true;
}

std::optional<DateTime> ParseDate(std::u16string_view text) {
  int year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != u'-' || text[7] != u'-' || !Digits(text, 0, 4, year) ||
      !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day)) {
    return std::nullopt;
  }
  const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                        std::chrono::day{static_cast<unsigned>(day)}};
  if (!ymd.ok()) return std::nullopt;
  return DateTime::FromDate(ymd);
}

std::optional<DateTime> ParseTime(std::u16string_view text) {
  int hours = 0, minutes = 0, seconds = 0;
  if (text.size() != 8 || text[2] != u':' || text[5] != u':' || !Digits(text, 0, 2, hours) ||
      !Digits(text, 3, 2, minutes) || !Digits(text, 6, 2, seconds) || hours > 23 || minutes > 59 ||
      seconds > 59) {
    return std::nullopt;
  }
  return DateTime::FromTimeOfDay(hours, minutes, seconds);
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  return text;
}
}  // namespace

std::u16string FixedRegional::DateTimeToText(DateTime value) const {
  if (!value.HasDate()) return TimeText(value);
  if (!value.HasTime()) return DateText(value);
  return DateText(value) + u" " + TimeText(value);
}

std::optional<DateTime> FixedRegional::TextToDateTime(std::u16string_view text) const {
  text = Trim(text);
  if (auto date = ParseDate(text)) return date;
  if (auto time = ParseTime(text)) return time;
  const auto blank = text.find(u' ');
  if (blank == std::u16string_view::npos) return std::nullopt;
  auto date = ParseDate(text.substr(0, blank));
  auto time = ParseTime(Trim(text.substr(blank + 1)));
  if (!date || !time) return std::nullopt;
  return DateTime::Combine(*date, *time);
}

}  // namespace velmora
