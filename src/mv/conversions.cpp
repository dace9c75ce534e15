#include "mv/conversions.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/ascii_case.h"
#include "base/marks.h"
#include "mv/basic_value.h"

namespace pelorix::mv {

namespace chr = std::chrono;

namespace {

constexpr int kEpoch = -732;  // 1967-12-31 in days since 1970-01-01
const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

struct DateCode {
  int yearDigits = 4;
  char separator = 0;  // 0: "07 MAY 2001"
  std::string part;    // Y, M, MA, D, Q, W, WA, J: one part of the date
  bool european = false;
};

std::optional<DateCode> dateCode(const std::string& code) {
  if (code.empty() || code[0] != 'D') return std::nullopt;
  DateCode d;
  size_t i = 1;
  if (i < code.size() && isDigit(code[i])) d.yearDigits = code[i++] - '0';
  if (d.yearDigits > 4) return std::nullopt;
  static const char* parts[] = {"MA", "WA", "Y", "M", "D", "Q", "W", "J"};
  for (const char* part : parts)
    if (code.compare(i, std::string(part).size(), part) == 0) {
      d.part = part;
      i += d.part.size();
      break;
    }
  if (d.part == "Y" && i < code.size() && isDigit(code[i])) d.yearDigits = code[i++] - '0';
  if (d.part.empty() && i < code.size() && code[i] != 'E' && !isLetterOrDigit(code[i])) d.separator = code[i++];
  if (i < code.size() && code[i] == 'E') {
    d.european = true;
    ++i;
  }
  if (i != code.size()) return std::nullopt;
  return d;
}

std::string year(int y, int digits) {
  std::string s = std::to_string(y);
  if (digits < 4 && static_cast<int>(s.size()) > digits) s = s.substr(s.size() - static_cast<size_t>(digits));
  return s;
}

const char* kMonthNames[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                             "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* kDayNames[] = {"MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY", "SUNDAY"};

std::optional<std::string> dateOut(const std::string& value, const DateCode& d) {
  auto n = asStrictNumber(value);
  if (value.empty() || !n) return value;  // not a date: unchanged
  long long dayNumber = static_cast<long long>(std::floor(*n));
  chr::sys_days days{chr::days{dayNumber + kEpoch}};
  chr::year_month_day ymd{days};
  int y = static_cast<int>(ymd.year());
  unsigned m = static_cast<unsigned>(ymd.month()), day = static_cast<unsigned>(ymd.day());
  unsigned weekday = chr::weekday{days}.iso_encoding();
  char buffer[40];
  if (d.part == "Y") return year(y, d.yearDigits);
  if (d.part == "M") return std::to_string(m);
  if (d.part == "MA") return std::string(kMonthNames[m - 1]);
  if (d.part == "D") {
    std::snprintf(buffer, sizeof buffer, "%02u", day);
    return std::string(buffer);
  }
  if (d.part == "Q") return std::to_string((m - 1) / 3 + 1);
  if (d.part == "W") return std::to_string(weekday);
  if (d.part == "WA") return std::string(kDayNames[weekday - 1]);
  if (d.part == "J") {
    chr::sys_days first{chr::year_month_day{ymd.year(), chr::January, chr::day{1}}};
    return std::to_string((days - first).count() + 1);
  }
  if (d.separator == 0 || d.separator == ' ')
    std::snprintf(buffer, sizeof buffer, "%02u %s %s", day, kMonths[m - 1], year(y, d.yearDigits).c_str());
  else if (d.european)
    std::snprintf(buffer, sizeof buffer, "%02u%c%02u%c%s", day, d.separator, m, d.separator,
                  year(y, d.yearDigits).c_str());
  else
    std::snprintf(buffer, sizeof buffer, "%02u%c%02u%c%s", m, d.separator, day, d.separator,
                  year(y, d.yearDigits).c_str());
  return std::string(buffer);
}

std::optional<std::string> dateIn(const std::string& text, const DateCode& code) {
  // Month, day, year in numbers with any separator, or day, month name, year.
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (isLetterOrDigit(c)) {
      if (!current.empty() && isDigit(current.back()) != isDigit(c)) {
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
  auto number = [](const std::string& s) { return isDigit(s[0]) ? std::stoi(s.substr(0, 6)) : -1; };
  if (number(parts[1]) < 0) {  // 07 MAY 2001
    std::string name = pelorix::upperAscii(parts[1]).substr(0, 3);
    for (int i = 0; i < 12; ++i)
      if (name == kMonths[i]) m = i + 1;
    d = number(parts[0]);
  } else if (code.european) {
    d = number(parts[0]);
    m = number(parts[1]);
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
  std::string ampm = pelorix::upperAscii(tail);
  if (ampm == "PM" && h < 12) h += 12;
  if (ampm == "AM" && h == 12) h = 0;
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::string{};
  return std::to_string(h * 3600 + m * 60 + s);
}

// ---- MD, MR, ML: decimals ----

struct DecimalCode {
  char justify = 'R';
  int decimals = 0, scale = 0;
  bool commas = false, dollar = false, zeroEmpty = false;
  std::string negative = "-";  // "-" before; "T" trailing minus; "<", "C", "D"
  std::string mask;            // a mask after the options
};

std::optional<DecimalCode> decimalCode(const std::string& code) {
  if (code.size() < 2 || code[0] != 'M' || (code[1] != 'D' && code[1] != 'R' && code[1] != 'L')) return std::nullopt;
  DecimalCode d;
  d.justify = code[1] == 'L' ? 'L' : 'R';
  size_t i = 2;
  if (i < code.size() && isDigit(code[i])) {
    d.decimals = d.scale = code[i++] - '0';
    if (i < code.size() && isDigit(code[i])) d.scale = code[i++] - '0';
  }
  for (; i < code.size(); ++i) {
    char c = code[i];
    if (c == ',')
      d.commas = true;
    else if (c == '$')
      d.dollar = true;
    else if (c == 'Z')
      d.zeroEmpty = true;
    else if (c == '-')
      d.negative = "T";
    else if (c == '<' || c == 'C' || c == 'D')
      d.negative = std::string(1, c);
    else if (c == '#' || c == '*' || c == '%') {
      d.mask = std::string(1, d.justify) + code.substr(i);
      break;
    } else
      return std::nullopt;
  }
  return d;
}

std::string withCommas(const std::string& digits) {
  std::string out;
  for (size_t k = 0; k < digits.size(); ++k) {
    if (k && (digits.size() - k) % 3 == 0) out += ',';
    out += digits[k];
  }
  return out;
}

std::string decimalText(double x, int decimals, bool commas) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, std::fabs(x));
  std::string s = buffer;
  size_t point = s.find('.');
  std::string whole = s.substr(0, point), fraction = point == std::string::npos ? "" : s.substr(point);
  return (commas ? withCommas(whole) : whole) + fraction;
}

std::optional<std::string> applyMask(const std::string& value, const std::string& code);

std::optional<std::string> decimalOut(const std::string& value, const DecimalCode& d) {
  auto n = asNumber(value);
  if (value.empty() || !n) return value;
  double x = *n / std::pow(10.0, d.scale);
  double rounded = std::round(x * std::pow(10.0, d.decimals)) / std::pow(10.0, d.decimals);
  if (rounded == 0 && d.zeroEmpty) return std::string{};
  std::string s = (d.dollar ? "$" : "") + decimalText(rounded, d.decimals, d.commas);
  if (rounded < 0) {
    if (d.negative == "-")
      s = "-" + s;
    else if (d.negative == "T")
      s += "-";
    else if (d.negative == "<")
      s = "<" + s + ">";
    else
      s += d.negative == "C" ? "CR" : "DB";
  }
  if (!d.mask.empty()) return applyMask(s, d.mask);
  return s;
}

std::optional<std::string> decimalIn(const std::string& text, const DecimalCode& d) {
  std::string digits;
  bool minus = false;
  for (char c : text) {
    if (c == '-' || c == '<' || c == '(')
      minus = true;
    else if (isDigit(c) || c == '.')
      digits += c;
    else if (c != '$' && c != ',' && c != ' ' && c != '>' && c != ')' && c != '+' && c != 'C' && c != 'R' && c != 'D' &&
             c != 'B')
      return std::string{};
  }
  auto n = asStrictNumber(digits);
  if (!n) return std::string{};
  double x = std::round(*n * std::pow(10.0, d.scale));
  return formatNumber(minus ? -x : x);
}

// ---- MC: character classes and case ----

std::optional<std::string> characterOut(const std::string& value, const std::string& code) {
  if (code == "MCU") return upperText(value);
  if (code == "MCL") return lowerText(value);
  if (code == "MCT") {
    std::string out;
    bool start = true;
    for (size_t i = 0; i < value.size();) {
      size_t length = charLength(value, i);
      std::string ch = value.substr(i, length);
      bool letter = length > 1 || isLetter(ch[0]);
      out += letter ? (start ? upperText(ch) : lowerText(ch)) : ch;
      start = !letter && !isDigit(ch[0]);
      i += length;
    }
    return out;
  }
  auto keep = [&](auto test) {
    std::string out;
    for (char c : value)
      if (test(static_cast<unsigned char>(c))) out += c;
    return out;
  };
  if (code == "MCA") return keep([](unsigned char c) { return isLetter(static_cast<char>(c)); });
  if (code == "MC/A") return keep([](unsigned char c) { return !isLetter(static_cast<char>(c)); });
  if (code == "MCN") return keep([](unsigned char c) { return isDigit(static_cast<char>(c)); });
  if (code == "MC/N") return keep([](unsigned char c) { return !isDigit(static_cast<char>(c)); });
  if (code == "MCP") {  // a control character or a mark shows as a period; UTF-8 letters stay
    std::string out = value;
    for (char& c : out) {
      auto b = static_cast<unsigned char>(c);
      if (b < 0x20 || b == 0x7F || b >= 0xF8) c = '.';
    }
    return out;
  }
  if (code == "MCD" || code == "MCDX" || code == "MCX" || code == "MCXD") {
    // Whole numbers between decimal and hexadecimal; "" for what is neither.
    bool toHex = code[2] == 'D';
    size_t digits = 0;
    unsigned long long n = 0;
    for (char c : value) {
      int d = isDigit(c)                                               ? c - '0'
              : !toHex && upperAscii(c) >= 'A' && upperAscii(c) <= 'F' ? upperAscii(c) - 'A' + 10
                                                                       : -1;
      if (d < 0 || ++digits > 15) return std::string{};
      n = n * (toHex ? 10 : 16) + static_cast<unsigned>(d);
    }
    if (digits == 0) return std::string{};
    char out[24];
    std::snprintf(out, sizeof out, toHex ? "%llX" : "%llu", n);
    return std::string(out);
  }
  return std::nullopt;
}

// ---- G: groups ----

std::optional<std::string> groupOut(const std::string& value, const std::string& code) {
  size_t i = 1, skip = 0;
  while (i < code.size() && isDigit(code[i])) skip = skip * 10 + static_cast<size_t>(code[i++] - '0');
  if (i >= code.size() || skip > 100000) return std::nullopt;
  char delimiter = code[i++];
  if (i >= code.size() || code.size() - i > 6) return std::nullopt;
  size_t count = 0;
  for (; i < code.size(); ++i) {
    if (!isDigit(code[i])) return std::nullopt;
    count = count * 10 + static_cast<size_t>(code[i] - '0');
  }
  size_t begin = 0;
  for (size_t k = 0; k < skip; ++k) {
    begin = value.find(delimiter, begin);
    if (begin == std::string::npos) return std::string{};
    ++begin;
  }
  size_t end = begin;
  for (size_t k = 0; k < count; ++k) {
    end = value.find(delimiter, end);
    if (end == std::string::npos) return value.substr(begin);
    if (k + 1 < count) ++end;
  }
  return value.substr(begin, end - begin);
}

// ---- masks ----

// [width[fill]]L|R|C|T[decimals][,][$][Z][mask], or L|R|C followed by #n, %n, *n or a pattern.
std::optional<std::string> applyMask(const std::string& value, const std::string& code) {
  size_t i = 0, width = 0;
  char fill = ' ';
  while (i < code.size() && isDigit(code[i])) width = width * 10 + static_cast<size_t>(code[i++] - '0');
  if (width && i + 1 < code.size() && std::string("LRCT").find(code[i]) == std::string::npos) fill = code[i++];
  if (i >= code.size() || std::string("LRCT").find(code[i]) == std::string::npos) return std::nullopt;
  char justify = code[i++];
  std::string text = value;
  if (i < code.size() && isDigit(code[i])) {
    DecimalCode d;
    d.decimals = d.scale = code[i++] - '0';
    if (i < code.size() && isDigit(code[i])) d.scale = code[i++] - '0';
    d.scale = d.scale == d.decimals ? 0 : d.scale;
    while (i < code.size() && std::string(",$Z-").find(code[i]) != std::string::npos) {
      if (code[i] == ',') d.commas = true;
      if (code[i] == '$') d.dollar = true;
      if (code[i] == 'Z') d.zeroEmpty = true;
      if (code[i] == '-') d.negative = "T";
      ++i;
    }
    if (asNumber(value) && !value.empty()) text = *decimalOut(value, d);
  } else {
    while (i < code.size() && (code[i] == ',' || code[i] == '$')) {
      if (code[i] == '$' && asNumber(value) && !value.empty()) text = "$" + text;
      ++i;
    }
  }
  std::string mask = code.substr(i);
  if (mask.size() > 1 && (mask[0] == '#' || mask[0] == '%' || mask[0] == '*') &&
      mask.find_first_not_of("0123456789", 1) == std::string::npos) {
    if (mask.size() > 7) return std::nullopt;
    fill = mask[0] == '#' ? ' ' : mask[0] == '%' ? '0' : '*';
    width = std::stoul(mask.substr(1));
    mask.clear();
  }
  if (!mask.empty()) {
    // Each # (blank), % (zero) or * takes one character of the text; others are literal.
    size_t slots = 0;
    for (char c : mask) slots += c == '#' || c == '%' || c == '*';
    std::vector<std::string> chars;
    for (size_t k = 0; k < text.size(); k += charLength(text, k)) chars.push_back(text.substr(k, charLength(text, k)));
    size_t from = 0;
    size_t pad = justify == 'R' && chars.size() < slots ? slots - chars.size() : 0;
    std::string out;
    size_t slot = 0;
    for (char c : mask) {
      if (c == '#' || c == '%' || c == '*') {
        if (slot >= pad && from < chars.size())
          out += chars[from++];
        else
          out += c == '#' ? ' ' : c == '%' ? '0' : '*';
        ++slot;
      } else {
        out += c;
      }
    }
    return out;
  }
  if (width == 0) return text;
  size_t length = charCount(text);
  if (length >= width) {
    if (justify == 'R') return text.substr(byteOffset(text, length - width));
    return text.substr(0, byteOffset(text, width));
  }
  std::string padding;
  for (size_t k = length; k < width; ++k) padding += fill;
  if (justify == 'R') return padding + text;
  if (justify == 'C') return padding.substr(0, padding.size() / 2) + text + padding.substr(padding.size() / 2);
  return text + padding;
}

// ---- MATCHES ----

struct PatternItem {
  size_t low = 0, high = 0;  // high 0: any number
  char kind = 0;             // N, A, X; 0 for a literal
  std::string literal;
};

std::vector<PatternItem> patternItems(const std::string& p) {
  std::vector<PatternItem> items;
  for (size_t i = 0; i < p.size();) {
    PatternItem item;
    if (isDigit(p[i])) {
      size_t j = i;
      while (j < p.size() && isDigit(p[j])) ++j;
      size_t low = std::stoul(p.substr(i, std::min<size_t>(j - i, 6))), high = low;
      size_t k = j;
      if (k < p.size() && p[k] == '-' && k + 1 < p.size() && isDigit(p[k + 1])) {
        size_t e = k + 1;
        while (e < p.size() && isDigit(p[e])) ++e;
        high = std::stoul(p.substr(k + 1, std::min<size_t>(e - k - 1, 6)));
        k = e;
      }
      char kind = k < p.size() ? upperAscii(p[k]) : '\0';
      if (kind == 'N' || kind == 'A' || kind == 'X') {
        item.kind = kind;
        item.low = low;
        item.high = low == 0 && high == 0 ? 0 : high;
        if (low == 0 && high == 0) item.high = 0;
        items.push_back(item);
        i = k + 1;
        continue;
      }
    }
    if (p.compare(i, 3, "...") == 0) {  // any text, as 0X
      item.kind = 'X';
      items.push_back(item);
      i += 3;
      continue;
    }
    if (p[i] == '\'' || p[i] == '"') {
      size_t close = p.find(p[i], i + 1);
      if (close == std::string::npos) close = p.size();
      item.literal = p.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      item.literal = std::string(1, p[i++]);
    }
    items.push_back(item);
  }
  return items;
}

bool fits(char kind, unsigned char c) {
  return kind == 'X' || (kind == 'N' ? isDigit(static_cast<char>(c)) : isLetter(static_cast<char>(c)) || c >= 0x80);
}

bool matchOne(const std::string& value, const std::vector<PatternItem>& items) {
  // Positions of the text reachable after each item: linear in the text per item.
  std::vector<char> at(value.size() + 1, 0), nextAt(value.size() + 1, 0);
  at[0] = 1;
  for (const PatternItem& item : items) {
    std::fill(nextAt.begin(), nextAt.end(), 0);
    for (size_t pos = 0; pos <= value.size(); ++pos) {
      if (!at[pos]) continue;
      if (item.kind == 0) {
        if (value.compare(pos, item.literal.size(), item.literal) == 0) nextAt[pos + item.literal.size()] = 1;
        continue;
      }
      size_t run = 0;
      while (pos + run < value.size() && fits(item.kind, static_cast<unsigned char>(value[pos + run]))) ++run;
      if (item.low == 0 && item.high == 0) {
        for (size_t k = 0; k <= run; ++k) nextAt[pos + k] = 1;
      } else {
        for (size_t k = item.low; k <= item.high && k <= run; ++k) nextAt[pos + k] = 1;
      }
    }
    std::swap(at, nextAt);
  }
  return at[value.size()] != 0;
}

}  // namespace

std::optional<std::string> oconv(const std::string& value, const std::string& code) {
  std::string c = pelorix::upperAscii(code);
  if (auto d = dateCode(c)) return dateOut(value, *d);
  if (c.rfind("MT", 0) == 0 && c.find_first_not_of("MTHS", 2) == std::string::npos) return timeOut(value, c);
  if (auto d = decimalCode(c)) return decimalOut(value, *d);
  if (c.rfind("MC", 0) == 0) return characterOut(value, c);
  if (c.size() > 1 && c[0] == 'G') return groupOut(value, code);
  if (c.size() > 1 && c[0] == 'P' && (c[1] == '(' || c[1] == '\'' || c[1] == '"')) {
    std::string pattern = code.substr(2, code.size() - (code.back() == ')' || code.back() == c[1] ? 3 : 2));
    return matchesPattern(value, pattern) ? value : std::string{};
  }
  if (!c.empty() && (c[0] == 'L' || c[0] == 'R' || c[0] == 'C') && c.size() > 1) return applyMask(value, code);
  return std::nullopt;
}

std::optional<std::string> iconv(const std::string& text, const std::string& code) {
  std::string c = pelorix::upperAscii(code);
  if (auto d = dateCode(c)) return dateIn(text, *d);
  if (c.rfind("MT", 0) == 0 && c.find_first_not_of("MTHS", 2) == std::string::npos) return timeIn(text);
  if (auto d = decimalCode(c)) return decimalIn(text, *d);
  if (c.rfind("MC", 0) == 0) return characterOut(text, c);
  return std::nullopt;
}

std::optional<std::string> formatValue(const std::string& value, const std::string& code) {
  return applyMask(value, code);
}

bool matchesPattern(const std::string& value, const std::string& pattern) {
  size_t from = 0;
  while (true) {
    size_t vm = pattern.find(kValueMark, from);
    if (matchOne(value, patternItems(pattern.substr(from, vm == std::string::npos ? std::string::npos : vm - from))))
      return true;
    if (vm == std::string::npos) return false;
    from = vm + 1;
  }
}

}  // namespace pelorix::mv
