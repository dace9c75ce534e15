#include "mv/conversions.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <vector>

#include "com/ascii_case.h"
#include "mv/basic_value.h"

namespace pelorix::mv {

namespace chr = std::chrono;

namespace {

constexpr int kEpoch = -732;  // 1967-12-31 in days since 1970-01-01
const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

struct DateCode {
  int yearDigits = 4;
  char separator = 0;  // 0: "07 MAY 2001"
};

std::optional<DateCode> dateCode(const std::string& code) {
  if (code.empty() || std::toupper(static_cast<unsigned char>(code[0])) != 'D') return std::nullopt;
  DateCode d;
  size_t i = 1;
  if (i < code.size() && std::isdigit(static_cast<unsigned char>(code[i]))) d.yearDigits = code[i++] - '0';
  if (d.yearDigits > 4) return std::nullopt;
  if (i < code.size()) d.separator = code[i++];
  if (i != code.size()) return std::nullopt;
  return d;
}

std::string year(int y, int digits) {
  std::string s = std::to_string(y);
  if (digits < 4 && static_cast<int>(s.size()) > digits) s = s.substr(s.size() - static_cast<size_t>(digits));
  return s;
}

std::optional<std::string> dateOut(const std::string& value, const DateCode& d) {
  auto n = asNumber(value);
  if (value.empty() || !n) return value;  // not a date: unchanged
  chr::year_month_day ymd{chr::sys_days{chr::days{static_cast<long long>(*n) + kEpoch}}};
  int y = static_cast<int>(ymd.year());
  unsigned m = static_cast<unsigned>(ymd.month()), day = static_cast<unsigned>(ymd.day());
  char buffer[40];
  if (d.separator == 0 || d.separator == ' ')
    std::snprintf(buffer, sizeof buffer, "%02u %s %s", day, kMonths[m - 1], year(y, d.yearDigits).c_str());
  else
    std::snprintf(buffer, sizeof buffer, "%02u%c%02u%c%s", m, d.separator, day, d.separator, year(y, d.yearDigits).c_str());
  return std::string(buffer);
}

std::optional<std::string> dateIn(const std::string& text, const DateCode&) {
  // Month, day, year in numbers with any separator, or day, month name, year.
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      if (!current.empty() && std::isdigit(static_cast<unsigned char>(current.back())) != std::isdigit(static_cast<unsigned char>(c))) {
        parts.push_back(current);
        current.clear();
      }
      current += c;
    } else if (!current.empty()) {
      parts.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) parts.push_back(current);
  if (parts.size() != 3) return std::string{};
  int m = 0, d = 0, y = 0;
  auto number = [](const std::string& s) { return std::isdigit(static_cast<unsigned char>(s[0])) ? std::stoi(s.substr(0, 6)) : -1; };
  if (number(parts[1]) < 0) {  // 07 MAY 2001
    std::string name = com::upperAscii(parts[1]).substr(0, 3);
    for (int i = 0; i < 12; ++i)
      if (name == kMonths[i]) m = i + 1;
    d = number(parts[0]);
  } else {
    m = number(parts[0]);
    d = number(parts[1]);
  }
  y = number(parts[2]);
  if (y < 0 || m < 1) return std::string{};
  if (parts[2].size() <= 2) y += y < 30 ? 2000 : 1900;  // two-digit years
  chr::year_month_day ymd{chr::year{y}, chr::month{static_cast<unsigned>(m)}, chr::day{static_cast<unsigned>(d)}};
  if (d < 1 || !ymd.ok()) return std::string{};
  return std::to_string(chr::sys_days{ymd}.time_since_epoch().count() - kEpoch);
}

std::optional<std::string> timeOut(const std::string& value, const std::string& code) {
  auto n = asNumber(value);
  if (value.empty() || !n) return value;
  long t = static_cast<long>(*n) % 86400;
  if (t < 0) t += 86400;
  bool seconds = code.find('S') != std::string::npos, twelve = code.find('H') != std::string::npos;
  long h = t / 3600, m = t / 60 % 60, s = t % 60;
  const char* suffix = "";
  if (twelve) {
    suffix = h >= 12 ? "PM" : "AM";
    h = h % 12 == 0 ? 12 : h % 12;
  }
  char buffer[32];
  if (seconds)
    std::snprintf(buffer, sizeof buffer, "%02ld:%02ld:%02ld%s", h, m, s, suffix);
  else
    std::snprintf(buffer, sizeof buffer, "%02ld:%02ld%s", h, m, suffix);
  return std::string(buffer);
}

std::optional<std::string> timeIn(const std::string& text) {
  int h = 0, m = 0, s = 0;
  char tail[8] = {0};
  int got = std::sscanf(text.c_str(), "%d:%d:%d%7s", &h, &m, &s, tail);
  if (got < 2) return std::string{};
  if (got == 2) std::sscanf(text.c_str(), "%d:%d%7s", &h, &m, tail);
  std::string ampm = com::upperAscii(tail);
  if (ampm == "PM" && h < 12) h += 12;
  if (ampm == "AM" && h == 12) h = 0;
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::string{};
  return std::to_string(h * 3600 + m * 60 + s);
}

}  // namespace

std::optional<std::string> oconv(const std::string& value, const std::string& code) {
  std::string c = com::upperAscii(code);
  if (auto d = dateCode(c)) return dateOut(value, *d);
  if (c.rfind("MT", 0) == 0) return timeOut(value, c);
  return std::nullopt;
}

std::optional<std::string> iconv(const std::string& text, const std::string& code) {
  std::string c = com::upperAscii(code);
  if (auto d = dateCode(c)) return dateIn(text, *d);
  if (c.rfind("MT", 0) == 0) return timeIn(text);
  return std::nullopt;
}

}  // namespace pelorix::mv
