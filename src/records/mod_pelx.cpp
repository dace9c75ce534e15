#include "records/mod_pelx.h"

#include <cmath>

#include "base/marks.h"
#include "com/com_error.h"
#include "com/datetime.h"

namespace pelorix::records {

namespace err = com::err;

namespace {

constexpr const char* kSource = "modPelx";
constexpr std::int64_t kMvEpoch = 24837;  // 1967-12-31 as an automation day

// 2 to the power n as a signed 32-bit number, as the helpers form it.
std::int32_t power(int n) {
  if (n < 0 || n > 30) com::raise(err::kOverflow, kSource, "Overflow");
  return std::int32_t{1} << n;
}

bool bitSet(std::int32_t value, int n) { return (value & power(n)) != 0; }

}  // namespace

std::int16_t GetBit(std::int32_t value, std::int16_t n) { return bitSet(value, n) ? 1 : 0; }

std::int32_t BitValue(std::int16_t flag, std::int16_t n) {
  std::int32_t p = power(n);
  return flag == 1 ? p : 0;
}

std::int16_t GetNibble(std::int32_t value, std::int16_t n) {
  std::int16_t sum = 0;
  for (int k = 0; k < 4; ++k)
    if (bitSet(value, 4 * n + k)) sum = static_cast<std::int16_t>(sum + (1 << k));
  return sum;
}

std::int32_t NibbleValue(std::int32_t nibble, std::int16_t n) {
  std::int32_t sum = 0;
  for (int k = 0; k < 4; ++k)
    if (nibble & (1 << k)) sum += power(4 * n + k);
  return sum;
}

std::int16_t GetBitField(std::int16_t value, std::int16_t firstBit, std::int16_t count) {
  std::int32_t wide = value;  // sign-extended
  std::int32_t sum = 0;
  for (int i = 0; i < count; ++i)
    if (bitSet(wide, firstBit + i)) sum += power(i);
  if (sum > INT16_MAX) com::raise(err::kOverflow, kSource, "Overflow");
  return static_cast<std::int16_t>(sum);
}

std::string MaskLineBreaks(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = '\x01';
  return out;
}

std::int32_t DateToMvDate(DateTime d) {
  double whole = std::trunc(d.days);
  double fraction = std::fabs(d.days - whole);
  auto day = static_cast<std::int64_t>(whole);
  // Noon goes to whichever neighbouring day has an even count.
  if (fraction > 0.5 || (fraction == 0.5 && day % 2 != 0)) day += 1;
  std::int64_t n = day - kMvEpoch;
  if (n < INT32_MIN || n > INT32_MAX) com::raise(err::kOverflow, kSource, "Overflow");
  return static_cast<std::int32_t>(n);
}

DateTime MvDateToDate(std::int32_t n) {
  double days = static_cast<double>(std::int64_t{n} + kMvEpoch);
  // The calendar runs from the year 100 to the year 9999.
  if (days < -657434 || days > 2958465) com::raise(err::kOverflow, kSource, "Overflow");
  return DateTime{days};
}

DateTime PalmDateToDate(std::uint16_t w) {
  int year = 1904 + ((w >> 9) & 0x7F);
  int month = (w >> 5) & 0x0F;
  if (month == 0 || month > 12) month = 12;
  return com::makeDate(year, month, w & 0x1F);
}

std::uint16_t DateToPalmDate(DateTime d) {
  com::DateParts p = com::splitDateTime(DateTime{std::trunc(d.days)});
  if (p.year < 1904 || p.year > 2031) com::raise(err::kOverflow, kSource, "Overflow");
  return static_cast<std::uint16_t>((p.year - 1904) << 9 | p.month << 5 | p.day);
}

DateTime PalmTimeToDate(std::uint16_t w) {
  int high = w >> 8;
  int hour = high > 127 ? high - 256 : high;  // the byte is signed: 0xFF, no time, is -1
  int minute = w & 0xFF;
  return com::makeTime(hour, minute, 0);  // out of range: type mismatch
}

std::uint16_t DateToPalmTime(DateTime t) {
  com::DateParts p = com::splitDateTime(t);
  return static_cast<std::uint16_t>(p.hour << 8 | p.minute);
}

DateTime MvTimeToDate(std::int32_t n) {
  if (n < 0 || n > 86399) com::raise(err::kTypeMismatch, kSource, "Type mismatch");
  return com::makeTime(n / 3600, n % 3600 / 60, n % 60);
}

std::int32_t DateToMvTime(DateTime t) {
  com::DateParts p = com::splitDateTime(t);
  return 3600 * p.hour + 60 * p.minute + p.second;
}

std::string lineBreaksToSvm(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    out += (c == '\r' || c == '\n') ? pelorix::kSubvalueMark : c;
  }
  return out;
}

std::string svmToLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == pelorix::kSubvalueMark)
      out += "\r\n";
    else
      out += c;
  }
  return out;
}

std::string toHandheldLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace pelorix::records
