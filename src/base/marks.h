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

}  // namespace pelorix
