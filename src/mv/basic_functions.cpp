// The built-in functions of the embedded BASIC: one table of name, arity and
// handler, which the parser checks calls against and the interpreter runs.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "base/ascii_case.h"
#include "base/marks.h"
#include "mv/account.h"
#include "mv/basic_elementwise.h"
#include "mv/basic_program.h"
#include "mv/basic_value.h"
#include "mv/conversions.h"
#include "mv/dynamic_array.h"

namespace pelorix::mv {

double FunctionContext::number(const Value& v) {
  auto n = v.arithmetic();
  if (!n) fail("\"" + v.text().substr(0, 40) + "\" is not a number");
  return *n;
}

int FunctionContext::whole(const Value& v) {
  double n = std::floor(number(v));
  if (n > 2147483647.0 || n < -2147483648.0) fail("number out of range");
  return static_cast<int>(n);
}

bool FunctionContext::truth(const Value& v) {
  auto n = v.strict();
  return n ? *n != 0 : !v.text().empty();
}

namespace {

using Args = std::span<Value>;
using Context = FunctionContext;

Value count(size_t n) { return Value::number(static_cast<double>(n)); }

// Positions given from argument `first` on; missing ones are 0.
void positions(Context& c, Args a, size_t first, size_t last, int* p) {
  for (size_t i = first; i < last; ++i) p[i - first] = i < a.size() ? c.whole(a[i]) : 0;
}

// Removes `blanks` from `text` by TRIM's type: R (the default) and D leading,
// trailing and repeated ones, A all, B leading and trailing, L or F leading
// (TRIMF), T or E trailing (TRIMB).
std::string trimText(const std::string& text, const std::string& blanks, char type) {
  size_t first = text.find_first_not_of(blanks), last = text.find_last_not_of(blanks);
  if (first == std::string::npos) return "";
  bool leading = type != 'T' && type != 'E', trailing = type != 'L' && type != 'F';
  std::string_view kept(text.data() + (leading ? first : 0),
                        (trailing ? last + 1 : text.size()) - (leading ? first : 0));
  if (type == 'B' || type == 'L' || type == 'F' || type == 'T' || type == 'E') return std::string(kept);
  std::string out;
  // A run inside keeps its first character.
  for (char ch : kept)
    if (blanks.find(ch) == std::string::npos ||
        (type != 'A' && !out.empty() && blanks.find(out.back()) == std::string::npos))
      out += ch;
  return out;
}

// As UniVerse: blanks and tabs unless a character is given.
constexpr const char* kBlanks = " \t";

// TRIM(text[, character[, type]]).
Value trim(Context& c, const Expr&, Args a) {
  std::string blanks = kBlanks;
  if (a.size() > 1) {
    if (a[1].text().size() != 1) c.fail("TRIM takes one character to remove");
    blanks = a[1].text();
  }
  char type = a.size() > 2 && !a[2].text().empty() ? upperAscii(a[2].text()[0]) : 'R';
  if (std::string_view("RDABLFTE").find(type) == std::string_view::npos || (a.size() > 2 && a[2].text().size() != 1))
    c.fail("TRIM type \"" + a[2].text() + "\" is not one of A B D E F L R T");
  return trimText(a[0].text(), blanks, type);
}

// FIELD(text, delimiter, occurrence[, count]), noting for COL1() and COL2()
// the character positions of the delimiters around what it gives. Only the
// delimiter's first character delimits, as on UniVerse, UniData and QM.
Value field(Context& c, const Expr&, Args a) {
  const std::string& text = a[0].text();
  const std::string delimiter = a[1].text().substr(0, byteOffset(a[1].text(), 1));
  int occurrence = c.whole(a[2]), count = a.size() > 3 ? c.whole(a[3]) : 1;
  std::string result = Field(text, delimiter, occurrence, count);
  c.col1 = c.col2 = 0;
  if (delimiter.empty()) return result;
  size_t start = 0;
  for (int i = 1; i < std::max(occurrence, 1); ++i) {
    size_t at = text.find(delimiter, start);
    if (at == std::string::npos) return result;
    start = at + delimiter.size();
  }
  size_t end = start;
  for (int i = 1;; ++i) {  // the delimiter after the count-th piece
    end = text.find(delimiter, end);
    if (end == std::string::npos || i >= count) break;
    end += delimiter.size();
  }
  c.col1 = start == 0 ? 0 : static_cast<int>(charIndex(text, start - delimiter.size()) + 1);
  c.col2 = static_cast<int>(charIndex(text, end == std::string::npos ? text.size() : end) + 1);
  return result;
}

// LOWER moves each mark one level down (AM to VM ...), RAISE one level up.
Value shiftMarks(const Value& v, bool lower) {
  std::string out = v.text();
  for (char& ch : out) {
    auto b = static_cast<unsigned char>(ch);
    if (lower && b >= 0xFA && b <= 0xFE) ch = static_cast<char>(b - 1);
    if (!lower && b >= 0xF9 && b <= 0xFD) ch = static_cast<char>(b + 1);
  }
  return out;
}

std::string timeDate() {
  static const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm t{};
  localtime_r(&now, &t);
  char out[40];
  std::snprintf(out, sizeof out, "%02d:%02d:%02d %02d %s %04d", t.tm_hour, t.tm_min, t.tm_sec, t.tm_mday,
                months[t.tm_mon], t.tm_year + 1900);
  return out;
}

Value index(Context& c, const Expr&, Args a) {
  const std::string &text = a[0].text(), &part = a[1].text();
  int occurrence = c.whole(a[2]);
  if (part.empty() || occurrence < 1) return Value::number(0);
  size_t at = std::string::npos, from = 0;
  for (int i = 0; i < occurrence; ++i) {
    at = text.find(part, from);
    if (at == std::string::npos) return Value::number(0);
    from = at + part.size();
  }
  return count(charIndex(text, at) + 1);
}

Value replaceOrInsert(Context& c, Args a, bool replace) {
  int p[3] = {0, 0, 0};
  for (size_t i = 1; i + 1 < a.size(); ++i) p[i - 1] = c.whole(a[i]);
  const std::string& value = a.back().text();
  return replace ? Replace(a[0].text(), p[0], p[1], p[2], value) : Insert(a[0].text(), p[0], p[1], p[2], value);
}

Value convertChars(Context&, const Expr&, Args a) {  // CONVERT(from, to, text)
  const std::string &from = a[0].text(), &to = a[1].text();
  std::string out;
  for (char ch : a[2].text()) {
    size_t at = from.find(ch);
    if (at == std::string::npos)
      out += ch;
    else if (at < to.size())
      out += to[at];
  }
  return out;
}

// (text, old, new[, how many, from which]): all occurrences unless a count above 0 is given.
Value change(Context& c, const Expr&, Args a) {
  const std::string &text = a[0].text(), &old = a[1].text(), &with = a[2].text();
  int limit = a.size() > 3 ? c.whole(a[3]) : 0, first = a.size() > 4 ? std::max(c.whole(a[4]), 1) : 1;
  if (old.empty()) return text;
  std::string out;
  size_t from = 0;
  int seen = 0, changed = 0;
  for (size_t at; (limit < 1 || changed < limit) && (at = text.find(old, from)) != std::string::npos;
       from = at + old.size()) {
    out.append(text, from, at - from);
    if (++seen >= first) {
      out.append(with);
      ++changed;
    } else {
      out.append(old);
    }
  }
  return out.append(text, from);
}

Value modOrRem(Context& c, Args a, bool mod) {
  double y = c.number(a[1]);
  if (y == 0) c.fail("division by zero");
  double r = std::fmod(c.number(a[0]), y);
  // MOD takes the sign of the divisor, REM that of the dividend.
  if (mod && r != 0 && (r < 0) != (y < 0)) r += y;
  return Value::number(r);
}

Value str(Context& c, const Expr&, Args a) {
  const std::string& text = a[0].text();
  int times = c.whole(a[1]);
  if (times <= 0 || text.empty()) return "";
  c.fits(text.size() * static_cast<size_t>(times));
  std::string out;
  out.reserve(text.size() * static_cast<size_t>(times));
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

Value space(Context& c, const Expr&, Args a) {
  int n = c.whole(a[0]);
  if (n <= 0) return "";
  c.fits(static_cast<size_t>(n));
  return std::string(static_cast<size_t>(n), ' ');
}

std::tm localNow() {
  auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

bool translateCode(char code) { return code == 'X' || code == 'V' || code == 'C'; }

// TRANS(file, ids, field, code): field `field` of the items `ids` (apart by
// value marks) of `file` ("DICT name" for its dictionary), each lowered one
// level as UniVerse gives it. `field` is a number (0 the id, -1 the whole
// item) or a D or A item of the file's dictionary. What an id gives when
// its item is missing or the field empty: "" for X, the id for C, and for V
// the call fails, where UniVerse prints a message no HotSync shows.
Value translate(Context& c, const std::string& what, const std::string& fileText, const std::string& ids,
                const std::string& fieldText, const std::string& codeText) {
  const std::string& code = codeText;
  if (code.size() != 1 || !translateCode(code[0]))
    c.fail(what + ": control code \"" + codeText + "\" is not one of X, V, C");
  std::string file = fileText;
  if (upperAscii(file.substr(0, 5)) == "DICT ") file = dictionaryOf(file.substr(5));
  if (file.empty() || !c.hasFile(file)) c.fail(what + ": no file " + fileText);
  int field = 0;
  if (auto n = asStrictNumber(fieldText)) {
    if (*n < -1 || *n > 100000 || *n != std::floor(*n))
      c.fail(what + ": field " + fieldText + " is not a field number");
    field = static_cast<int>(*n);
  } else {
    std::string dict = dictionaryOf(file);
    std::optional<std::string> item = c.hasFile(dict) ? c.readItem(dict, fieldText) : std::nullopt;
    DictionaryField f = item ? dictionaryField(*item) : DictionaryField{};
    if (f.type != 'D' && f.type != 'A')
      c.fail(what + ": no field " + fieldText + " in the dictionary of " + file +
             (item ? " (only D and A items name a field number)" : ""));
    if (f.number < 0 || f.number > 100000 || f.number != std::floor(f.number))
      c.fail(what + ": the dictionary item " + fieldText + " of " + file + " has no field number");
    field = static_cast<int>(f.number);
  }
  if (ids.find_first_of(std::string{kAttributeMark, kSubvalueMark, static_cast<char>(0xFB)}) != std::string::npos)
    c.fail(what + ": ids apart by marks other than value marks are not available");
  std::string out;
  bool first = true;
  for (const std::string& id : splitAt(ids, kValueMark)) {
    std::optional<std::string> item = id.empty() ? std::nullopt : c.readItem(file, id);
    std::string found;
    if (item) found = field == 0 ? id : shiftMarks(field < 0 ? *item : Extract(*item, field), true).text();
    if (found.empty() && code == "C") found = id;
    if (found.empty() && code == "V")
      c.fail(what + ": " +
             (item ? "the item " + id + " of " + file + " has nothing in field " + fieldText
                   : "no item " + (id.empty() ? std::string("\"\"") : id) + " in " + file));
    if (!first) out += kValueMark;
    first = false;
    out += found;
    c.fits(out.size());
  }
  return out;
}

// A T conversion, T[DICT ]file;code[value];iattr;oattr: parts 1 to 4 of it,
// or nullopt when it is not one this host runs. The code I acts as V for
// ICONV and as C for OCONV, O the other way round.
std::optional<std::vector<std::string>> fileTranslation(const std::string& code) {
  if (code.empty() || upperAscii(code.substr(0, 1)) != "T" || code.find(';') == std::string::npos) return std::nullopt;
  std::vector<std::string> parts = splitAt(code.substr(1), ';');
  if (parts.size() != 4 || parts[0].empty() || parts[1].empty()) return std::nullopt;
  char control = parts[1][0];
  if (!translateCode(control) && control != 'I' && control != 'O') return std::nullopt;
  if (parts[1].find_first_not_of("0123456789", 1) != std::string::npos || parts[1].substr(1, 1) == "0")
    return std::nullopt;
  for (size_t i = 2; i < 4; ++i)
    if (parts[i].find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return parts;
}

// As UniVerse: an empty iattr or oattr leaves the value as it is; a value
// number picks that value of the field, else its marks become blanks.
Value fileConversion(Context& c, const std::string& value, const std::vector<std::string>& t, bool out) {
  const std::string& field = t[out ? 3 : 2];
  if (field.empty()) return value;
  char control = t[1][0];
  if (control == 'I') control = out ? 'C' : 'V';
  if (control == 'O') control = out ? 'V' : 'C';
  std::string result =
      translate(c, std::string(out ? "OCONV" : "ICONV") + " T" + t[0], t[0], value, field, std::string(1, control))
          .text();
  if (t[1].size() > 1) return Extract(result, 1, 1, c.whole(Value(t[1].substr(1))));
  for (char& ch : result)
    if (ch == kValueMark || ch == kSubvalueMark) ch = ' ';
  return result;
}

bool knownConversion(const std::string& code, bool out) {
  if (fileTranslation(code)) return true;
  return out ? oconv("", code).has_value() : iconv("", code).has_value();
}

// OCONV applies codes apart by value marks one after the other, as UniVerse.
Value conversion(Context& c, Args a, bool out) {
  const std::string& codes = a[1].text();
  std::vector<std::string> list = splitAt(codes, kValueMark);
  if (list.size() > 1 && !out) c.fail("ICONV with several conversion codes apart by value marks is not available");
  std::string value = a[0].text();
  bool bad = false;
  for (const std::string& code : list) {
    if (auto t = fileTranslation(code)) {
      value = fileConversion(c, value, *t, out).text();
      continue;
    }
    auto converted = out ? oconv(value, code) : iconv(value, code);
    if (!converted) c.fail("unknown conversion code \"" + code + "\" in " + (out ? "OCONV" : "ICONV"));
    bad = converted->empty() && !value.empty();
    value = *std::move(converted);
  }
  // As UniVerse: STATUS() is 1 after an ICONV that could not read its text.
  if (!out) c.setStatus(bad ? kStatusBadData : kStatusOk);
  return value;
}

Value math(Context& c, Args a, double (*f)(double)) { return Value::number(f(c.number(a[0]))); }

// A letter: a character with a capital and a small form (or ß).
bool isLetter(std::string_view ch) { return upperText(ch) != lowerText(ch) || ch == "\xC3\x9F"; }

Value alpha(Context&, const Expr&, Args a) {
  const std::string& text = a[0].text();
  if (text.empty()) return Value::boolean(false);
  for (size_t i = 0; i < text.size();) {
    size_t length = charLength(text, i);
    if (!isLetter(std::string_view(text).substr(i, length))) return Value::boolean(false);
    i += length;
  }
  return Value::boolean(true);
}

// SUM: the numbers of the lowest level added, one level less in the result;
// a text that is not a number adds nothing.
Value sum(Context&, const Expr&, Args a) {
  const std::string& text = a[0].text();
  char lowest = text.find(kSubvalueMark) != std::string::npos ? kSubvalueMark
                : text.find(kValueMark) != std::string::npos  ? kValueMark
                                                              : kAttributeMark;
  std::string out;
  double total = 0;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    bool end = i == text.size();
    auto b = end ? 0 : static_cast<unsigned char>(text[i]);
    if (!end && (b < 0xFC || b > 0xFE)) continue;
    if (auto n = asStrictNumber(std::string_view(text).substr(start, i - start))) total += *n;
    start = i + 1;
    if (end || text[i] != lowest) {
      out += Value::number(total).text();
      if (!end) out += text[i];
      total = 0;
    }
  }
  return out;
}

// MAXIMUM / MINIMUM: of the elements that are numbers; "" when none is.
Value extreme(Context&, Args a, bool greatest) {
  const std::string& text = a[0].text();
  std::optional<double> best;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && static_cast<unsigned char>(text[i]) < 0xFC) continue;
    if (auto n = asStrictNumber(std::string_view(text).substr(start, i - start)))
      if (!best || (greatest ? *n > *best : *n < *best)) best = n;
    start = i + 1;
  }
  return best ? Value::number(*best) : Value("");
}

Value rnd(Context& c, const Expr&, Args a) {
  static std::mt19937 generator{std::random_device{}()};
  int n = c.whole(a[0]);
  if (n == 0) return Value::number(0);
  // 0 to n - 1, or n + 1 to 0 for a negative n.
  std::uniform_int_distribution<long long> pick(0, std::llabs(n) - 1);  // -2147483648 has no int opposite
  long long r = pick(generator);
  return Value::number(static_cast<double>(n < 0 ? -r : r));
}

constexpr double kDegree = 3.14159265358979323846 / 180;

// BITAND ...: on 32-bit integers.
Value bits(Context& c, Args a, std::uint32_t (*f)(std::uint32_t, std::uint32_t)) {
  auto x = static_cast<std::uint32_t>(c.whole(a[0])), y = a.size() > 1 ? static_cast<std::uint32_t>(c.whole(a[1])) : 0;
  return Value::number(static_cast<std::int32_t>(f(x, y)));
}

Value dtx(Context& c, const Expr&, Args a) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", static_cast<std::uint32_t>(c.whole(a[0])));
  std::string out = digits;
  int width = a.size() > 1 ? std::min(c.whole(a[1]), 32) : 0;
  if (static_cast<int>(out.size()) < width) out.insert(0, static_cast<size_t>(width) - out.size(), '0');
  return out;
}

Value xtd(Context& c, const Expr&, Args a) {
  const std::string& text = a[0].text();
  if (text.empty()) return "";
  if (text.size() > 8) c.fail("XTD(\"" + text.substr(0, 40) + "\"): more than 8 hexadecimal digits");
  std::uint32_t n = 0;
  for (char ch : text) {
    char u = upperAscii(ch);
    if (u >= '0' && u <= '9')
      n = n * 16 + static_cast<std::uint32_t>(u - '0');
    else if (u >= 'A' && u <= 'F')
      n = n * 16 + static_cast<std::uint32_t>(u - 'A' + 10);
    else
      c.fail("XTD(\"" + text.substr(0, 40) + "\"): not a hexadecimal number");
  }
  return Value::number(static_cast<std::int32_t>(n));
}

Value quoted(const Value& v, char quote) { return std::string(1, quote) + v.text() + quote; }

// The SYSTEM() codes this host answers, -1 for any other. There is no
// printer, no terminal and no stacked DATA in a HotSync.
int systemCode(const std::string& code) {
  static const int known[] = {1, 9, 10, 11, 12, 18, 27, 28, 29, 30, 91, 99};
  auto n = asStrictNumber(code);
  if (!n) return -1;
  for (int k : known)
    if (*n == k) return k;
  return -1;
}

const BuiltinFunction kFunctions[] = {
    {"@", 0, 2,
     [](Context& c, const Expr&, Args) -> Value {
       c.fail("@(column, row) is not available: a HotSync has no terminal");
       return Value();
     }},
    {"ABS", 1, 1, [](Context& c, const Expr&, Args a) { return math(c, a, [](double x) { return std::fabs(x); }); }},
    {"ALPHA", 1, 1, alpha},
    {"ATAN", 1, 1,
     [](Context& c, const Expr&, Args a) { return math(c, a, [](double x) { return std::atan(x) / kDegree; }); }},
    {"BITAND", 2, 2, [](Context& c, const Expr&, Args a) { return bits(c, a, [](std::uint32_t x, std::uint32_t y) { return x & y; }); }},
    {"BITNOT", 1, 1, [](Context& c, const Expr&, Args a) { return bits(c, a, [](std::uint32_t x, std::uint32_t) { return ~x; }); }},
    {"BITOR", 2, 2, [](Context& c, const Expr&, Args a) { return bits(c, a, [](std::uint32_t x, std::uint32_t y) { return x | y; }); }},
    {"BITXOR", 2, 2, [](Context& c, const Expr&, Args a) { return bits(c, a, [](std::uint32_t x, std::uint32_t y) { return x ^ y; }); }},
    {"ASSIGNED", 1, 1, [](Context& c, const Expr& e, Args) { return Value::boolean(c.assigned(*e.args[0])); }, true},
    {"CHANGE", 3, 5, change},
    {"COL1", 0, 0, [](Context& c, const Expr&, Args) { return Value::number(c.col1); }},
    {"COL2", 0, 0, [](Context& c, const Expr&, Args) { return Value::number(c.col2); }},
    {"CHAR", 1, 1,
     [](Context& c, const Expr&, Args a) -> Value {
       int n = c.whole(a[0]);
       if (n < 0 || n > 255) c.fail("CHAR takes 0 to 255");
       // Texts are UTF-8: 128 to 247 are the Latin-1 letters and signs,
       // 248 to 255 the marks, which are single bytes.
       if (n < 0x80 || n >= 0xF8) return std::string(1, static_cast<char>(n));
       return std::string{static_cast<char>(0xC0 | (n >> 6)), static_cast<char>(0x80 | (n & 0x3F))};
     }},
    {"CONVERT", 3, 3, convertChars},
    {"COS", 1, 1, [](Context& c, const Expr&, Args a) { return math(c, a, [](double x) { return std::cos(x * kDegree); }); }},
    {"COUNT", 2, 2, [](Context&, const Expr&, Args a) { return Value::number(Count(a[0].text(), a[1].text())); }},
    {"DATE", 0, 0,
     [](Context&, const Expr&, Args) {
       std::tm local = localNow();
       auto days = std::chrono::sys_days{std::chrono::year_month_day{
           std::chrono::year{local.tm_year + 1900}, std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
           std::chrono::day{static_cast<unsigned>(local.tm_mday)}}};
       return Value::number(static_cast<double>(days.time_since_epoch().count() + 732));  // 1967-12-31 is day 0
     }},
    {"DCOUNT", 2, 2, [](Context&, const Expr&, Args a) { return Value::number(countParts(a[0].text(), a[1].text())); }},
    {"DELETE", 2, 4,
     [](Context& c, const Expr&, Args a) -> Value {
       int p[3];
       positions(c, a, 1, 4, p);
       return Delete(a[0].text(), p[0], p[1], p[2]);
     }},
    {"DQUOTE", 1, 1, [](Context&, const Expr&, Args a) { return quoted(a[0], '"'); }},
    {"DTX", 1, 2, dtx},
    {"DOWNCASE", 1, 1, [](Context&, const Expr&, Args a) -> Value { return lowerText(a[0].text()); }},
    {"EREPLACE", 3, 5, change},
    {"EXP", 1, 1, [](Context& c, const Expr&, Args a) { return math(c, a, [](double x) { return std::exp(x); }); }},
    {"EXTRACT", 2, 4,
     [](Context& c, const Expr&, Args a) -> Value {
       int p[3];
       positions(c, a, 1, 4, p);
       return Extract(a[0].text(), p[0], p[1], p[2]);
     }},
    {"FIELD", 3, 4, field},
    {"FMT", 2, 2,
     [](Context& c, const Expr&, Args a) -> Value {
       auto out = formatValue(a[0].text(), a[1].text());
       if (!out) c.fail("unknown format \"" + a[1].text() + "\" in FMT");
       return *std::move(out);
     },
     false, 1, [](const std::string& code) { return formatValue("", code).has_value(); }},
    {"GETENV", 1, 1,
     [](Context&, const Expr&, Args a) -> Value {
       const char* value = std::getenv(a[0].text().c_str());
       return value ? value : "";
     }},
    {"ICONV", 2, 2, [](Context& c, const Expr&, Args a) { return conversion(c, a, false); }, false, 1,
     [](const std::string& code) { return knownConversion(code, false); }},
    {"INDEX", 3, 3, index},
    // INMAT(A): the array's sizes, rows or rows and columns apart by a value mark.
    {"INMAT", 0, 1,
     [](Context& c, const Expr& e, Args) -> Value {
       if (e.args.empty()) return Value::number(c.inmat());
       const BasicArray& a = c.arrayOf(*e.args[0]);
       if (!a.columns) return Value::number(a.rows);
       return std::to_string(a.rows) + VM + std::to_string(a.columns);
     },
     true},
    {"INSERT", 3, 5, [](Context& c, const Expr&, Args a) { return replaceOrInsert(c, a, false); }},
    {"INT", 1, 1, [](Context& c, const Expr&, Args a) { return math(c, a, [](double x) { return std::trunc(x); }); }},
    {"LOWER", 1, 1, [](Context&, const Expr&, Args a) { return shiftMarks(a[0], true); }},
    {"LEN", 1, 1, [](Context&, const Expr&, Args a) { return count(charCount(a[0].text())); }},
    {"LN", 1, 1,
     [](Context& c, const Expr&, Args a) {
       double x = c.number(a[0]);
       if (x <= 0) c.fail("LN of a number not above 0");
       return Value::number(std::log(x));
     }},
    {"MAXIMUM", 1, 1, [](Context& c, const Expr&, Args a) { return extreme(c, a, true); }},
    {"MINIMUM", 1, 1, [](Context& c, const Expr&, Args a) { return extreme(c, a, false); }},
    {"MOD", 2, 2, [](Context& c, const Expr&, Args a) { return modOrRem(c, a, true); }},
    {"NEG", 1, 1, [](Context& c, const Expr&, Args a) { return Value::number(-c.number(a[0])); }},
    {"NOT", 1, 1, [](Context& c, const Expr&, Args a) { return Value::boolean(!c.truth(a[0])); }},
    {"NUM", 1, 1,
     [](Context&, const Expr&, Args a) { return Value::boolean(a[0].text().empty() || a[0].strict().has_value()); }},
    {"OCONV", 2, 2, [](Context& c, const Expr&, Args a) { return conversion(c, a, true); }, false, 1,
     [](const std::string& code) {
       for (const std::string& part : splitAt(code, kValueMark))
         if (!knownConversion(part, true)) return false;
       return true;
     }},
    {"PWR", 2, 2,
     [](Context& c, const Expr&, Args a) { return Value::number(std::pow(c.number(a[0]), c.number(a[1]))); }},
    {"QUOTE", 1, 1, [](Context&, const Expr&, Args a) { return quoted(a[0], '"'); }},
    {"RAISE", 1, 1, [](Context&, const Expr&, Args a) { return shiftMarks(a[0], false); }},
    {"REMOVE", 2, 2, [](Context& c, const Expr& e, Args) { return c.remove(*e.args[0], *e.args[1]); }, true},
    {"RND", 1, 1, rnd},
    {"REM", 2, 2, [](Context& c, const Expr&, Args a) { return modOrRem(c, a, false); }},
    {"REPLACE", 3, 5, [](Context& c, const Expr&, Args a) { return replaceOrInsert(c, a, true); }},
    {"SEQ", 1, 1,
     [](Context&, const Expr&, Args a) {
       // The code of the first character: of a UTF-8 character its code point.
       const std::string& s = a[0].text();
       if (s.empty()) return Value::number(0);
       size_t length = charLength(s, 0);
       auto lead = static_cast<unsigned char>(s[0]);
       if (length == 1) return Value::number(lead);
       unsigned code = lead & (0xFF >> (length + 1));
       for (size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(s[k]) & 0x3F);
       return Value::number(code);
     }},
    {"SIN", 1, 1, [](Context& c, const Expr&, Args a) { return math(c, a, [](double x) { return std::sin(x * kDegree); }); }},
    {"SPACE", 1, 1, space},
    {"SQUOTE", 1, 1, [](Context&, const Expr&, Args a) { return quoted(a[0], '\''); }},
    {"SWAP", 3, 5, change},
    {"SYSTEM", 1, 1,
     [](Context& c, const Expr&, Args a) {
       switch (systemCode(a[0].text())) {
         case 9: return Value::number(static_cast<double>(std::clock()) * 1000 / CLOCKS_PER_SEC);  // CPU milliseconds
         case 11: return Value::boolean(c.listActive());
         case 1:
         case 10:
         case 91: return Value::number(0);
         case 12: {
           std::tm local = localNow();
           return Value::number(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
         }
         case 18: return Value::number(::getpid());  // as @USERNO
         case 27: return Value::number(::getuid());
         case 28: return Value::number(::geteuid());
         case 29: return Value::number(::getgid());
         case 30: return Value::number(::getegid());
         case 99: return Value::number(static_cast<double>(std::time(nullptr)));
         default: break;
       }
       c.fail("SYSTEM(" + a[0].text() + ") is not available");
       return Value();
     },
     false, 0, [](const std::string& code) { return systemCode(code) >= 0; }},
    {"SQRT", 1, 1,
     [](Context& c, const Expr&, Args a) {
       double x = c.number(a[0]);
       if (x < 0) c.fail("SQRT of a negative number");
       return Value::number(std::sqrt(x));
     }},
    {"STATUS", 0, 0,
     [](Context& c, const Expr&, Args) {
       // 1: READU met another process's lock, ICONV could not read its
       // text, or READSEQ met the end of the file; 2: ON ERROR took a storage error.
       char last = c.lastStatus();
       bool one = last == kStatusLocked || last == kStatusBadData || last == kStatusEndOfFile;
       return Value::number(one ? 1 : last == kStatusError ? 2 : 0);
     }},
    {"STR", 2, 2, str},
    {"SUM", 1, 1, sum},
    {"TAN", 1, 1, [](Context& c, const Expr&, Args a) { return math(c, a, [](double x) { return std::tan(x * kDegree); }); }},
    {"TIME", 0, 0,
     [](Context&, const Expr&, Args) {
       std::tm local = localNow();
       return Value::number(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
     }},
    {"TIMEDATE", 0, 0, [](Context&, const Expr&, Args) -> Value { return timeDate(); }},
    {"TRANS", 4, 4,
     [](Context& c, const Expr&, Args a) {
       return translate(c, "TRANS", a[0].text(), a[1].text(), a[2].text(), a[3].text());
     },
     false, 3, [](const std::string& code) { return code.size() == 1 && translateCode(code[0]); }},
    {"TRIM", 1, 3, trim},
    {"TRIMB", 1, 1, [](Context&, const Expr&, Args a) -> Value { return trimText(a[0].text(), kBlanks, 'T'); }},
    {"TRIMF", 1, 1, [](Context&, const Expr&, Args a) -> Value { return trimText(a[0].text(), kBlanks, 'L'); }},
    {"UNASSIGNED", 1, 1, [](Context& c, const Expr& e, Args) { return Value::boolean(!c.assigned(*e.args[0])); }, true},
    {"UPCASE", 1, 1, [](Context&, const Expr&, Args a) -> Value { return upperText(a[0].text()); }},
    {"XLATE", 4, 4,
     [](Context& c, const Expr&, Args a) {
       return translate(c, "XLATE", a[0].text(), a[1].text(), a[2].text(), a[3].text());
     },
     false, 3, [](const std::string& code) { return code.size() == 1 && translateCode(code[0]); }},
    {"XTD", 1, 1, xtd},
};

}  // namespace

const BuiltinFunction* findFunction(std::string_view name) {
  for (const BuiltinFunction& f : kFunctions)
    if (name == f.name) return &f;
  return findElementwiseFunction(name);
}

}  // namespace pelorix::mv
