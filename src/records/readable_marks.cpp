#include "records/readable_marks.h"

#include "base/marks.h"

namespace pelorix::records {

namespace {
constexpr char kEscape = '~';
bool escaped(char c) { return c == '^' || c == ']' || c == '\\' || c == kEscape; }
}  // namespace

std::string toReadableMarks(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (char c : raw) {
    if (c == pelorix::kAttributeMark)
      out += '^';
    else if (c == pelorix::kValueMark)
      out += ']';
    else if (c == pelorix::kSubvalueMark)
      out += '\\';
    else if (escaped(c))
      (out += kEscape) += c;
    else
      out += c;
  }
  return out;
}

std::string fromReadableMarks(std::string_view readable) {
  std::string out;
  out.reserve(readable.size());
  for (size_t i = 0; i < readable.size(); ++i) {
    char c = readable[i];
    if (c == kEscape && i + 1 < readable.size() && escaped(readable[i + 1]))
      out += readable[++i];
    else if (c == '^')
      out += pelorix::kAttributeMark;
    else if (c == ']')
      out += pelorix::kValueMark;
    else if (c == '\\')
      out += pelorix::kSubvalueMark;
    else
      out += c;
  }
  return out;
}

}  // namespace pelorix::records
