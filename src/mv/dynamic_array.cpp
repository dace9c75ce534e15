#include "mv/dynamic_array.h"

#include <array>

namespace pelorix::mv {

namespace {

constexpr std::array<char, 3> kMarks = {AM, VM, SVM};
using Positions = std::array<int, 3>;

// A subvalue position under value 0 means the first value.
Positions positions(int attribute, int value, int subvalue) {
  return {attribute, value == 0 && subvalue != 0 ? 1 : value, subvalue};
}

// The deepest level whose position is not 0.
int deepest(const Positions& p) {
  int level = 0;
  for (int i = 1; i < 3; ++i)
    if (p[i] != 0) level = i;
  return level;
}

// The element that `position` names, made to exist (padding with empties).
std::string& reach(std::vector<std::string>& parts, int position) {
  if (position < 0) {
    parts.emplace_back();
    return parts.back();
  }
  if (parts.size() < static_cast<size_t>(position)) parts.resize(static_cast<size_t>(position));
  return parts[static_cast<size_t>(position) - 1];
}

std::string replaceAt(std::string_view s, int level, const Positions& p, std::string_view value) {
  if (level > deepest(p) || p[level] == 0) return std::string(value);
  auto parts = split(s, kMarks[level]);
  std::string& target = reach(parts, p[level]);
  target = replaceAt(target, level + 1, p, value);
  return join(parts, kMarks[level]);
}

std::string insertAt(std::string_view s, int level, const Positions& p, std::string_view value) {
  auto parts = split(s, kMarks[level]);
  int position = p[level];
  if (level == deepest(p)) {
    if (position < 0 || static_cast<size_t>(position) > parts.size()) {
      if (position > 0) parts.resize(static_cast<size_t>(position) - 1);
      parts.emplace_back(value);
    } else {
      parts.insert(parts.begin() + (position > 0 ? position - 1 : 0), std::string(value));
    }
    return join(parts, kMarks[level]);
  }
  std::string& target = reach(parts, position);
  target = insertAt(target, level + 1, p, value);
  return join(parts, kMarks[level]);
}

std::string deleteAt(std::string_view s, int level, const Positions& p) {
  auto parts = split(s, kMarks[level]);
  int position = p[level];
  if (position < 1 || static_cast<size_t>(position) > parts.size()) return std::string(s);
  if (level == deepest(p))
    parts.erase(parts.begin() + position - 1);
  else
    parts[static_cast<size_t>(position) - 1] = deleteAt(parts[static_cast<size_t>(position) - 1], level + 1, p);
  return join(parts, kMarks[level]);
}

}  // namespace

std::vector<std::string> split(std::string_view text, char mark) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i)
    if (i == text.size() || text[i] == mark) {
      parts.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  return parts;
}

std::string join(const std::vector<std::string>& parts, char mark) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += mark;
    out += parts[i];
  }
  return out;
}

namespace {

// Element n (from 1) of the text, found by scanning from `start`, the
// beginning of element `from`; empty when there is no such element.
std::string_view element(std::string_view text, char mark, int n, int from = 1, size_t start = 0,
                         size_t* found = nullptr) {
  if (n < 1 || text.empty()) return {};
  size_t at = start;
  for (int i = from; i < n; ++i) {
    size_t next = text.find(mark, at);
    if (next == std::string_view::npos) return {};
    at = next + 1;
  }
  if (found) *found = at;
  size_t end = text.find(mark, at);
  return text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
}

std::string within(std::string_view attribute, int value, int subvalue) {
  Positions p = positions(1, value, subvalue);
  if (p[1] == 0) return std::string(attribute);
  if (p[1] < 0 || p[2] < 0) return {};
  std::string_view v = element(attribute, VM, p[1]);
  return std::string(p[2] == 0 ? v : element(v, SVM, p[2]));
}

}  // namespace

std::string Extract(std::string_view array, int attribute, int value, int subvalue) {
  if (attribute == 0) return std::string(array);
  if (attribute < 0) return {};
  return within(element(array, AM, attribute), value, subvalue);
}

std::string Extract(std::string_view array, ExtractHint& hint, int attribute, int value, int subvalue) {
  if (attribute == 0) return std::string(array);
  if (attribute < 0) return {};
  if (attribute < hint.attribute || hint.offset > array.size()) hint = {};
  size_t found = 0;
  std::string_view a = element(array, AM, attribute, hint.attribute, hint.offset, &found);
  if (!a.empty() || found) hint = {attribute, found};
  return within(a, value, subvalue);
}

std::string Replace(std::string_view array, int attribute, int value, int subvalue, std::string_view replacement) {
  if (attribute == 0) return std::string(replacement);
  return replaceAt(array, 0, positions(attribute, value, subvalue), replacement);
}

std::string Insert(std::string_view array, int attribute, int value, int subvalue, std::string_view insertion) {
  if (attribute == 0) return std::string(array);
  return insertAt(array, 0, positions(attribute, value, subvalue), insertion);
}

std::string Delete(std::string_view array, int attribute, int value, int subvalue) {
  return deleteAt(array, 0, positions(attribute, value, subvalue));
}

int Count(std::string_view text, std::string_view substring) {
  if (substring.empty()) return 0;
  int n = 0;
  for (size_t at = text.find(substring); at != std::string_view::npos; at = text.find(substring, at + substring.size()))
    ++n;
  return n;
}

std::string Field(std::string_view text, std::string_view delimiter, int occurrence, int count) {
  if (delimiter.empty()) return std::string(text);
  if (occurrence < 1) occurrence = 1;
  if (count < 1) return {};
  size_t start = 0;
  for (int i = 1; i < occurrence; ++i) {
    size_t next = text.find(delimiter, start);
    if (next == std::string_view::npos) return {};
    start = next + delimiter.size();
  }
  size_t end = start;
  for (int i = 0; i < count; ++i) {
    size_t next = text.find(delimiter, end);
    if (next == std::string_view::npos) return std::string(text.substr(start));
    end = next + (i + 1 < count ? delimiter.size() : 0);
  }
  return std::string(text.substr(start, end - start));
}

}  // namespace pelorix::mv
