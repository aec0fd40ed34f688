#include "base/date_time.h"

#include "base/text.h"

namespace velmora {

using std::chrono::days;
using std::chrono::floor;
using std::chrono::hh_mm_ss;
using std::chrono::hours;
using std::chrono::local_days;
using std::chrono::local_seconds;
using std::chrono::minutes;
using std::chrono::seconds;

namespace {
hh_mm_ss<seconds> TimeOfDay(local_seconds instant) {
  return hh_mm_ss<seconds>{instant - floor<days>(instant)};
}
}  // namespace

DateTime DateTime::FromLocal(local_seconds instant) { return DateTime{instant}; }

DateTime DateTime::FromDate(std::chrono::year_month_day date) { return DateTime{local_days{date}}; }

DateTime DateTime::FromTimeOfDay(int h, int m, int s) {
  return DateTime{ZeroDate() + hours{h} + minutes{m} + seconds{s}};
}

DateTime DateTime::Combine(DateTime date, DateTime time) {
  return DateTime{floor<days>(date.instant_) + (time.instant_ - floor<days>(time.instant_))};
}

std::chrono::year_month_day DateTime::Ymd() const {
  return std::chrono::year_month_day{floor<days>(instant_)};
}

int DateTime::Hour() const { return static_cast<int>(TimeOfDay(instant_).hours().count()); }
int DateTime::Minute() const { return static_cast<int>(TimeOfDay(instant_).minutes().count()); }
int DateTime::Second() const { return static_cast<int>(TimeOfDay(instant_).seconds().count()); }

DateTime DateTime::DatePart() const { return DateTime{floor<days>(instant_)}; }
DateTime DateTime::TimePart() const { return Combine(DateTime{}, *this); }
bool DateTime::HasDate() const { return floor<days>(instant_) != ZeroDate(); }
bool DateTime::HasTime() const { return instant_ != floor<days>(instant_); }

DateTime DateTime::PlusSeconds(std::int64_t s) const { return DateTime{instant_ + seconds{s}}; }

std::int64_t SecondsBetween(DateTime from, DateTime to) {
  return (to.Local() - from.Local()).count();
}

namespace {
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
}  // namespace

std::u16string IsoDateText(DateTime value) {
  const auto ymd = value.Ymd();
  return DecimalText(static_cast<int>(ymd.year()), 4) + u'-' + DecimalText(static_cast<unsigned>(ymd.month()), 2) +
         u'-' + DecimalText(static_cast<unsigned>(ymd.day()), 2);
}

std::u16string IsoTimeText(DateTime value) {
  return DecimalText(value.Hour(), 2) + u':' + DecimalText(value.Minute(), 2) + u':' + DecimalText(value.Second(), 2);
}

std::optional<DateTime> ParseIsoDate(std::u16string_view text) {
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

std::optional<DateTime> ParseIsoTime(std::u16string_view text) {
  int h = 0, m = 0, s = 0;
  if (text.size() != 8 || text[2] != u':' || text[5] != u':' || !Digits(text, 0, 2, h) ||
      !Digits(text, 3, 2, m) || !Digits(text, 6, 2, s) || h > 23 || m > 59 || s > 59) {
    return std::nullopt;
  }
  return DateTime::FromTimeOfDay(h, m, s);
}

}  // namespace velmora
