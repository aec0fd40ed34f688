#include "base/date_time.h"

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

}  // namespace velmora
