#pragma once
// Civil dates and times as automation dates, built from their numeric parts
// with no locale and no time zone.

#include <cstdint>
#include <string>

#include "com/variant.h"

namespace pelorix::com {

struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// kTypeMismatch when a part is out of its range (day 31 of April, hour 24...).
DateTime makeDateTime(const DateParts& parts);
DateTime makeDate(int year, int month, int day);
DateTime makeTime(int hour, int minute, int second);
// Whole seconds, rounded to nearest.
DateParts splitDateTime(DateTime value);
// Days from 1899-12-30 to the given civil date (no range check).
std::int64_t daysFromCivil(int year, int month, int day);
bool isValidCivilDate(int year, int month, int day);

// "2001-05-07 10:30:45", or only the date or time when the other is zero.
std::string formatDateTime(DateTime value);
// Accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" and "HH:MM[:SS]".
bool parseDateTime(std::string_view text, DateTime& out);

// The desktop's clock, in local time.
DateTime now();

}  // namespace pelorix::com
