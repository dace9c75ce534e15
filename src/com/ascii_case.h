#pragma once
// Case folding of names and keywords. ASCII only: the locale must not change
// how a program, a setting or a database name is matched.

#include <string>

namespace pelorix::com {

inline char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string upperAscii(std::string s) {
  for (char& c : s) c = upperAscii(c);
  return s;
}
inline std::string lowerAscii(std::string s) {
  for (char& c : s) c = lowerAscii(c);
  return s;
}

}  // namespace pelorix::com
