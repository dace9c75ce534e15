#include "records/readable_marks.h"

#include <stdexcept>

#include "host/marks.h"

namespace pelorix::records {

std::string toReadableMarks(std::string_view raw) {
  std::string out;
  for (char c : raw) {
    if (c == host::kAttributeMark) out += '^';
    else if (c == host::kValueMark) out += ']';
    else if (c == host::kSubvalueMark) out += '\\';
    else if (c == '^' || c == ']' || c == '\\') (out += '\\') += c;
    else out += c;
  }
  return out;
}

std::string fromReadableMarks(std::string_view readable) {
  std::string out;
  for (size_t i = 0; i < readable.size(); ++i) {
    char c = readable[i];
    if (c == '^') {
      out += host::kAttributeMark;
    } else if (c == ']') {
      out += host::kValueMark;
    } else if (c == '\\') {
      // "\" before a mark character is that character; alone it is the SVM.
      if (i + 1 < readable.size() && (readable[i + 1] == '^' || readable[i + 1] == ']' || readable[i + 1] == '\\'))
        out += readable[++i];
      else
        out += host::kSubvalueMark;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace pelorix::records
