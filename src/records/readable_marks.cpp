#include "records/readable_marks.h"

#include "host/marks.h"

namespace pelorix::records {

namespace {
constexpr char kEscape = '~';
bool escaped(char c) { return c == '^' || c == ']' || c == '\\' || c == kEscape; }
}  // namespace

std::string toReadableMarks(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (char c : raw) {
    if (c == host::kAttributeMark) out += '^';
    else if (c == host::kValueMark) out += ']';
    else if (c == host::kSubvalueMark) out += '\\';
    else if (escaped(c)) (out += kEscape) += c;
    else out += c;
  }
  return out;
}

std::string fromReadableMarks(std::string_view readable) {
  std::string out;
  out.reserve(readable.size());
  for (size_t i = 0; i < readable.size(); ++i) {
    char c = readable[i];
    if (c == kEscape && i + 1 < readable.size() && escaped(readable[i + 1])) out += readable[++i];
    else if (c == '^') out += host::kAttributeMark;
    else if (c == ']') out += host::kValueMark;
    else if (c == '\\') out += host::kSubvalueMark;
    else out += c;
  }
  return out;
}

}  // namespace pelorix::records
