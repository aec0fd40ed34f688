#include "posix/system_clock.h"

#include <time.h>

namespace velmora {

DateTime SystemClock::Now() const {
  // localtime_r keeps the time zone it first read; tzset looks again, so a change of the
  // machine's time zone shows at once.
  tzset();
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  using namespace std::chrono;
  const year_month_day date{year{local.tm_year + 1900}, month{static_cast<unsigned>(local.tm_mon + 1)},
                            day{static_cast<unsigned>(local.tm_mday)}};
  // A leap second reads as the last second of its minute.
  const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return DateTime::FromLocal(local_days{date} + hours{local.tm_hour} + minutes{local.tm_min} + seconds{second});
}

}  // namespace velmora
