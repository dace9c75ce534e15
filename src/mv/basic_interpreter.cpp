#include "mv/basic_interpreter.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <thread>

#include "base/ascii_case.h"
#include "mv/account.h"
#include "mv/account_session.h"
#include "mv/basic_program.h"
#include "mv/basic_value.h"
#include "mv/conversions.h"
#include "mv/dynamic_array.h"
#include "mv/step_limit.h"

namespace pelorix::mv {

BasicError::BasicError(std::string program, int line, std::string cause)
    : std::runtime_error(program + " line " + std::to_string(line) + ": " + cause),
      program_(std::move(program)),
      line_(line),
      cause_(std::move(cause)) {}

namespace {

// File variables and select-list variables hold a handle, not data.
const std::string kFileHandle =
    "\x1B"
    "FILE:";
const std::string kListHandle =
    "\x1B"
    "LIST:";
const std::string kSequentialHandle =
    "\x1B"
    "SEQ:";

// STOP: the whole call ends, however deep the subroutine that stops.
struct StopCall {};

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// LOCATE ... BY: AL/DL compare as text, AR/DR as numbers when both are.
int compareForOrder(std::string_view a, std::string_view b, bool right) {
  if (right) {
    auto x = asNumber(a), y = asNumber(b);
    if (x && y) return *x < *y ? -1 : *x > *y ? 1 : 0;
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  }
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::string localDate(const std::tm& local) {
  auto days = std::chrono::sys_days{std::chrono::year_month_day{
      std::chrono::year{local.tm_year + 1900}, std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
      std::chrono::day{static_cast<unsigned>(local.tm_mday)}}};
  return std::to_string(days.time_since_epoch().count() + 732);  // 1967-12-31 is day 0
}

}  // namespace

// ---- running ----

struct Frame final : FunctionContext {
  Frame(Interpreter& interpreter, const CompiledProgram& compiled, const std::vector<Interpreter::Argument>& params,
        int level)
      : vm(interpreter),
        program(compiled),
        locals(compiled.variables.size()),
        slots(locals.size()),
        localArrays(compiled.arrays.size()),
        arrays(localArrays.size()),
        hints(locals.size()),
        depth(level) {
    removes.resize(locals.size());
    for (size_t i = 0; i < slots.size(); ++i) slots[i] = &locals[i];
    for (size_t i = 0; i < arrays.size(); ++i) arrays[i] = &localArrays[i];
    for (const auto& common : program.commons) share(common);
    for (size_t i = 0; i < params.size(); ++i) {
      int array = program.parameterArrays[i];
      if ((array >= 0) != (params[i].array != nullptr))
        throw BasicError(program.name, 1,
                         "argument " + std::to_string(i + 1) + (array >= 0 ? " must be MAT " : " cannot be MAT for ") +
                             program.parameters[i]);
      if (array >= 0)
        arrays[static_cast<size_t>(array)] = params[i].array;
      else
        slots[i] = params[i].value;
    }
  }

  // A COMMON declaration: its places, by position in the block, are this
  // program's variables and arrays, the same as every other program's.
  void share(const CompiledProgram::Common& common) {
    std::deque<Value>& block = vm.commons_[common.block];
    if (block.size() < common.slots.size()) block.resize(common.slots.size());
    for (size_t i = 0; i < common.slots.size(); ++i) {
      auto slot = static_cast<size_t>(common.slots[i]);
      auto [at, added] = vm.commonShapes_.try_emplace({common.block, i});
      std::unique_ptr<BasicArray>& shape = at->second;
      int rows = common.rows[i], columns = common.columns[i];
      if (added && rows) {
        shape = std::make_unique<BasicArray>();
        shape->rows = rows;
        shape->columns = columns;
        line = common.line;
        fits(shape->size() * sizeof(Value));
        shape->cells.resize(shape->size() + 1);
      }
      bool same = rows ? shape && shape->rows == rows && shape->columns == columns : !shape;
      if (!same) {
        std::string name = common.block.empty() ? "COMMON" : "COMMON /" + common.block + "/";
        std::string here =
            rows ? "an array (" + std::to_string(rows) + (columns ? "," + std::to_string(columns) : "") + ")"
                 : "a variable";
        std::string there = shape ? "an array (" + std::to_string(shape->rows) +
                                        (shape->columns ? "," + std::to_string(shape->columns) : "") + ")"
                                  : "a variable";
        throw BasicError(program.name, common.line,
                         name + ": place " + std::to_string(i + 1) + " (" + common.variables[i] + ") is " + here +
                             " here but " + there + " in the program that declared the block first");
      }
      if (rows)
        arrays[slot] = shape.get();
      else
        slots[slot] = &block[i];
    }
  }

  Interpreter& vm;
  const CompiledProgram& program;
  std::vector<Value> locals;
  std::vector<Value*> slots;  // a parameter's slot is the caller's variable
  std::vector<BasicArray> localArrays;
  std::vector<BasicArray*> arrays;
  Value returned;  // RETURN value of a FUNCTION
  // Where the last extraction from each variable stopped, so that a loop
  // over the attributes of a long text costs one pass over it.
  struct Hint {
    const char* data = nullptr;
    size_t size = 0;
    ExtractHint at;
  };
  std::vector<Hint> hints;
  std::vector<Value> argStack;  // arguments of the built-in functions being called
  int depth;
  int line = 0;

  [[noreturn]] void fail(const std::string& cause) override { throw BasicError(program.name, line, cause); }

  // A value may not grow past the call's limit: X = X : X forty times must fail, not eat the machine.
  void fits(size_t bytes) override {
    if (bytes > vm.maxValueBytes_)
      fail("a value of more than " + std::to_string(vm.maxValueBytes_) + " bytes (MaxValueSize)");
  }

  bool assigned(const Expr& v) override {
    if (v.kind == Expr::Element) return !element(v.slot, v.args).unassigned();
    return v.kind != Expr::Variable || static_cast<size_t>(v.slot) < program.parameters.size() ||
           !slots[static_cast<size_t>(v.slot)]->unassigned();
  }

  bool listActive() override {
    auto found = vm.lists_.find("#0");
    return found != vm.lists_.end() && found->second.next < found->second.ids.size();
  }

  // The remove pointer of each variable, reset when the variable changes.
  struct RemovePointer {
    const char* data = nullptr;
    size_t size = 0, offset = 0;
  };
  std::vector<RemovePointer> removes;

  Value remove(const Expr& from, const Expr& delimiter) override {
    if (from.kind != Expr::Variable || delimiter.kind != Expr::Variable) fail("REMOVE takes variables");
    const std::string& text = variable(from.slot).text();
    RemovePointer& r = removes[static_cast<size_t>(from.slot)];
    if (r.data != text.data() || r.size != text.size()) r = {text.data(), text.size(), 0};
    size_t start = r.offset, end = start;
    Value out;
    int code = 0;
    if (start <= text.size()) {
      while (end < text.size() && static_cast<unsigned char>(text[end]) < 0xF9) ++end;
      if (end < text.size()) code = 256 - static_cast<unsigned char>(text[end]);  // 1 for 0xFF ... 7 for 0xF9
      out = text.substr(start, end - start);
      r.offset = end + 1;
    }
    target(delimiter.slot) = Value::number(code);
    return out;
  }

  const BasicArray& arrayOf(const Expr& matrix) override {
    const BasicArray& a = *arrays[static_cast<size_t>(matrix.slot)];
    if (a.cells.empty()) fail(matrix.text + " has not been dimensioned");
    return a;
  }

  // MATWRITE's and MATBUILD's text: elements first to last, then, when
  // `withZero`, what overflowed into the zero element. Trailing empty
  // elements are left out unless the zero element follows: its fields must
  // keep their places, or a MATREAD, change, MATWRITE would move them.
  std::string joinElements(const BasicArray& a, int first, int last, const std::string& delimiter, bool withZero) {
    const std::string& zero = withZero ? a.cells[0].text() : std::string{};
    if (zero.empty())
      while (last >= first && a.cells[static_cast<size_t>(last)].text().empty()) --last;
    std::string out;
    for (int i = first; i <= last; ++i) {
      if (i > first) out += delimiter;
      out += a.cells[static_cast<size_t>(i)].text();
      fits(out.size());
    }
    if (!zero.empty()) out.append(delimiter).append(zero);
    fits(out.size());
    return out;
  }

  int inmat() override {
    if (vm.inmatIsModulo_) fail("INMAT() after OPEN, the file's modulo, is not available: account files have none");
    return vm.inmat_;
  }
  void setInmat(int n) {
    vm.inmat_ = n;
    vm.inmatIsModulo_ = false;
  }

  char lastStatus() override {
    const std::string& status = slots[static_cast<size_t>(program.statusSlot)]->text();
    return status.empty() ? kStatusOk : status[0];
  }
  void setStatus(char status) override { target(program.statusSlot) = std::string(1, status); }

  Value& variable(int slot) { return *slots[static_cast<size_t>(slot)]; }
  // A variable about to be changed: its hint no longer holds.
  Value& target(int slot) {
    hints[static_cast<size_t>(slot)].data = nullptr;
    removes[static_cast<size_t>(slot)].data = nullptr;
    return *slots[static_cast<size_t>(slot)];
  }
  std::string extract(int slot, int a, int v, int s) {
    const std::string& array = variable(slot).text();
    Hint& h = hints[static_cast<size_t>(slot)];
    if (h.data != array.data() || h.size != array.size()) h = {array.data(), array.size(), {}};
    return Extract(array, h.at, a, v, s);
  }

  // A(i) or A(i,j); A(0) and A(0,0) are the zero element.
  Value& element(int slot, const std::vector<ExprPtr>& indices) {
    BasicArray& a = *arrays[static_cast<size_t>(slot)];
    const std::string& name = program.arrays[static_cast<size_t>(slot)];
    if (a.cells.empty()) fail(name + " has not been dimensioned");
    int i = wholeOf(*indices[0]), j = indices.size() > 1 ? wholeOf(*indices[1]) : -1;
    size_t cell = 0;
    bool inside;
    if (a.columns == 0) {
      inside = j < 0 && i >= 0 && i <= a.rows;
      cell = static_cast<size_t>(i);
    } else {
      inside = (i == 0 && j == 0) || (i >= 1 && i <= a.rows && j >= 1 && j <= a.columns);
      cell = i == 0 ? 0 : static_cast<size_t>((i - 1) * a.columns + j);
    }
    if (!inside) {
      std::string at = std::to_string(i) + (j >= 0 ? "," + std::to_string(j) : "");
      std::string size = std::to_string(a.rows) + (a.columns ? "," + std::to_string(a.columns) : "");
      fail(name + "(" + at + ") is outside DIM " + name + "(" + size + ")");
    }
    return a.cells[cell];
  }
  Value& targetOf(const Target& t) { return t.indices.empty() ? target(t.slot) : element(t.slot, t.indices); }

  // The arguments of a CALL or a FUNCTION: variables, elements and arrays by reference.
  void arguments(const std::vector<ExprPtr>& args, std::vector<Value>& temporaries,
                 std::vector<Interpreter::Argument>& refs) {
    temporaries.resize(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      const Expr& arg = *args[i];
      if (arg.kind == Expr::Variable)
        refs.push_back({&target(arg.slot), nullptr});
      else if (arg.kind == Expr::Element)
        refs.push_back({&element(arg.slot, arg.args), nullptr});
      else if (arg.kind == Expr::Matrix)
        refs.push_back({nullptr, arrays[static_cast<size_t>(arg.slot)]});
      else {
        temporaries[i] = eval(arg);
        refs.push_back({&temporaries[i], nullptr});
      }
    }
  }

  // A literal or a variable as it is; anything else evaluated into `scratch`.
  const Value& evalRef(const Expr& e, Value& scratch) {
    if (e.kind == Expr::Literal) return e.literal;
    if (e.kind == Expr::Variable) return variable(e.slot);
    scratch = eval(e);
    return scratch;
  }
  int wholeOf(const Expr& e) {
    Value scratch;
    return whole(evalRef(e, scratch));
  }

  Value eval(const Expr& e) {
    line = e.line ? e.line : line;
    switch (e.kind) {
      case Expr::Literal: return e.literal;
      case Expr::Variable: return variable(e.slot);
      case Expr::At: return atVariable(e.at);
      case Expr::Unary: {
        Value scratch;
        double v = number(evalRef(*e.args[0], scratch));
        return Value::number(e.op == Op::Neg ? -v : v);
      }
      case Expr::Binary: return binary(e);
      case Expr::Extract: {
        int p[3] = {0, 0, 0};
        for (size_t i = 1; i < e.args.size(); ++i) p[i - 1] = wholeOf(*e.args[i]);
        const Expr& from = *e.args[0];
        if (from.kind == Expr::Variable) return extract(from.slot, p[0], p[1], p[2]);
        Value scratch;
        return Extract(evalRef(from, scratch).text(), p[0], p[1], p[2]);
      }
      case Expr::Substring: {
        Value scratch;
        const std::string& s = evalRef(*e.args[0], scratch).text();
        int start = wholeOf(*e.args[1]);
        size_t count = charCount(s);
        if (e.args.size() == 2) {  // the last n characters
          if (start <= 0) return "";
          return s.substr(byteOffset(s, count - std::min<size_t>(count, static_cast<size_t>(start))));
        }
        int length = wholeOf(*e.args[2]);
        if (start < 1) start = 1;
        if (length <= 0 || static_cast<size_t>(start) > count) return "";
        size_t from = byteOffset(s, static_cast<size_t>(start) - 1);
        size_t to = from + byteOffset(std::string_view(s).substr(from), static_cast<size_t>(length));
        return s.substr(from, to - from);
      }
      case Expr::Function: return function(e);
      case Expr::Element: return element(e.slot, e.args);
      case Expr::Matrix: fail("MAT " + e.text + " is not a value");
      case Expr::UserCall: {
        std::vector<Value> temporaries;
        std::vector<Interpreter::Argument> refs;
        arguments(e.args, temporaries, refs);
        Value result = vm.callFrom(*this, e.text, refs, true);
        for (Hint& h : hints) h.data = nullptr;  // the function may have changed any argument
        return result;
      }
    }
    return {};
  }

  Value binary(const Expr& e) {
    Value sa, sb;
    if (e.op == Op::And || e.op == Op::Or) {
      bool left = truth(evalRef(*e.args[0], sa));
      if (e.op == Op::And ? !left : left) return Value::boolean(left);
      return Value::boolean(truth(evalRef(*e.args[1], sb)));
    }
    const Value& a = evalRef(*e.args[0], sa);
    const Value& b = evalRef(*e.args[1], sb);
    line = e.line;
    switch (e.op) {
      case Op::Cat: {
        const std::string &x = a.text(), &y = b.text();
        fits(x.size() + y.size());
        std::string out;
        out.reserve(x.size() + y.size());
        return out.append(x).append(y);
      }
      case Op::Matches: return Value::boolean(matchesPattern(a.text(), b.text()));
      case Op::Eq: return Value::boolean(compareValues(a, b) == 0);
      case Op::Ne: return Value::boolean(compareValues(a, b) != 0);
      case Op::Lt: return Value::boolean(compareValues(a, b) < 0);
      case Op::Gt: return Value::boolean(compareValues(a, b) > 0);
      case Op::Le: return Value::boolean(compareValues(a, b) <= 0);
      case Op::Ge: return Value::boolean(compareValues(a, b) >= 0);
      default: break;
    }
    double x = number(a), y = number(b);
    switch (e.op) {
      case Op::Add: return Value::number(x + y);
      case Op::Sub: return Value::number(x - y);
      case Op::Mul: return Value::number(x * y);
      case Op::Div:
        if (y == 0) fail("division by zero");
        return Value::number(x / y);
      default: return Value::number(std::pow(x, y));
    }
  }

  Value function(const Expr& e) {
    const BuiltinFunction& f = *e.function;
    if (f.unevaluated) return f.handler(*this, e, {});
    size_t base = argStack.size();
    for (const auto& arg : e.args) argStack.push_back(eval(*arg));
    line = e.line;
    Value result = f.handler(*this, e, std::span<Value>(argStack.data() + base, e.args.size()));
    argStack.resize(base);
    return result;
  }

  Value atVariable(AtVar at) {
    switch (at) {
      case AtVar::AM: return std::string(1, AM);
      case AtVar::VM: return std::string(1, VM);
      case AtVar::SVM: return std::string(1, SVM);
      case AtVar::TM: return std::string(1, static_cast<char>(0xFB));
      case AtVar::IM:
      case AtVar::RM: return std::string(1, static_cast<char>(0xFF));
      case AtVar::True: return Value::number(1);
      case AtVar::False: return Value::number(0);
      case AtVar::Level: return Value::number(depth + 1);
      case AtVar::Selected: return Value::number(static_cast<double>(vm.selected_));
      case AtVar::ReturnCode: return Value::number(static_cast<double>(vm.returnCode_));
      case AtVar::UserNo: return Value::number(::getpid());
      case AtVar::LogName: {
        const char* user = std::getenv("USER");
        return user ? user : "";
      }
      case AtVar::Path: return vm.account_ ? vm.account_->folder().string() : std::string{};
      case AtVar::Who: return vm.account_ ? vm.account_->folder().filename().string() : std::string{};
      default: break;
    }
    auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    switch (at) {
      case AtVar::Time: return Value::number(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
      case AtVar::Day: return Value::number(local.tm_mday);
      case AtVar::Month: return Value::number(local.tm_mon + 1);
      case AtVar::Year: return Value::number(local.tm_year + 1900);
      default: return localDate(local);
    }
  }

  // X[start, length] = value: those characters replaced by the value; a
  // start past the end is refused rather than guessed.
  void assignSubstring(const Step& s) {
    std::string value = eval(*s.expr).takeText();
    line = s.line;
    int start = wholeOf(*s.target.substring[0]), length = wholeOf(*s.target.substring[1]);
    Value& var = targetOf(s.target);
    std::string text = var.text();
    size_t count = charCount(text);
    if (start < 1 || static_cast<size_t>(start) > count + 1 || length < 0)
      fail(s.target.variable + "[" + std::to_string(start) + ", " + std::to_string(length) +
           "] = value: the start must be 1 to one past the last character, the length 0 or more");
    size_t from = byteOffset(text, static_cast<size_t>(start) - 1);
    size_t to = from + byteOffset(std::string_view(text).substr(from), static_cast<size_t>(length));
    fits(text.size() - (to - from) + value.size());
    var = text.replace(from, to - from, value);
  }

  void assign(const Step& s) {
    if (!s.target.substring.empty()) return assignSubstring(s);
    Value scratch;
    if (s.target.positions.empty()) {
      if (s.assignOp == AssignOp::Set) {
        Value value = eval(*s.expr);
        line = s.line;
        targetOf(s.target) = std::move(value);
        return;
      }
      const Value& value = evalRef(*s.expr, scratch);
      line = s.line;
      Value& var = targetOf(s.target);
      if (s.assignOp == AssignOp::Cat) {
        if (&value == &var) scratch = value;
        const std::string& tail = &value == &var ? scratch.text() : value.text();
        fits(var.text().size() + tail.size());
        var.mutableText().append(tail);
        return;
      }
      double x = number(var), y = number(value);
      if (s.assignOp == AssignOp::Div && y == 0) fail("division by zero");
      var = Value::number(s.assignOp == AssignOp::Add   ? x + y
                          : s.assignOp == AssignOp::Sub ? x - y
                          : s.assignOp == AssignOp::Mul ? x * y
                                                        : x / y);
      return;
    }
    std::string value = eval(*s.expr).takeText();
    line = s.line;
    int p[3] = {0, 0, 0};
    for (size_t i = 0; i < s.target.positions.size(); ++i) p[i] = wholeOf(*s.target.positions[i]);
    Value& target = targetOf(s.target);
    if (s.assignOp == AssignOp::Set && p[0] == -1 && s.target.positions.size() == 1) {
      // Appending an attribute: in place, so that building a long answer stays linear.
      std::string& var = target.mutableText();
      fits(var.size() + value.size() + 1);
      if (!var.empty()) var += AM;
      var += value;
      return;
    }
    const std::string& old = target.text();
    if (s.assignOp != AssignOp::Set) {
      Value part = Extract(old, p[0], p[1], p[2]);
      if (s.assignOp == AssignOp::Cat) {
        value = part.text() + value;
      } else {
        double x = number(part), y = number(Value(value));
        if (s.assignOp == AssignOp::Div && y == 0) fail("division by zero");
        value = formatNumber(s.assignOp == AssignOp::Add   ? x + y
                             : s.assignOp == AssignOp::Sub ? x - y
                             : s.assignOp == AssignOp::Mul ? x * y
                                                           : x / y);
      }
    }
    target = Replace(old, p[0], p[1], p[2], value);
  }

  // ---- statements with THEN / ELSE / ON ERROR ----

  AccountSession& session() {
    if (!vm.session_) fail("no account to work on");
    return *vm.session_;
  }

  bool hasFile(const std::string& file) override { return session().hasFile(file); }
  std::optional<std::string> readItem(const std::string& file, const std::string& id) override {
    try {
      return session().read(file, id);
    } catch (const AccountError& e) {
      fail(e.what());
    }
  }

  std::string openFile(const Expr& e) {
    Value scratch;
    const std::string& handle = evalRef(e, scratch).text();
    if (!startsWith(handle, kFileHandle)) fail("the file variable holds no open file");
    return handle.substr(kFileHandle.size());
  }

  std::string itemId(const Expr& e) {
    std::string id = eval(e).takeText();
    if (id.empty()) fail("an item id cannot be empty");
    return id;
  }

  void statement(const Step& s) {
    char status = kStatusOk;
    try {
      status = perform(s);
    } catch (const AccountError& e) {
      if (!s.onError) fail(e.what());
      status = kStatusError;
    }
    target(program.statusSlot) = std::string(1, status);
  }

  Interpreter::SelectList* list(const Step& s, bool create) {
    std::string key = s.option;
    bool reads = s.verb == Verb::ReadNext || s.verb == Verb::ReadList;
    if (s.target.slot >= 0 && !reads) {
      Value& handle = target(s.target.slot);
      if (!startsWith(handle.text(), kListHandle)) {
        if (!create) return nullptr;
        handle = kListHandle + std::to_string(vm.nextListId_++);
      }
      key = handle.text();
    }
    if (reads && !s.args.empty()) {
      key = eval(*s.args[0]).takeText();
      if (!startsWith(key, kListHandle)) return nullptr;
    }
    if (create) return &vm.lists_[key];
    auto found = vm.lists_.find(key);
    return found == vm.lists_.end() ? nullptr : &found->second;
  }

  char perform(const Step& s) {
    switch (s.verb) {
      case Verb::Open: {
        std::string file = eval(*s.args[0]).takeText();
        if (s.args.size() > 1) {  // OPEN 'DICT', name: the account file name.DIC
          std::string dict = upperAscii(eval(*s.args[1]).takeText());
          if (dict != "DICT" && !dict.empty()) fail("OPEN takes \"DICT\" or \"\" before the file name");
          if (dict == "DICT") file = dictionaryOf(file);
        }
        vm.inmatIsModulo_ = true;
        if (!session().hasFile(file)) return kStatusElse;
        target(s.target.slot) = kFileHandle + file;
        return kStatusOk;
      }
      case Verb::Read:
      case Verb::ReadV: {
        std::string file = openFile(*s.args[0]);
        std::string id = itemId(*s.args[1]);
        int attribute = s.verb == Verb::ReadV ? wholeOf(*s.args[2]) : 0;
        if (s.lock && !session().lock(file, id, s.onLocked ? std::chrono::milliseconds(0) : vm.lockWait_)) {
          if (s.onLocked) return kStatusLocked;
          fail("the item " + id + " of " + file + " stayed locked by another process for " +
               formatNumber(static_cast<double>(vm.lockWait_.count()) / 1000) + " seconds");
        }
        std::optional<std::string> item = session().read(file, id);
        if (!item) {
          target(s.target.slot) = "";
          return kStatusElse;
        }
        target(s.target.slot) = s.verb == Verb::ReadV ? Extract(*item, attribute) : *std::move(item);
        return kStatusOk;
      }
      case Verb::Write:
      case Verb::WriteV: {
        std::string value = eval(*s.args[0]).takeText();
        std::string file = openFile(*s.args[1]);
        std::string id = itemId(*s.args[2]);
        if (s.verb == Verb::WriteV)
          value = Replace(session().read(file, id).value_or(""), wholeOf(*s.args[3]), 0, 0, value);
        session().write(file, id, std::move(value));
        return kStatusOk;
      }
      case Verb::DeleteItem: {
        std::string file = openFile(*s.args[0]);
        session().remove(file, itemId(*s.args[1]));
        return kStatusOk;
      }
      case Verb::Select: {
        std::string file = openFile(*s.args[0]);
        std::vector<std::string> ids = session().items(file);
        Interpreter::SelectList& l = *list(s, true);
        l.ids = std::move(ids);
        l.next = 0;
        vm.selected_ = l.ids.size();
        return kStatusOk;
      }
      case Verb::ReadNext: {
        Interpreter::SelectList* l = list(s, false);
        if (!l || l->next >= l->ids.size()) return kStatusElse;
        target(s.target.slot) = l->ids[l->next++];
        // Lists are not exploded: no value or subvalue position, 0 as on ScarletDME.
        if (s.expr) target(s.expr->slot) = Value::number(0);
        if (s.from) target(s.from->slot) = Value::number(0);
        return kStatusOk;
      }
      case Verb::ReadList: {  // what is left of the list, as a dynamic array
        Interpreter::SelectList* l = list(s, false);
        if (!l || l->next >= l->ids.size()) return kStatusElse;
        std::string all;
        for (size_t i = l->next; i < l->ids.size(); ++i) {
          if (i > l->next) all += AM;
          all += l->ids[i];
        }
        l->next = l->ids.size();
        fits(all.size());
        target(s.target.slot) = std::move(all);
        return kStatusOk;
      }
      case Verb::OpenSeq: {
        std::string path = eval(*s.args[0]).takeText();
        if (s.args.size() > 1) path += "/" + eval(*s.args[1]).takeText();
        if (!vm.account_) fail("no account to work on");
        // Confined to the account folder: no absolute path, nothing that leads out of it.
        namespace fs = std::filesystem;
        fs::path folder = fs::weakly_canonical(vm.account_->folder());
        fs::path full = fs::weakly_canonical(folder / fs::path(path));
        auto ends = std::mismatch(folder.begin(), folder.end(), full.begin(), full.end());
        if (path.empty() || fs::path(path).is_absolute() || ends.first != folder.end() || full == folder)
          fail("OPENSEQ " + path + ": only files inside the account folder can be opened");
        std::error_code ec;
        if (fs::is_directory(full, ec)) fail("OPENSEQ " + path + " is a folder");
        int id = vm.nextSequentialId_++;
        Interpreter::SequentialFile& file = vm.sequentialFiles_[id];
        file.path = full.string();
        target(s.target.slot) = kSequentialHandle + std::to_string(id);
        std::ifstream in(full, std::ios::binary);
        if (!in) return kStatusElse;  // not there yet: WRITESEQ makes it
        std::stringstream whole;
        whole << in.rdbuf();
        std::string text = whole.str();
        fits(text.size());
        for (size_t start = 0; start < text.size();) {
          size_t nl = text.find('\n', start);
          if (nl == std::string::npos) nl = text.size();
          file.lines.push_back(text.substr(start, nl - start));
          start = nl + 1;
        }
        return kStatusOk;
      }
      case Verb::ReadSeq: {
        Interpreter::SequentialFile& file = sequential(*s.args[0]);
        if (file.next >= file.lines.size()) return kStatusEndOfFile;
        target(s.target.slot) = file.lines[file.next++];
        return kStatusOk;
      }
      case Verb::WriteSeq: {
        std::string text = eval(*s.args[0]).takeText();
        Interpreter::SequentialFile& file = sequential(*s.args[1]);
        if (file.next < file.lines.size())
          file.lines[file.next] = std::move(text);
        else
          file.lines.push_back(std::move(text));
        ++file.next;
        file.changed = true;
        return kStatusOk;
      }
      case Verb::WeofSeq: {
        Interpreter::SequentialFile& file = sequential(*s.args[0]);
        file.lines.resize(std::min(file.next, file.lines.size()));
        file.changed = true;
        return kStatusOk;
      }
      case Verb::CloseSeq: {
        Value scratch;
        std::string handle = evalRef(*s.args[0], scratch).text();
        vm.saveSequential(sequential(*s.args[0]));
        vm.sequentialFiles_.erase(std::atoi(handle.c_str() + kSequentialHandle.size()));
        return kStatusOk;
      }
      case Verb::Execute: execute(s); return kStatusOk;
      case Verb::FormList: {
        std::string ids = eval(*s.args[0]).takeText();
        Interpreter::SelectList& l = *list(s, true);
        l.ids = split(ids, AM);
        l.next = 0;
        return kStatusOk;
      }
      case Verb::GetList: {  // a list saved in &SAVEDLISTS&
        std::string name = eval(*s.args[0]).takeText();
        if (name.empty() || !session().hasFile("&SAVEDLISTS&")) return kStatusElse;
        std::optional<std::string> saved = session().read("&SAVEDLISTS&", name);
        if (!saved) return kStatusElse;
        Interpreter::SelectList& l = *list(s, true);
        l.ids = split(*saved, AM);
        l.next = 0;
        return kStatusOk;
      }
      case Verb::BeginTransaction:
        if (session().inTransaction()) fail("BEGIN TRANSACTION inside a transaction is not available");
        session().beginTransaction();
        vm.transactionBegun_ = {program.name, s.line};
        return kStatusOk;
      case Verb::Commit:
      case Verb::Rollback:
        if (!session().inTransaction())
          fail(std::string(s.verb == Verb::Commit ? "COMMIT" : "ROLLBACK") + " without BEGIN TRANSACTION");
        if (s.verb == Verb::Commit)
          session().commitTransaction();
        else
          session().rollbackTransaction();
        return kStatusOk;
      case Verb::EndTransaction:
        if (session().inTransaction()) fail("END TRANSACTION reached without COMMIT or ROLLBACK");
        return kStatusOk;
      case Verb::WriteList: {
        std::string ids = eval(*s.args[0]).takeText();
        std::string name = itemId(*s.args[1]);
        if (!session().hasFile("&SAVEDLISTS&")) fail("WRITELIST " + name + ": the account has no file &SAVEDLISTS&");
        session().write("&SAVEDLISTS&", name, std::move(ids));
        return kStatusOk;
      }
      case Verb::ClearSelect:
        if (s.option == "ALL")
          vm.lists_.clear();
        else if (Interpreter::SelectList* l = list(s, false))
          l->ids.clear();
        return kStatusOk;
      case Verb::Release:
        // Checked, but the locks stay until the call's changes are on disk:
        // this call may still write what it releases.
        if (!s.args.empty()) openFile(*s.args[0]);
        if (s.args.size() > 1) itemId(*s.args[1]);
        return kStatusOk;
      case Verb::Locate: return locate(s);
      case Verb::MatRead: {
        BasicArray& a = *arrays[static_cast<size_t>(s.target.slot)];
        if (a.cells.empty()) fail(s.target.variable + " has not been dimensioned");
        std::string file = openFile(*s.args[0]);
        std::string id = itemId(*s.args[1]);
        if (s.lock && !session().lock(file, id, s.onLocked ? std::chrono::milliseconds(0) : vm.lockWait_)) {
          if (s.onLocked) return kStatusLocked;
          fail("the item " + id + " of " + file + " stayed locked by another process");
        }
        std::optional<std::string> item = session().read(file, id);
        if (!item) {
          setInmat(0);
          return kStatusElse;  // the array as it was, as on QM
        }
        spread(a, *item, AM);
        return kStatusOk;
      }
      case Verb::MatWrite: {
        const BasicArray& a = *arrays[static_cast<size_t>(s.target.slot)];
        if (a.cells.empty()) fail(s.target.variable + " has not been dimensioned");
        std::string file = openFile(*s.args[0]);
        std::string id = itemId(*s.args[1]);
        int size = static_cast<int>(a.cells.size()) - 1;
        session().write(file, id, joinElements(a, 1, size, std::string(1, AM), true));
        return kStatusOk;
      }
      case Verb::Del:
      case Verb::Ins: {
        std::string value = s.verb == Verb::Ins ? eval(*s.expr).takeText() : std::string{};
        int p[3] = {0, 0, 0};
        for (size_t i = 0; i < s.target.positions.size(); ++i) p[i] = wholeOf(*s.target.positions[i]);
        Value& var = target(s.target.slot);
        const std::string& old = var.text();
        var = s.verb == Verb::Ins ? Insert(old, p[0], p[1], p[2], value) : Delete(old, p[0], p[1], p[2]);
        return kStatusOk;
      }
      case Verb::MatBuild: {
        const BasicArray& a = *arrays[static_cast<size_t>(s.args[0]->slot)];
        if (a.cells.empty()) fail(s.args[0]->text + " has not been dimensioned");
        int size = static_cast<int>(a.cells.size()) - 1;
        int first = s.args.size() > 1 ? wholeOf(*s.args[1]) : 1, last = s.args.size() > 2 ? wholeOf(*s.args[2]) : size;
        if (first < 1 || first > size) first = 1;  // out of range: the whole array, as UniVerse documents
        if (last < 1 || last > size) last = size;
        std::string delimiter = s.expr ? eval(*s.expr).takeText() : std::string(1, AM);
        // Up to the end, what overflowed into the zero element follows, as MATWRITE writes it.
        target(s.target.slot) = joinElements(a, first, last, delimiter, last == size);
        return kStatusOk;
      }
      case Verb::MatParse: {
        BasicArray& a = *arrays[static_cast<size_t>(s.target.slot)];
        if (a.cells.empty()) fail(s.target.variable + " has not been dimensioned");
        std::string data = eval(*s.args[0]).takeText();
        std::string delimiter = s.expr ? eval(*s.expr).takeText() : std::string(1, AM);
        if (delimiter.size() != 1)
          fail("MATPARSE takes a delimiter of one character, not \"" + delimiter.substr(0, 40) + "\"");
        spread(a, data, delimiter[0]);
        return kStatusOk;
      }
      case Verb::Find: return find(s);
      case Verb::Clear: clear(); return kStatusOk;
      case Verb::Sleep: {
        Value scratch;
        const Value& given = evalRef(*s.args[0], scratch);
        if (given.text().find(':') != std::string::npos) fail("SLEEP until a time of day is not available");
        double seconds = std::max(number(given), 0.0);
        auto wake = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        if (wake > vm.deadline_)
          fail("SLEEP " + formatNumber(seconds) + " would outlast the call's " +
               std::to_string(vm.maxTime_.count() / 1000) + " seconds (MaxSeconds)");
        std::this_thread::sleep_until(wake);
        return kStatusOk;
      }
      case Verb::None: break;
    }
    return kStatusOk;
  }

  // FIND: the occurrence-th element (subvalue) equal to x; FINDSTR: containing x.
  char find(const Step& s) {
    Value needleScratch, arrayScratch;
    const std::string& needle = evalRef(*s.args[0], needleScratch).text();
    std::string_view array = evalRef(*s.args[1], arrayScratch).text();
    int occurrence = s.args.size() > 2 ? std::max(wholeOf(*s.args[2]), 1) : 1;
    int at[3] = {1, 1, 1}, seen = 0;
    for (size_t start = 0, i = 0; i <= array.size(); ++i) {
      auto b = i < array.size() ? static_cast<unsigned char>(array[i]) : 0;
      if (i < array.size() && (b < 0xFC || b > 0xFE)) continue;
      std::string_view element = array.substr(start, i - start);
      bool hit = s.option == "STR" ? element.find(needle) != std::string_view::npos : element == needle;
      if (hit && ++seen == occurrence) {
        target(s.target.slot) = Value::number(at[0]);
        if (s.expr) target(s.expr->slot) = Value::number(at[1]);
        if (s.from) target(s.from->slot) = Value::number(at[2]);
        return kStatusOk;
      }
      int level = b == 0xFE ? 0 : b == 0xFD ? 1 : 2;  // the mark after it
      ++at[level];
      for (int deeper = level + 1; deeper < 3; ++deeper) at[deeper] = 1;
      start = i + 1;
    }
    return kStatusElse;
  }

  // CLEAR: every variable and array element outside COMMON to 0, the
  // parameters too, as UniVerse does; the host's own slots stay.
  void clear() {
    std::vector<bool> common(slots.size()), commonArray(arrays.size());
    for (const auto& c : program.commons)
      for (size_t i = 0; i < c.slots.size(); ++i)
        (c.rows[i] ? commonArray : common)[static_cast<size_t>(c.slots[i])] = true;
    for (size_t i = 0; i < slots.size(); ++i) {
      const std::string& name = program.variables[i];
      if (common[i] || static_cast<int>(i) == program.statusSlot || startsWith(name, "$FOR.")) continue;
      target(static_cast<int>(i)) = Value::number(0);
    }
    for (size_t i = 0; i < arrays.size(); ++i)
      if (!commonArray[i])
        for (Value& v : arrays[i]->cells) v = Value::number(0);
  }

  Interpreter::SequentialFile& sequential(const Expr& e) {
    Value scratch;
    const std::string& handle = evalRef(e, scratch).text();
    if (startsWith(handle, kSequentialHandle)) {
      auto found = vm.sequentialFiles_.find(std::atoi(handle.c_str() + kSequentialHandle.size()));
      if (found != vm.sequentialFiles_.end()) return found->second;
    }
    fail("the file variable holds no open sequential file");
  }

  // EXECUTE / PERFORM "SELECT file [WITH field op value ...] [BY field] [BY.DSND field]", and SSELECT.
  void execute(const Step& s) {
    std::string command = eval(*s.args[0]).takeText();
    std::vector<std::string> words;  // a quoted value keeps a leading quote
    for (size_t i = 0; i < command.size();) {
      char c = command[i];
      if (c == ' ') {
        ++i;
      } else if (c == '"' || c == '\'' || c == '\\') {
        size_t close = command.find(c, i + 1);
        if (close == std::string::npos) fail("EXECUTE: a text is not closed in " + command);
        words.push_back("\"" + command.substr(i + 1, close - i - 1));
        i = close + 1;
      } else {
        size_t end = command.find(' ', i);
        if (end == std::string::npos) end = command.size();
        words.push_back(command.substr(i, end - i));
        i = end;
      }
    }
    auto word = [&](size_t i) { return i < words.size() && words[i][0] != '"' ? upperAscii(words[i]) : std::string{}; };
    std::string verb = word(0);
    if (verb != "SELECT" && verb != "SSELECT")
      fail("EXECUTE: only SELECT and SSELECT are available, not \"" + command.substr(0, 40) + "\"");
    size_t i = 1;
    bool dict = word(i) == "DICT";
    if (dict) ++i;
    if (i >= words.size()) fail("EXECUTE: " + verb + " names no file");
    std::string file = dict ? dictionaryOf(words[i++]) : words[i++];
    if (!session().hasFile(file)) fail("EXECUTE: no file " + file);
    // A field: @ID, or the attribute its dictionary item names (D and A types).
    // `conversion`, when given, gets the item's conversion code (attribute 3
    // of a D item, 7 of an A item): WITH's values are converted with it.
    auto field = [&](const std::string& name, std::string* conversion = nullptr) -> int {
      if (upperAscii(name) == "@ID") return 0;
      std::optional<std::string> item;
      if (session().hasFile(dictionaryOf(file))) item = session().read(dictionaryOf(file), name);
      DictionaryField f = item ? dictionaryField(*item) : DictionaryField{};
      if ((f.type != 'D' && f.type != 'A') || f.number < 0 || f.number > 100000)
        fail("EXECUTE: no field " + name + " in the dictionary of " + file);
      if (conversion) {
        *conversion = f.conversion;
        if (conversion->find_first_of(std::string{VM, SVM}) != std::string::npos)
          fail("EXECUTE: the conversion of " + name + " has several codes, which is not available in WITH");
      }
      return static_cast<int>(f.number);
    };
    struct Condition {
      int attribute;
      std::string op;
      std::vector<std::string> values;
      bool orWithPrevious;
    };
    std::vector<Condition> conditions;
    std::vector<std::pair<int, bool>> order;  // attribute, descending
    bool nextIsOr = false;
    while (i < words.size()) {
      std::string w = word(i++);
      if (w == "WITH") {
        if (i >= words.size()) fail("EXECUTE: WITH names no field");
        std::string name = words[i++], conversion;
        Condition c{field(name, &conversion), "", {}, nextIsOr};
        static const std::map<std::string, std::string> ops = {
            {"=", "="}, {"EQ", "="}, {"#", "#"},   {"NE", "#"},  {"<>", "#"},  {"<", "<"},  {"LT", "<"},
            {">", ">"}, {"GT", ">"}, {"<=", "<="}, {"LE", "<="}, {">=", ">="}, {"GE", ">="}};
        if (auto op = ops.find(word(i)); op != ops.end()) {
          c.op = op->second;
          ++i;
        }
        // A value as it is written, "07/01/22", compares as the data holds it, 19906.
        for (; i < words.size() && words[i][0] == '"'; ++i) {
          std::string value = words[i].substr(1);
          if (!conversion.empty() && !value.empty()) {
            std::optional<std::string> internal = iconv(value, conversion);
            if (!internal)
              fail("EXECUTE: unknown conversion code \"" + conversion + "\" in the dictionary item " + name);
            if (internal->empty())
              fail("EXECUTE: \"" + value + "\" cannot be read with " + name + "'s conversion " + conversion);
            value = *std::move(internal);
          }
          c.values.push_back(std::move(value));
        }
        if (!c.op.empty() && c.values.empty()) fail("EXECUTE: " + c.op + " needs a value in quotes");
        if (c.op.empty() && !c.values.empty()) c.op = "=";  // WITH field "value": equal to it
        conditions.push_back(std::move(c));
        nextIsOr = false;
      } else if (w == "AND" || w == "OR") {
        nextIsOr = w == "OR";
        if (word(i) != "WITH") words.insert(words.begin() + static_cast<long>(i), "WITH");
      } else if (w == "BY" || w == "BY.DSND") {
        if (i >= words.size()) fail("EXECUTE: " + w + " names no field");
        order.emplace_back(field(words[i++]), w == "BY.DSND");
      } else {
        fail("EXECUTE: \"" + (i - 1 < words.size() ? words[i - 1] : std::string{}) + "\" is not available in " + verb);
      }
    }
    auto valueOf = [](const std::string& id, const std::string& record, int attribute) {
      return attribute == 0 ? id : Extract(record, attribute);
    };
    auto holds = [&](const Condition& c, const std::string& id, const std::string& record) {
      std::string whole = valueOf(id, record, c.attribute);
      std::vector<std::string> values = c.attribute == 0 ? std::vector<std::string>{whole} : split(whole, VM);
      if (values.empty()) values.emplace_back();
      for (const std::string& v : values) {
        if (c.op.empty() && !v.empty()) return true;
        for (const std::string& wanted : c.values) {
          int cmp = compareValues(v, wanted);
          bool ok = c.op == "="    ? cmp == 0
                    : c.op == "#"  ? cmp != 0
                    : c.op == "<"  ? cmp < 0
                    : c.op == ">"  ? cmp > 0
                    : c.op == "<=" ? cmp <= 0
                                   : cmp >= 0;
          if (ok) return true;
        }
      }
      return false;
    };
    struct Row {
      std::string id;
      std::vector<std::string> keys;
    };
    // While select list 0 has ids left the command selects from them, in
    // their order, as UniVerse passes the active list to it; it uses them up.
    std::vector<std::string> candidates;
    if (listActive()) {
      Interpreter::SelectList& active = vm.lists_["#0"];
      candidates.assign(active.ids.begin() + static_cast<long>(active.next), active.ids.end());
      active.next = active.ids.size();
      if (verb == "SSELECT") std::sort(candidates.begin(), candidates.end());
    } else {
      candidates = session().items(file);
    }
    std::vector<Row> rows;
    for (const std::string& id : candidates) {
      std::optional<std::string> item = session().read(file, id);
      if (!item) continue;  // an id of the list that the file does not have
      const std::string& record = *item;
      bool keep = true;
      for (size_t c = 0; c < conditions.size(); ++c) {
        bool h = holds(conditions[c], id, record);
        keep = c == 0 ? h : conditions[c].orWithPrevious ? keep || h : keep && h;
      }
      if (!keep) continue;
      Row row{id, {}};
      for (const auto& [attribute, descending] : order)
        row.keys.push_back(Extract(valueOf(id, record, attribute), 1, 1));
      rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
      for (size_t k = 0; k < order.size(); ++k) {
        int c = compareValues(a.keys[k], b.keys[k]);
        if (c != 0) return order[k].second ? c > 0 : c < 0;
      }
      return false;  // the ids keep their order: the file's, sorted, or the active list's
    });
    Interpreter::SelectList* l;
    if (s.from) {  // RTNLIST variable
      Value& handle = target(s.from->slot);
      handle = kListHandle + std::to_string(vm.nextListId_++);
      l = &vm.lists_[handle.text()];
    } else {
      l = &vm.lists_["#0"];
    }
    l->ids.clear();
    for (Row& r : rows) l->ids.push_back(std::move(r.id));
    l->next = 0;
    vm.selected_ = vm.returnCode_ = l->ids.size();
  }

  // LOCATE needle IN array<a,v> [BY order] SETTING position: the elements
  // are compared where they lie, not split out.
  char locate(const Step& s) {
    Value needleScratch, arrayScratch;
    const std::string& needle = evalRef(*s.args[0], needleScratch).text();
    const std::string& array = evalRef(*s.args[1], arrayScratch).text();
    int p[2] = {0, 0};
    for (size_t i = 2; i < s.args.size(); ++i) p[i - 2] = wholeOf(*s.args[i]);
    std::string_view elements = array;
    std::string copy;
    char mark = AM;
    if (s.args.size() >= 3) {
      if (p[0] < 1 || (s.args.size() == 4 && p[1] < 1)) {  // positions below 1 as Extract reads them
        copy = Extract(array, p[0], s.args.size() == 4 ? p[1] : 0);
        elements = copy;
      } else {
        elements = pelorix::markedPart(elements, AM, p[0]);
        if (s.args.size() == 4) elements = pelorix::markedPart(elements, VM, p[1]);
      }
      mark = s.args.size() == 3 ? VM : SVM;
    }
    std::string by = s.option;
    if (s.expr) {
      by = upperAscii(eval(*s.expr).takeText());
      if (by != "AL" && by != "AR" && by != "DL" && by != "DR")
        fail("LOCATE BY \"" + by + "\": the order must be AL, AR, DL or DR");
    }
    bool ordered = !by.empty();
    bool descending = ordered && by[0] == 'D';
    bool right = ordered && by.size() > 1 && by[1] == 'R';
    size_t position = 0, begin = 0;
    if (s.from) {  // start at that element: skip those before it
      int from = wholeOf(*s.from);
      for (; position + 1 < static_cast<size_t>(std::max(from, 1)) && begin <= elements.size(); ++position) {
        size_t end = elements.find(mark, begin);
        begin = end == std::string_view::npos ? elements.size() + 1 : end + 1;
      }
    }
    bool found = false;
    for (size_t start = begin; !elements.empty() && start <= elements.size(); ++position) {
      size_t end = elements.find(mark, start);
      if (end == std::string_view::npos) end = elements.size();
      std::string_view e = elements.substr(start, end - start);
      if (e == needle) {
        found = true;
        break;
      }
      if (ordered) {
        int c = compareForOrder(e, needle, right);
        if (descending ? c < 0 : c > 0) break;
      }
      start = end + 1;
    }
    target(s.target.slot) = Value::number(static_cast<double>(position + 1));
    return found ? kStatusOk : kStatusElse;
  }

  // MATREAD and MATPARSE: a part to each element, in order, those left over
  // to the zero element, the rest of the array "". INMAT() is the parts
  // loaded, or 0 when they did not all fit.
  void spread(BasicArray& a, const std::string& data, char delimiter) {
    for (Value& v : a.cells) v = "";
    size_t elements = a.cells.size() - 1, loaded = 0;
    for (size_t start = 0; !data.empty() && start <= data.size();) {
      if (loaded == elements) {
        a.cells[0] = data.substr(start);
        setInmat(0);
        return;
      }
      size_t end = data.find(delimiter, start);
      if (end == std::string::npos) end = data.size();
      a.cells[++loaded] = data.substr(start, end - start);
      start = end + 1;
    }
    setInmat(static_cast<int>(loaded));
  }

  // DIM again keeps the elements that still fit, in order; DIM of a MAT
  // parameter only declares it, as other hosts require.
  void dimension(const Step& s) {
    const auto& parameterArrays = program.parameterArrays;
    if (std::find(parameterArrays.begin(), parameterArrays.end(), s.target.slot) != parameterArrays.end())
      return;  // a MAT parameter keeps the caller's array
    int rows = wholeOf(*s.args[0]), columns = s.args.size() > 1 ? wholeOf(*s.args[1]) : 0;
    if (rows < 1 || (s.args.size() > 1 && columns < 1)) fail("DIM " + s.target.variable + " needs sizes of 1 or more");
    BasicArray& a = *arrays[static_cast<size_t>(s.target.slot)];
    a.rows = rows;
    a.columns = columns;
    fits(a.size() * sizeof(Value));
    a.cells.resize(a.size() + 1);
    setInmat(0);  // UniVerse's 1 is a DIM that got no memory, which fails the call here
  }

  void run() {
    std::vector<int> returns;
    const auto& steps = program.steps;
    int pc = 0;
    while (pc < static_cast<int>(steps.size())) {
      const Step& s = steps[static_cast<size_t>(pc)];
      line = s.line;
      if (++vm.steps_ > vm.maxSteps_)
        fail("stopped after " + std::to_string(vm.maxSteps_) + " steps: a loop that never ends?");
      if ((vm.steps_ & 1023) == 0 && std::chrono::steady_clock::now() > vm.deadline_)
        fail("stopped after " + std::to_string(vm.maxTime_.count() / 1000) + " seconds (MaxSeconds)");
      ++pc;
      Value scratch;
      switch (s.kind) {
        case Step::Assign: assign(s); break;
        case Step::JumpIfFalse:
          if (!truth(evalRef(*s.expr, scratch))) pc = s.jump;
          break;
        case Step::JumpIfTrue:
          if (truth(evalRef(*s.expr, scratch))) pc = s.jump;
          break;
        case Step::Jump: pc = s.jump; break;
        case Step::Gosub:
          if (returns.size() > 10000) fail("GOSUB nested too deeply");
          returns.push_back(pc);
          pc = s.jump;
          break;
        case Step::Return:
          if (s.jump >= 0) {  // RETURN TO label
            if (returns.empty()) fail("RETURN TO " + s.label + " without a GOSUB");
            returns.pop_back();
            pc = s.jump;
            break;
          }
          if (s.expr) {  // a FUNCTION's RETURN value ends it, however deep in GOSUBs
            returned = eval(*s.expr);
            return;
          }
          if (returns.empty()) return;
          pc = returns.back();
          returns.pop_back();
          break;
        case Step::Stop:
          if (s.expr && vm.output_) {
            const std::string& message = evalRef(*s.expr, scratch).text();
            if (!message.empty()) vm.output_(message);
          }
          throw StopCall{};
        case Step::Abort: {
          std::string message = eval(*s.expr).takeText();
          fail(message.empty() ? "ABORT" : "ABORT: " + message);
        }
        case Step::Print: {
          std::string& pending = vm.pendingOutput_;
          pending += evalRef(*s.expr, scratch).text();
          if (s.option.empty()) {
            if (vm.output_) vm.output_(pending);
            pending.clear();
          } else {
            fits(pending.size());
          }
          break;
        }
        case Step::ForTest: {
          double v = number(variable(s.target.slot));
          Value limitScratch;
          double limit = number(evalRef(*s.args[0], limitScratch));
          double step = number(evalRef(*s.args[1], scratch));
          if (step >= 0 ? v > limit : v < limit) pc = s.jump;
          break;
        }
        case Step::ForStep: {
          double step = number(evalRef(*s.args[0], scratch));
          Value& v = target(s.target.slot);
          v = Value::number(number(v) + step);
          break;
        }
        case Step::Statement: statement(s); break;
        case Step::Call: {
          std::vector<Value> temporaries;
          std::vector<Interpreter::Argument> refs;
          arguments(s.args, temporaries, refs);
          if (s.expr) {
            std::string name = eval(*s.expr).takeText();
            if (name.empty()) fail("CALL " + s.target.variable + ": " + s.expr->text + " holds no subroutine name");
            vm.callFrom(*this, name, refs, false);
          } else {
            vm.callFrom(*this, s.target.variable, refs, false);
          }
          for (Hint& h : hints) h.data = nullptr;  // the callee may have changed any argument
          break;
        }
        case Step::Dim: dimension(s); break;
        case Step::Refuse: fail(s.option);
        case Step::OnJump: {
          // Below 1 takes the first label, past the last the last, as QM does.
          int index = std::clamp(wholeOf(*s.args[0]), 1, static_cast<int>(s.jumps.size()));
          if (s.option == "GOSUB") {
            if (returns.size() > 10000) fail("GOSUB nested too deeply");
            returns.push_back(pc);
          }
          pc = s.jumps[static_cast<size_t>(index) - 1];
          break;
        }
        case Step::MatAssign: {
          BasicArray& a = *arrays[static_cast<size_t>(s.target.slot)];
          if (a.cells.empty()) fail(s.target.variable + " has not been dimensioned");
          if (s.expr->kind == Expr::Matrix) {  // element by element, in order
            const BasicArray& from = *arrays[static_cast<size_t>(s.expr->slot)];
            if (&from == &a) break;
            if (from.cells.empty()) fail(s.expr->text + " has not been dimensioned");
            for (size_t i = 1; i < a.cells.size() && i < from.cells.size(); ++i) a.cells[i] = from.cells[i];
          } else {
            Value value = eval(*s.expr);
            for (size_t i = 1; i < a.cells.size(); ++i) a.cells[i] = value;
          }
          break;
        }
      }
    }
  }
};

Interpreter::Interpreter(Loader loader, Output output, long maxSteps, Account* account)
    : loader_(std::move(loader)),
      output_(std::move(output)),
      maxSteps_(maxSteps),
      maxValueBytes_(configuredMaxValueSize()),
      maxTime_(configuredMaxTime()),
      account_(account) {}

Interpreter::~Interpreter() = default;

std::shared_ptr<const CompiledProgram> Interpreter::compiled(const std::string& name, const std::string& source) {
  // $INCLUDE reads BP through the loader, other files from the account.
  auto includer = [this](const std::string& file, const std::string& item) -> std::optional<std::string> {
    if (file == "BP" && loader_) return loader_(item);
    if (!account_) return std::nullopt;
    try {
      return account_->read(file, item);
    } catch (const AccountError&) {
      return std::nullopt;
    }
  };
  // Recompiled when the source or an item it includes changed, so that an edit takes effect.
  auto& program = cache_[name];
  bool current = program && program->source == source;
  if (current && includesChecked_.insert(name).second)
    for (const CompiledProgram::Include& include : program->includes)
      if (includer(include.file, include.item) != include.text) {
        current = false;
        break;
      }
  if (!current) {
    program.reset();  // a compile error must not leave the old program to run next time
    program = compileProgram(name, source, includer);
  }
  return program;
}

// Holds the program while it runs: a CALL may recompile an edited source.
// NOLINTNEXTLINE(performance-unnecessary-value-param): the copy keeps the program alive
Value Interpreter::execute(std::shared_ptr<const CompiledProgram> program, const std::vector<Argument>& args,
                           int depth) {
  if (args.size() != program->parameters.size())
    throw BasicError(program->name, 1,
                     "called with " + std::to_string(args.size()) + " arguments, it takes " +
                         std::to_string(program->parameters.size()));
  Frame frame(*this, *program, args, depth);
  frame.run();
  return std::move(frame.returned);
}

Value Interpreter::callFrom(Frame& caller, const std::string& name, const std::vector<Argument>& args, bool function) {
  if (caller.depth > 100) caller.fail("CALL nested too deeply");
  std::optional<std::string> source = loader_ ? loader_(name) : std::nullopt;
  if (!source) caller.fail(function ? "no FUNCTION " + name : "no program " + name + " to CALL");
  auto program = compiled(name, *source);
  if (program->isFunction != function)
    caller.fail(name + (function ? " is not a FUNCTION" : " is a FUNCTION: call it as one, after DEFFUN"));
  return execute(program, args, caller.depth + 1);
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the copy keeps the program alive
void Interpreter::runTopLevel(std::shared_ptr<const CompiledProgram> program, std::vector<std::string>& args) {
  // The arguments as values while the call runs, as texts again after it, whatever its end.
  std::vector<Value> values(args.begin(), args.end());
  struct WriteBack {
    std::vector<Value>& values;
    std::vector<std::string>& args;
    ~WriteBack() {
      for (size_t i = 0; i < args.size(); ++i) args[i] = values[i].takeText();
    }
  } writeBack{values, args};
  if (program->isFunction) throw BasicError(program->name, 0, "a FUNCTION cannot be called as a subroutine");
  std::vector<Argument> refs;
  refs.reserve(values.size());
  for (Value& v : values) refs.push_back({&v, nullptr});
  steps_ = 0;
  lists_.clear();
  sequentialFiles_.clear();
  commons_.clear();
  commonShapes_.clear();
  inmat_ = 0;
  inmatIsModulo_ = false;
  selected_ = returnCode_ = 0;
  pendingOutput_.clear();
  std::optional<AccountSession> session;
  try {
    if (account_) session.emplace(*account_);
  } catch (const AccountError& e) {
    throw BasicError(program->name, 0, std::string("cannot open the account: ") + e.what());
  }
  session_ = session ? &*session : nullptr;
  deadline_ = std::chrono::steady_clock::now() + maxTime_;
  try {
    execute(program, refs, 0);
  } catch (const StopCall&) {
  } catch (...) {
    session_ = nullptr;
    throw;
  }
  session_ = nullptr;
  if (session && session->inTransaction())
    throw BasicError(transactionBegun_.first, transactionBegun_.second,
                     "the call ended inside BEGIN TRANSACTION, without COMMIT or ROLLBACK");
  if (!pendingOutput_.empty() && output_) output_(pendingOutput_);
  pendingOutput_.clear();
  if (session) {
    try {
      session->commit();
    } catch (const AccountError& e) {
      throw BasicError(program->name, 0, std::string("cannot save the changes: ") + e.what());
    }
  }
  for (auto& [id, file] : sequentialFiles_) saveSequential(file);
  sequentialFiles_.clear();
}

void Interpreter::saveSequential(SequentialFile& file) {
  if (!file.changed) return;
  std::string text;
  for (const std::string& line : file.lines) text.append(line).append(1, '\n');
  std::ofstream out(file.path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw BasicError("", 0, "cannot write " + file.path);
  file.changed = false;
}
void Interpreter::call(const std::string& program, std::vector<std::string>& args) {
  std::optional<std::string> source = loader_ ? loader_(program) : std::nullopt;
  if (!source) throw BasicError(program, 0, "no such program");
  includesChecked_.clear();
  runTopLevel(compiled(program, *source), args);
}

size_t Interpreter::parameterCount(const std::string& program) {
  std::optional<std::string> source = loader_ ? loader_(program) : std::nullopt;
  if (!source) throw BasicError(program, 0, "no such program");
  includesChecked_.clear();
  return compiled(program, *source)->parameters.size();
}

void Interpreter::run(const std::string& name, const std::string& source, std::vector<std::string>& args) {
  includesChecked_.clear();
  runTopLevel(compiled(name, source), args);
}

}  // namespace pelorix::mv
