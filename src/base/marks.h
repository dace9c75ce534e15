#pragma once
// The marks of a dynamic array, as the host and the conduit exchange them.

#include <string>
#include <string_view>
#include <vector>

namespace pelorix {

inline constexpr char kAttributeMark = static_cast<char>(0xFE);
inline constexpr char kValueMark = static_cast<char>(0xFD);
inline constexpr char kSubvalueMark = static_cast<char>(0xFC);

// The parts of `text` between its `mark`s; "" is one empty part.
inline std::vector<std::string> splitAt(std::string_view text, char mark) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == mark)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

// Part `n` (from 1) of `text` between its `mark`s, without copying; "" when
// there is no such part.
inline std::string_view markedPart(std::string_view text, char mark, int n) {
  if (n < 1) return {};
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    size_t at = text.find(mark, start);
    if (at == std::string_view::npos) return {};
    start = at + 1;
  }
  size_t end = text.find(mark, start);
  return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// DCOUNT: the parts `delimiter` splits `text` into, without overlaps; 0 for
// "", 1 for an empty delimiter.
inline int countParts(std::string_view text, std::string_view delimiter) {
  if (text.empty()) return 0;
  if (delimiter.empty()) return 1;
  int n = 1;
  for (size_t at = text.find(delimiter); at != std::string_view::npos; at = text.find(delimiter, at + delimiter.size()))
    ++n;
  return n;
}

}  // namespace pelorix
