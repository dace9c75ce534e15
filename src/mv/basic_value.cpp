#include "mv/basic_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/ascii_case.h"

namespace pelorix::mv {

namespace {

std::optional<double> parseNumber(std::string_view text) {
  size_t i = 0, n = text.size();
  if (i == n) return std::nullopt;
  bool negative = text[i] == '-';
  if (text[i] == '+' || text[i] == '-') ++i;
  // Whole numbers of up to 15 digits, the usual case, without from_chars.
  long long whole = 0;
  size_t start = i;
  while (i < n && isDigit(text[i]) && i - start < 15) whole = whole * 10 + (text[i++] - '0');
  if (i == n) {
    if (i == start) return std::nullopt;
    return negative ? -static_cast<double>(whole) : static_cast<double>(whole);
  }
  bool digits = i > start, point = false;
  for (size_t k = i; k < n; ++k) {
    if (isDigit(text[k]))
      digits = true;
    else if (text[k] == '.' && !point)
      point = true;
    else
      return std::nullopt;
  }
  if (!digits) return std::nullopt;
  std::string_view body = text.substr(start);
  std::string padded;
  if (body.front() == '.' || body.back() == '.') {  // ".5" and "5." for from_chars
    padded = std::string(body.front() == '.' ? "0" : "") + std::string(body) + (body.back() == '.' ? "0" : "");
    body = padded;
  }
  double value = 0;
  std::from_chars(body.data(), body.data() + body.size(), value);
  return negative ? -value : value;
}

bool nearlyEqual(double x, double y) {
  if (x == y) return true;
  double scale = std::max(std::fabs(x), std::fabs(y));
  return std::fabs(x - y) <= scale * 1e-14;
}

}  // namespace

std::optional<double> asNumber(std::string_view text) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  if (i == n) return 0.0;
  return parseNumber(text.substr(i, n - i));
}

std::optional<double> asStrictNumber(std::string_view text) { return parseNumber(text); }

void Value::parse() const {
  if (parsed_ != kUnparsed) return;
  if (auto n = parseNumber(text_)) {
    number_ = *n;
    parsed_ = kStrict;
  } else if (auto loose = asNumber(text_)) {
    number_ = *loose;
    parsed_ = kLoose;
  } else {
    parsed_ = kNotNumber;
  }
}

int compareValues(const Value& a, const Value& b) {
  auto x = a.strict(), y = b.strict();
  if (x && y) return nearlyEqual(*x, *y) ? 0 : *x < *y ? -1 : 1;
  int c = a.text().compare(b.text());
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int compareValues(const std::string& a, const std::string& b) { return compareValues(Value(a), Value(b)); }

std::string formatNumber(double value) {
  if (std::isnan(value) || std::isinf(value)) return "0";
  double rounded = std::fabs(value) >= 1e15 ? std::round(value) : std::round(value * 10000) / 10000;
  if (rounded == 0) return "0";
  char buffer[400];
  std::to_chars_result end;
  if (rounded == std::trunc(rounded)) {
    if (std::fabs(rounded) < 9e18)
      end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(rounded));
    else
      end = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, 0);
    return std::string(buffer, end.ptr);
  }
  end = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, 4);
  std::string s(buffer, end.ptr);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

size_t charLength(std::string_view text, size_t at) {
  auto c = static_cast<unsigned char>(text[at]);
  size_t length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
  if (at + length > text.size()) return 1;
  for (size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 1;
  return length;
}

size_t charCount(std::string_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); i += charLength(text, i)) ++count;
  return count;
}

size_t byteOffset(std::string_view text, size_t index) {
  size_t i = 0;
  for (; i < text.size() && index > 0; --index) i += charLength(text, i);
  return i;
}

size_t charIndex(std::string_view text, size_t at) {
  size_t count = 0;
  for (size_t i = 0; i < at && i < text.size(); i += charLength(text, i)) ++count;
  return count;
}

namespace {

// Latin-1 and Latin Extended-A: the letters Palm text uses.
unsigned caseMap(unsigned cp, bool upper) {
  if (cp < 0x80)
    return static_cast<unsigned char>(upper ? upperAscii(static_cast<char>(cp)) : lowerAscii(static_cast<char>(cp)));
  if (upper && cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 0x20;
  if (!upper && cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 0x20;
  if (cp >= 0x100 && cp <= 0x17F && cp != 0x130 && cp != 0x131 && cp != 0x138 && cp != 0x149 && cp != 0x17F) {
    bool oddUpper = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
    bool isUpper = oddUpper ? cp % 2 == 1 : cp % 2 == 0;
    if (upper && !isUpper) return cp - 1;
    if (!upper && isUpper) return cp + 1;
  }
  return cp;
}

std::string mapCase(std::string_view text, bool upper) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = charLength(text, i);
    unsigned cp = static_cast<unsigned char>(text[i]);
    if (length == 2) cp = ((cp & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
    if (length == 1 && cp >= 0x80) {
      out += text[i];  // not UTF-8: a mark or a stray byte stays
    } else if (length <= 2) {
      unsigned mapped = caseMap(cp, upper);
      if (mapped < 0x80)
        out += static_cast<char>(mapped);
      else {
        out += static_cast<char>(0xC0 | (mapped >> 6));
        out += static_cast<char>(0x80 | (mapped & 0x3F));
      }
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

}  // namespace

std::string upperText(std::string_view text) { return mapCase(text, true); }
std::string lowerText(std::string_view text) { return mapCase(text, false); }

}  // namespace pelorix::mv
