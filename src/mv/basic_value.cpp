#include "mv/basic_value.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pelorix::mv {

std::optional<double> asNumber(std::string_view text) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  if (i == n) return 0.0;
  size_t start = i;
  if (text[i] == '+' || text[i] == '-') ++i;
  bool digits = false, point = false;
  for (; i < n; ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i]))) digits = true;
    else if (text[i] == '.' && !point) point = true;
    else return std::nullopt;
  }
  if (!digits) return std::nullopt;
  return std::strtod(std::string(text.substr(start, n - start)).c_str(), nullptr);
}

std::string formatNumber(double value) {
  if (value == 0) return "0";
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string s = buffer;
  if (s.find('e') == std::string::npos && s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s.rfind("0.", 0) == 0) s.erase(0, 1);  // ".5", as MultiValue hosts print it
  if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
  return s;
}

}  // namespace pelorix::mv
