// The functions that work element by element on dynamic arrays (ADDS, EQS,
// CATS, SUBSTRINGS ...): the elements at the same attribute, value and
// subvalue of each array are paired, a missing one counts as "", and the
// result keeps the marks of the longer array.

#include "mv/basic_elementwise.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/marks.h"
#include "mv/basic_program.h"
#include "mv/basic_value.h"
#include "mv/conversions.h"

namespace pelorix::mv {

namespace {

using Args = std::span<Value>;
using Context = FunctionContext;

constexpr std::array<char, 3> kLevels = {kAttributeMark, kValueMark, kSubvalueMark};

// Pairs the elements of `arrays` level by level and appends what `each`
// makes of each tuple.
template <typename Each>
void pairUp(Context& c, std::span<const std::string_view> arrays, size_t level, std::string& out, Each& each) {
  if (level == kLevels.size()) {
    out += each(arrays).text();
    c.fits(out.size());
    return;
  }
  std::array<std::vector<std::string>, 3> split;
  size_t parts = 1;
  for (size_t k = 0; k < arrays.size(); ++k) {
    split[k] = splitAt(arrays[k], kLevels[level]);
    parts = std::max(parts, split[k].size());
  }
  std::array<std::string_view, 3> pieces{};
  for (size_t i = 0; i < parts; ++i) {
    if (i > 0) out += kLevels[level];
    for (size_t k = 0; k < arrays.size(); ++k) pieces[k] = i < split[k].size() ? split[k][i] : std::string_view();
    pairUp(c, std::span<const std::string_view>(pieces.data(), arrays.size()), level + 1, out, each);
  }
}

// Applies `f(elements..., rest...)` to the first `arrays` arguments element by element.
template <size_t Arrays, typename F>
Value elementwise(Context& c, Args a, F f) {
  std::array<std::string_view, Arrays> texts{};
  for (size_t k = 0; k < Arrays; ++k) texts[k] = a[k].text();
  std::array<Value, Arrays> values;
  auto each = [&](std::span<const std::string_view> elements) {
    for (size_t k = 0; k < Arrays; ++k) values[k] = std::string(elements[k]);
    return f(values, a);
  };
  std::string out;
  pairUp(c, std::span<const std::string_view>(texts), 0, out, each);
  return out;
}

template <typename Op>
Value arithmetic(Context& c, Args a, Op op) {
  return elementwise<2>(
      c, a, [&](std::array<Value, 2>& v, Args) { return Value::number(op(c.number(v[0]), c.number(v[1]))); });
}

template <typename Test>
Value comparison(Context& c, Args a, Test test) {
  return elementwise<2>(c, a,
                        [&](std::array<Value, 2>& v, Args) { return Value::boolean(test(compareValues(v[0], v[1]))); });
}

// Calls the built-in function `name` on each element, with the other arguments as given.
Value eachWith(Context& c, const Expr& call, Args a, const char* name) {
  const BuiltinFunction* f = findFunction(name);
  std::vector<Value> args(a.begin(), a.end());
  return elementwise<1>(c, a, [&](std::array<Value, 1>& v, Args) {
    args[0] = v[0];
    return f->handler(c, call, args);
  });
}

// Calls the built-in function `name` on each pair of elements.
Value pairsWith(Context& c, const Expr& call, Args a, const char* name) {
  const BuiltinFunction* f = findFunction(name);
  return elementwise<2>(c, a, [&](std::array<Value, 2>& v, Args) { return f->handler(c, call, v); });
}

const BuiltinFunction kElementwise[] = {
    {"ADDS", 2, 2,
     [](Context& c, const Expr&, Args a) { return arithmetic(c, a, [](double x, double y) { return x + y; }); }},
    {"ANDS", 2, 2,
     [](Context& c, const Expr&, Args a) {
       return elementwise<2>(c, a, [](std::array<Value, 2>& v, Args) {
         return Value::boolean(Context::truth(v[0]) && Context::truth(v[1]));
       });
     }},
    {"CATS", 2, 2,
     [](Context& c, const Expr&, Args a) {
       return elementwise<2>(c, a, [](std::array<Value, 2>& v, Args) -> Value { return v[0].text() + v[1].text(); });
     }},
    {"COUNTS", 2, 2, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "COUNT"); }},
    {"DIVS", 2, 2,
     [](Context& c, const Expr&, Args a) {
       return arithmetic(c, a, [&c](double x, double y) {
         if (y == 0) c.fail("division by zero in DIVS");
         return x / y;
       });
     }},
    {"EQS", 2, 2, [](Context& c, const Expr&, Args a) { return comparison(c, a, [](int r) { return r == 0; }); }},
    {"FIELDS", 3, 4, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "FIELD"); }},
    {"FMTS", 2, 2, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "FMT"); }},
    {"GES", 2, 2, [](Context& c, const Expr&, Args a) { return comparison(c, a, [](int r) { return r >= 0; }); }},
    {"GTS", 2, 2, [](Context& c, const Expr&, Args a) { return comparison(c, a, [](int r) { return r > 0; }); }},
    {"ICONVS", 2, 2, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "ICONV"); }, false, 1,
     [](const std::string& code) { return findFunction("ICONV")->knownCode(code); }},
    {"IFS", 3, 3,
     [](Context& c, const Expr&, Args a) {
       return elementwise<3>(c, a, [](std::array<Value, 3>& v, Args) { return Context::truth(v[0]) ? v[1] : v[2]; });
     }},
    {"INDEXS", 3, 3, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "INDEX"); }},
    {"LENS", 1, 1, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "LEN"); }},
    {"LES", 2, 2, [](Context& c, const Expr&, Args a) { return comparison(c, a, [](int r) { return r <= 0; }); }},
    {"LTS", 2, 2, [](Context& c, const Expr&, Args a) { return comparison(c, a, [](int r) { return r < 0; }); }},
    {"MODS", 2, 2, [](Context& c, const Expr& e, Args a) { return pairsWith(c, e, a, "MOD"); }},
    {"MULS", 2, 2,
     [](Context& c, const Expr&, Args a) { return arithmetic(c, a, [](double x, double y) { return x * y; }); }},
    {"NES", 2, 2, [](Context& c, const Expr&, Args a) { return comparison(c, a, [](int r) { return r != 0; }); }},
    {"NOTS", 1, 1,
     [](Context& c, const Expr&, Args a) {
       return elementwise<1>(c, a, [](std::array<Value, 1>& v, Args) { return Value::boolean(!Context::truth(v[0])); });
     }},
    {"NUMS", 1, 1, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "NUM"); }},
    {"OCONVS", 2, 2, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "OCONV"); }, false, 1,
     [](const std::string& code) { return findFunction("OCONV")->knownCode(code); }},
    {"ORS", 2, 2,
     [](Context& c, const Expr&, Args a) {
       return elementwise<2>(c, a, [](std::array<Value, 2>& v, Args) {
         return Value::boolean(Context::truth(v[0]) || Context::truth(v[1]));
       });
     }},
    {"SPACES", 1, 1, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "SPACE"); }},
    {"SPLICE", 3, 3,
     [](Context& c, const Expr&, Args a) {
       // SPLICE(array1, text, array2): the text goes between each pair.
       Value first = a[0], second = a[2];
       std::array<Value, 2> arrays{first, second};
       return elementwise<2>(
           c, arrays, [&a](std::array<Value, 2>& v, Args) -> Value { return v[0].text() + a[1].text() + v[1].text(); });
     }},
    {"STRS", 2, 2, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "STR"); }},
    {"SUBS", 2, 2,
     [](Context& c, const Expr&, Args a) { return arithmetic(c, a, [](double x, double y) { return x - y; }); }},
    {"SUBSTRINGS", 3, 3,
     [](Context& c, const Expr&, Args a) {
       // As X[start, length] on each element, in characters.
       int start = std::max(c.whole(a[1]), 1), length = c.whole(a[2]);
       return elementwise<1>(c, a, [&](std::array<Value, 1>& v, Args) -> Value {
         const std::string& text = v[0].text();
         if (length <= 0) return "";
         size_t from = byteOffset(text, static_cast<size_t>(start) - 1);
         size_t to = byteOffset(std::string_view(text).substr(from), static_cast<size_t>(length));
         return text.substr(from, to);
       });
     }},
    {"TRIMBS", 1, 1, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "TRIMB"); }},
    {"TRIMFS", 1, 1, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "TRIMF"); }},
    {"TRIMS", 1, 1, [](Context& c, const Expr& e, Args a) { return eachWith(c, e, a, "TRIM"); }},
};

}  // namespace

const BuiltinFunction* findElementwiseFunction(std::string_view name) {
  for (const BuiltinFunction& f : kElementwise)
    if (name == f.name) return &f;
  return nullptr;
}

}  // namespace pelorix::mv
