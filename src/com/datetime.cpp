#include "com/datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "com/com_error.h"

namespace pelorix::com {

namespace chr = std::chrono;

namespace {
constexpr std::int64_t kEpochOffset = 25569;  // 1899-12-30 to 1970-01-01

[[noreturn]] void badDate(const char* what) { raise(err::kTypeMismatch, "DateTime", what); }
}  // namespace

std::int64_t daysFromCivil(int year, int month, int day) {
  chr::year_month_day ymd{chr::year{year}, chr::month{static_cast<unsigned>(month)},
                          chr::day{static_cast<unsigned>(day)}};
  return chr::sys_days{ymd}.time_since_epoch().count() + kEpochOffset;
}

bool isValidCivilDate(int year, int month, int day) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  return chr::year_month_day{chr::year{year}, chr::month{static_cast<unsigned>(month)},
                             chr::day{static_cast<unsigned>(day)}}
      .ok();
}

DateTime makeDateTime(const DateParts& p) {
  if (!isValidCivilDate(p.year, p.month, p.day)) badDate("invalid date");
  if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 || p.second > 59)
    badDate("invalid time");
  double days = static_cast<double>(daysFromCivil(p.year, p.month, p.day));
  double fraction = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
  // Before 1899-12-30 the time of day still counts forwards from midnight.
  return DateTime{days < 0 ? days - fraction : days + fraction};
}

DateTime makeDate(int year, int month, int day) { return makeDateTime({year, month, day, 0, 0, 0}); }

DateTime makeTime(int hour, int minute, int second) { return makeDateTime({1899, 12, 30, hour, minute, second}); }

DateParts splitDateTime(DateTime value) {
  double whole = std::trunc(value.days);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(value.days - whole) * 86400.0));
  auto day = static_cast<std::int64_t>(whole);
  if (seconds >= 86400) {  // rounding reached the next midnight
    seconds -= 86400;
    day += value.days < 0 ? -1 : 1;
  }
  chr::year_month_day ymd{chr::sys_days{chr::days{day - kEpochOffset}}};
  DateParts parts;
  parts.year = static_cast<int>(ymd.year());
  parts.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  parts.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

std::string formatDateTime(DateTime value) {
  DateParts p = splitDateTime(value);
  bool hasTime = p.hour || p.minute || p.second;
  bool hasDate = std::trunc(value.days) != 0 || !hasTime;
  char buffer[40];
  if (hasDate && hasTime)
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
  else if (hasDate)
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", p.year, p.month, p.day);
  else
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", p.hour, p.minute, p.second);
  return buffer;
}

namespace {
// Reads exactly `width` digits (or 1 to `width` when `exact` is false).
bool readNumber(std::string_view& s, int width, bool exact, int& out) {
  int n = 0, used = 0;
  while (used < width && used < static_cast<int>(s.size()) && s[used] >= '0' && s[used] <= '9')
    n = n * 10 + (s[used++] - '0');
  if (used == 0 || (exact && used != width)) return false;
  s.remove_prefix(used);
  out = n;
  return true;
}

bool readChar(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}
}  // namespace

bool parseDateTime(std::string_view text, DateTime& out) {
  DateParts p;
  std::string_view s = text;
  bool hasDate = s.size() >= 10 && s[4] == '-';
  if (hasDate) {
    if (!readNumber(s, 4, true, p.year) || !readChar(s, '-') || !readNumber(s, 2, false, p.month) ||
        !readChar(s, '-') || !readNumber(s, 2, false, p.day))
      return false;
    if (!s.empty() && (!readChar(s, ' ') || s.empty())) return false;
  }
  if (!s.empty() || !hasDate) {
    if (!readNumber(s, 2, false, p.hour) || !readChar(s, ':') || !readNumber(s, 2, false, p.minute)) return false;
    if (readChar(s, ':') && !readNumber(s, 2, false, p.second)) return false;
  }
  if (!s.empty()) return false;
  try {
    out = makeDateTime(p);
  } catch (const ComError&) {
    return false;
  }
  return true;
}

DateTime now() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return makeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                       local.tm_sec > 59 ? 59 : local.tm_sec});
}

}  // namespace pelorix::com
