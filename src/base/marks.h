#pragma once
// The marks of a dynamic array, as the host and the conduit exchange them.

namespace pelorix {

inline constexpr char kAttributeMark = static_cast<char>(0xFE);
inline constexpr char kValueMark = static_cast<char>(0xFD);
inline constexpr char kSubvalueMark = static_cast<char>(0xFC);

}  // namespace pelorix
