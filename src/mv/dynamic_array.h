#pragma once
// Dynamic arrays as MultiValue BASIC sees them: attributes separated by AM,
// values by VM, subvalues by SVM. Positions count from 1; a value or
// subvalue position of 0 means the whole element above it, and -1 in
// Replace or Insert means one past the last.

#include <string>
#include <string_view>
#include <vector>

#include "base/marks.h"

namespace pelorix::mv {

inline constexpr char AM = kAttributeMark;
inline constexpr char VM = kValueMark;
inline constexpr char SVM = kSubvalueMark;

// "" splits into no elements at all.
std::vector<std::string> split(std::string_view text, char mark);
std::string join(const std::vector<std::string>& parts, char mark);

std::string Extract(std::string_view array, int attribute, int value = 0, int subvalue = 0);
// Where attribute `attribute` of a text was last found, so that taking the
// attributes of a long text one after another costs one pass over it. Valid
// only for the same, unchanged text.
struct ExtractHint {
  int attribute = 1;
  size_t offset = 0;
};
std::string Extract(std::string_view array, ExtractHint& hint, int attribute, int value = 0, int subvalue = 0);
std::string Replace(std::string_view array, int attribute, int value, int subvalue, std::string_view replacement);
std::string Insert(std::string_view array, int attribute, int value, int subvalue, std::string_view insertion);
std::string Delete(std::string_view array, int attribute, int value = 0, int subvalue = 0);

// COUNT: how often the substring occurs, without overlaps.
int Count(std::string_view text, std::string_view substring);
// FIELD: `count` delimited pieces from the occurrence-th on.
std::string Field(std::string_view text, std::string_view delimiter, int occurrence, int count = 1);

}  // namespace pelorix::mv
