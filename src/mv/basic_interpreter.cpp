#include "mv/basic_interpreter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <unordered_map>

#include "base/ascii_case.h"
#include <unistd.h>

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

using pelorix::upperAscii;

// File variables and select-list variables hold a handle, not data.
const std::string kFileHandle = "\x1B" "FILE:";
const std::string kListHandle = "\x1B" "LIST:";

// STOP: the whole call ends, however deep the subroutine that stops.
struct StopCall {};

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// LOCATE ... BY: AL/DL compare as text, AR/DR as numbers when both are.
int compareForOrder(const std::string& a, const std::string& b, bool right) {
  if (right) {
    auto x = asNumber(a), y = asNumber(b);
    if (x && y) return *x < *y ? -1 : *x > *y ? 1 : 0;
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  }
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

// ---- running ----

struct Frame {
  Interpreter& vm;
  const CompiledProgram& program;
  std::vector<std::string*> params;
  std::unordered_map<std::string, std::string> locals;
  int depth;
  int line = 0;

  [[noreturn]] void fail(const std::string& cause) const { throw BasicError(program.name, line, cause); }

  // Where the last extraction from each variable stopped, so that a loop
  // over the attributes of a long text costs one pass over it.
  struct Hint {
    const char* data;
    size_t size;
    ExtractHint at;
  };
  std::unordered_map<const std::string*, Hint> hints{};

  std::string& variable(const std::string& name) {
    for (size_t i = 0; i < program.parameters.size(); ++i)
      if (program.parameters[i] == name) return *params[i];
    return locals[name];
  }
  // A variable about to be changed: its hint no longer holds.
  std::string& target(const std::string& name) {
    std::string& v = variable(name);
    hints.erase(&v);
    return v;
  }
  std::string extract(const std::string& array, int a, int v, int s) {
    Hint& h = hints[&array];
    if (h.data != array.data() || h.size != array.size()) h = {array.data(), array.size(), {}};
    return Extract(array, h.at, a, v, s);
  }

  double number(const std::string& text) {
    auto n = asNumber(text);
    if (!n) fail("\"" + text.substr(0, 40) + "\" is not a number");
    return *n;
  }
  int whole(const std::string& text) {
    double n = std::floor(number(text));
    if (n > 2147483647.0 || n < -2147483648.0) fail("number out of range");
    return static_cast<int>(n);
  }
  static std::string boolean(bool b) { return b ? "1" : "0"; }
  bool truth(const std::string& text) {
    auto n = asStrictNumber(text);
    return n ? *n != 0 : !text.empty();
  }

  std::string eval(const Expr& e) {
    line = e.line ? e.line : line;
    switch (e.kind) {
      case Expr::Literal: return e.text;
      case Expr::Variable: {
        std::string name = upperAscii(e.text);
        if (name == "@AM" || name == "@FM") return std::string(1, AM);
        if (name == "@VM") return std::string(1, VM);
        if (name == "@SVM" || name == "@SM") return std::string(1, SVM);
        if (name[0] == '@') return atVariable(name);
        return variable(e.text);
      }
      case Expr::Unary: {
        double v = number(eval(*e.args[0]));
        return formatNumber(e.text == "-" ? -v : v);
      }
      case Expr::Binary: return binary(e);
      case Expr::Extract: {
        int p[3] = {0, 0, 0};
        for (size_t i = 1; i < e.args.size(); ++i) p[i - 1] = whole(eval(*e.args[i]));
        const Expr& from = *e.args[0];
        if (from.kind == Expr::Variable && from.text[0] != '@') return extract(variable(from.text), p[0], p[1], p[2]);
        return Extract(eval(from), p[0], p[1], p[2]);
      }
      case Expr::Substring: {
        std::string s = eval(*e.args[0]);
        int start = whole(eval(*e.args[1]));
        size_t count = charCount(s);
        if (e.args.size() == 2) {  // the last n characters
          if (start <= 0) return {};
          return s.substr(byteOffset(s, count - std::min<size_t>(count, static_cast<size_t>(start))));
        }
        int length = whole(eval(*e.args[2]));
        if (start < 1) start = 1;
        if (length <= 0 || static_cast<size_t>(start) > count) return {};
        size_t from = byteOffset(s, static_cast<size_t>(start) - 1);
        size_t to = from + byteOffset(std::string_view(s).substr(from), static_cast<size_t>(length));
        return s.substr(from, to - from);
      }
      case Expr::Function: return function(e);
    }
    return {};
  }

  std::string binary(const Expr& e) {
    const std::string& op = e.text;
    if (op == "AND") return boolean(truth(eval(*e.args[0])) && truth(eval(*e.args[1])));
    if (op == "OR") return boolean(truth(eval(*e.args[0])) || truth(eval(*e.args[1])));
    std::string a = eval(*e.args[0]);
    std::string b = eval(*e.args[1]);
    line = e.line;
    if (op == ":") {
      fits(a.size() + b.size());
      return a + b;
    }
    if (op == "MATCHES") return boolean(matchesPattern(a, b));
    if (op == "=" || op == "#" || op == "<" || op == ">" || op == "<=" || op == ">=") {
      int c = compareValues(a, b);
      if (op == "=") return boolean(c == 0);
      if (op == "#") return boolean(c != 0);
      if (op == "<") return boolean(c < 0);
      if (op == ">") return boolean(c > 0);
      if (op == "<=") return boolean(c <= 0);
      return boolean(c >= 0);
    }
    double x = number(a), y = number(b);
    if (op == "+") return formatNumber(x + y);
    if (op == "-") return formatNumber(x - y);
    if (op == "*") return formatNumber(x * y);
    if (op == "/") {
      if (y == 0) fail("division by zero");
      return formatNumber(x / y);
    }
    return formatNumber(std::pow(x, y));
  }

  std::string function(const Expr& e) {
    std::vector<std::string> a;
    for (const auto& arg : e.args) a.push_back(eval(*arg));
    line = e.line;
    const std::string& f = e.text;
    auto need = [&](size_t low, size_t high) {
      if (a.size() < low || a.size() > high) fail(f + " takes " + std::to_string(low) + " to " + std::to_string(high) + " arguments");
    };
    if (f == "LEN") return std::to_string(charCount(a[0]));
    if (f == "TRIM") {
      std::string out;
      for (char c : a[0])
        if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
      while (!out.empty() && out.back() == ' ') out.pop_back();
      return out;
    }
    if (f == "FIELD") {
      need(3, 4);
      return Field(a[0], a[1], whole(a[2]), a.size() > 3 ? whole(a[3]) : 1);
    }
    if (f == "DCOUNT") return std::to_string(Dcount(a[0], a[1]));
    if (f == "COUNT") return std::to_string(Count(a[0], a[1]));
    if (f == "INDEX") {
      int occurrence = whole(a[2]);
      if (a[1].empty() || occurrence < 1) return "0";
      size_t at = std::string::npos, from = 0;
      for (int i = 0; i < occurrence; ++i) {
        at = a[0].find(a[1], from);
        if (at == std::string::npos) return "0";
        from = at + a[1].size();
      }
      return std::to_string(charIndex(a[0], at) + 1);
    }
    auto positions = [&](size_t first, size_t count, int* p) {
      for (size_t i = 0; i < count; ++i) p[i] = first + i < a.size() ? whole(a[first + i]) : 0;
    };
    if (f == "EXTRACT") {
      need(2, 4);
      int p[3];
      positions(1, 3, p);
      return Extract(a[0], p[0], p[1], p[2]);
    }
    if (f == "REPLACE" || f == "INSERT") {
      need(3, 5);
      int p[3] = {0, 0, 0};
      for (size_t i = 1; i + 1 < a.size(); ++i) p[i - 1] = whole(a[i]);
      return f == "REPLACE" ? Replace(a[0], p[0], p[1], p[2], a.back()) : Insert(a[0], p[0], p[1], p[2], a.back());
    }
    if (f == "DELETE") {
      need(2, 4);
      int p[3];
      positions(1, 3, p);
      return Delete(a[0], p[0], p[1], p[2]);
    }
    if (f == "UPCASE") return upperText(a[0]);
    if (f == "DOWNCASE") return lowerText(a[0]);
    if (f == "CONVERT") {  // CONVERT(from, to, text)
      std::string out;
      for (char c : a[2]) {
        size_t at = a[0].find(c);
        if (at == std::string::npos) out += c;
        else if (at < a[1].size()) out += a[1][at];
      }
      return out;
    }
    if (f == "CHANGE" || f == "EREPLACE") {  // (text, old, new)
      need(3, 3);
      if (a[1].empty()) return a[0];
      std::string out;
      size_t from = 0;
      for (size_t at; (at = a[0].find(a[1], from)) != std::string::npos; from = at + a[1].size())
        out += a[0].substr(from, at - from) + a[2];
      return out + a[0].substr(from);
    }
    if (f == "NUM") return boolean(a[0].empty() || asStrictNumber(a[0]).has_value());
    if (f == "SQRT") {
      double x = number(a[0]);
      if (x < 0) fail("SQRT of a negative number");
      return formatNumber(std::sqrt(x));
    }
    if (f == "PWR") return formatNumber(std::pow(number(a[0]), number(a[1])));
    if (f == "EXP") return formatNumber(std::exp(number(a[0])));
    if (f == "LN") {
      double x = number(a[0]);
      if (x <= 0) fail("LN of a number not above 0");
      return formatNumber(std::log(x));
    }
    if (f == "FMT") {
      auto out = formatValue(a[0], a[1]);
      if (!out) fail("unknown format \"" + a[1] + "\" in FMT");
      return *out;
    }
    if (f == "ASSIGNED" || f == "UNASSIGNED") {
      const Expr& v = *e.args[0];
      bool assigned = v.kind != Expr::Variable || isParameter(v.text) || locals.count(v.text) > 0;
      return boolean(f == "ASSIGNED" ? assigned : !assigned);
    }
    if (f == "GETENV") {
      const char* value = std::getenv(a[0].c_str());
      return value ? value : "";
    }
    if (f == "INT") return formatNumber(std::trunc(number(a[0])));
    if (f == "ABS") return formatNumber(std::fabs(number(a[0])));
    if (f == "MOD" || f == "REM") {
      double y = number(a[1]);
      if (y == 0) fail("division by zero");
      double r = std::fmod(number(a[0]), y);
      // MOD takes the sign of the divisor, REM that of the dividend.
      if (f == "MOD" && r != 0 && (r < 0) != (y < 0)) r += y;
      return formatNumber(r);
    }
    if (f == "STR") {
      int times = whole(a[1]);
      if (times <= 0 || a[0].empty()) return {};
      fits(a[0].size() * static_cast<size_t>(times));
      std::string out;
      out.reserve(a[0].size() * static_cast<size_t>(times));
      for (int i = 0; i < times; ++i) out += a[0];
      return out;
    }
    if (f == "SPACE") {
      int n = whole(a[0]);
      if (n <= 0) return {};
      fits(static_cast<size_t>(n));
      return std::string(static_cast<size_t>(n), ' ');
    }
    if (f == "CHAR") {
      int c = whole(a[0]);
      if (c < 0 || c > 255) fail("CHAR takes 0 to 255");
      return std::string(1, static_cast<char>(c));
    }
    if (f == "SEQ") return a[0].empty() ? "0" : std::to_string(static_cast<unsigned char>(a[0][0]));
    if (f == "NOT") return boolean(!truth(a[0]));
    if (f == "STATUS") {
      // 1: READU met another process's lock; 2: ON ERROR took a storage error.
      const std::string& last = variable(kStatusVariable);
      return last == std::string(1, kStatusLocked) ? "1" : last == std::string(1, kStatusError) ? "2" : "0";
    }
    if (f == "DATE" || f == "TIME") {
      auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
      std::tm local{};
      localtime_r(&now, &local);
      if (f == "TIME") return std::to_string(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
      auto days = std::chrono::sys_days{std::chrono::year_month_day{
          std::chrono::year{local.tm_year + 1900}, std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
          std::chrono::day{static_cast<unsigned>(local.tm_mday)}}};
      return std::to_string(days.time_since_epoch().count() + 732);  // 1967-12-31 is day 0
    }
    if (f == "OCONV" || f == "ICONV") {
      // An unknown code leaves the value as it is, as on other hosts.
      auto converted = f == "OCONV" ? oconv(a[0], a[1]) : iconv(a[0], a[1]);
      if (!converted) fail("unknown conversion code \"" + a[1] + "\" in " + f);
      return *converted;
    }
    fail(f + " is not available");
  }

  bool isParameter(const std::string& name) const {
    return std::find(program.parameters.begin(), program.parameters.end(), name) != program.parameters.end();
  }

  // A value may not grow past the call's limit: X = X : X forty times must fail, not eat the machine.
  void fits(size_t bytes) {
    if (bytes > vm.maxValueBytes_)
      fail("a value of more than " + std::to_string(vm.maxValueBytes_) + " bytes (MaxValueSize)");
  }

  std::string atVariable(const std::string& name) {
    if (name == "@TM") return std::string(1, static_cast<char>(0xFB));
    if (name == "@IM") return std::string(1, static_cast<char>(0xFF));
    if (name == "@RM") return std::string(1, static_cast<char>(0xFF));
    if (name == "@TRUE") return "1";
    if (name == "@FALSE") return "0";
    if (name == "@LEVEL") return std::to_string(depth + 1);
    if (name == "@USERNO" || name == "@USER.NO") return std::to_string(::getpid());
    if (name == "@LOGNAME") {
      const char* user = std::getenv("USER");
      return user ? user : "";
    }
    if (name == "@PATH") return vm.account_ ? vm.account_->folder().string() : std::string{};
    if (name == "@WHO" || name == "@ACCOUNT")
      return vm.account_ ? vm.account_->folder().filename().string() : std::string{};
    auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    if (name == "@TIME") return std::to_string(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
    if (name == "@DAY") return std::to_string(local.tm_mday);
    if (name == "@MONTH") return std::to_string(local.tm_mon + 1);
    if (name == "@YEAR") return std::to_string(local.tm_year + 1900);
    if (name == "@DATE") {
      auto days = std::chrono::sys_days{std::chrono::year_month_day{
          std::chrono::year{local.tm_year + 1900}, std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
          std::chrono::day{static_cast<unsigned>(local.tm_mday)}}};
      return std::to_string(days.time_since_epoch().count() + 732);
    }
    fail("unknown variable " + name);
  }

  void assign(const Step& s) {
    std::string value = eval(*s.expr);
    line = s.line;
    std::string& var = target(s.target.variable);
    if (s.target.positions.empty()) {
      if (s.assignOp == "=") var = value;
      else if (s.assignOp == ":=") {
        fits(var.size() + value.size());
        var += value;
      }
      else {
        double x = number(var), y = number(value);
        if (s.assignOp == "/=" && y == 0) fail("division by zero");
        var = formatNumber(s.assignOp == "+=" ? x + y : s.assignOp == "-=" ? x - y : s.assignOp == "*=" ? x * y : x / y);
      }
      return;
    }
    int p[3] = {0, 0, 0};
    for (size_t i = 0; i < s.target.positions.size(); ++i) p[i] = whole(eval(*s.target.positions[i]));
    if (s.assignOp == "=" && p[0] == -1 && s.target.positions.size() == 1) {
      // Appending an attribute: in place, so that building a long answer stays linear.
      fits(var.size() + value.size() + 1);
      if (!var.empty()) var += AM;
      var += value;
      return;
    }
    if (s.assignOp != "=") value = Extract(var, p[0], p[1], p[2]) + value;
    var = Replace(var, p[0], p[1], p[2], value);
  }

  // ---- statements with THEN / ELSE / ON ERROR ----

  AccountSession& session() {
    if (!vm.session_) fail("no account to work on");
    return *vm.session_;
  }

  std::string openFile(const std::string& handle) {
    if (!startsWith(handle, kFileHandle)) fail("the file variable holds no open file");
    return handle.substr(kFileHandle.size());
  }

  std::string itemId(const Expr& e) {
    std::string id = eval(e);
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
    target(kStatusVariable) = std::string(1, status);
  }

  Interpreter::SelectList* list(const Step& s, bool create) {
    std::string key = s.option;
    if (!s.target.variable.empty() && s.verb != Verb::ReadNext) {
      std::string& handle = target(s.target.variable);
      if (!startsWith(handle, kListHandle)) {
        if (!create) return nullptr;
        handle = kListHandle + std::to_string(vm.nextListId_++);
      }
      key = handle;
    }
    if (s.verb == Verb::ReadNext && !s.args.empty()) {
      key = eval(*s.args[0]);
      if (!startsWith(key, kListHandle)) return nullptr;
    }
    if (create) return &vm.lists_[key];
    auto found = vm.lists_.find(key);
    return found == vm.lists_.end() ? nullptr : &found->second;
  }

  char perform(const Step& s) {
    switch (s.verb) {
      case Verb::Open: {
        std::string file = eval(*s.args[0]);
        if (!session().hasFile(file)) return kStatusElse;
        target(s.target.variable) = kFileHandle + file;
        return kStatusOk;
      }
      case Verb::Read:
      case Verb::ReadV: {
        std::string file = openFile(eval(*s.args[0]));
        std::string id = itemId(*s.args[1]);
        int attribute = s.verb == Verb::ReadV ? whole(eval(*s.args[2])) : 0;
        if (s.lock && !session().lock(file, id, s.onLocked ? std::chrono::milliseconds(0) : vm.lockWait_)) {
          if (s.onLocked) return kStatusLocked;
          fail("the item " + id + " of " + file + " stayed locked by another process for " +
               formatNumber(static_cast<double>(vm.lockWait_.count()) / 1000) + " seconds");
        }
        std::optional<std::string> item = session().read(file, id);
        std::string& target = this->target(s.target.variable);
        target = item ? (s.verb == Verb::ReadV ? Extract(*item, attribute) : *item) : std::string{};
        return item ? kStatusOk : kStatusElse;
      }
      case Verb::Write:
      case Verb::WriteV: {
        std::string value = eval(*s.args[0]);
        std::string file = openFile(eval(*s.args[1]));
        std::string id = itemId(*s.args[2]);
        if (s.verb == Verb::WriteV)
          value = Replace(session().read(file, id).value_or(""), whole(eval(*s.args[3])), 0, 0, value);
        session().write(file, id, std::move(value));
        return kStatusOk;
      }
      case Verb::DeleteItem: {
        std::string file = openFile(eval(*s.args[0]));
        session().remove(file, itemId(*s.args[1]));
        return kStatusOk;
      }
      case Verb::Select: {
        std::string file = openFile(eval(*s.args[0]));
        std::vector<std::string> ids = session().items(file);
        Interpreter::SelectList& l = *list(s, true);
        l.ids = std::move(ids);
        l.next = 0;
        return kStatusOk;
      }
      case Verb::ReadNext: {
        Interpreter::SelectList* l = list(s, false);
        if (!l || l->next >= l->ids.size()) return kStatusElse;
        target(s.target.variable) = l->ids[l->next++];
        return kStatusOk;
      }
      case Verb::ClearSelect:
        if (s.option == "ALL") vm.lists_.clear();
        else if (Interpreter::SelectList* l = list(s, false)) l->ids.clear();
        return kStatusOk;
      case Verb::Release:
        // Checked, but the locks stay until the call's changes are on disk:
        // this call may still write what it releases.
        if (!s.args.empty()) openFile(eval(*s.args[0]));
        if (s.args.size() > 1) itemId(*s.args[1]);
        return kStatusOk;
      case Verb::Locate: return locate(s);
      case Verb::Del:
      case Verb::Ins: {
        std::string value = s.verb == Verb::Ins ? eval(*s.expr) : std::string{};
        int p[3] = {0, 0, 0};
        for (size_t i = 0; i < s.target.positions.size(); ++i) p[i] = whole(eval(*s.target.positions[i]));
        std::string& var = target(s.target.variable);
        var = s.verb == Verb::Ins ? Insert(var, p[0], p[1], p[2], value) : Delete(var, p[0], p[1], p[2]);
        return kStatusOk;
      }
      case Verb::None: break;
    }
    return kStatusOk;
  }

  // LOCATE needle IN array<a,v> [BY order] SETTING position
  char locate(const Step& s) {
    std::string needle = eval(*s.args[0]);
    std::string array = eval(*s.args[1]);
    int p[2] = {0, 0};
    for (size_t i = 2; i < s.args.size(); ++i) p[i - 2] = whole(eval(*s.args[i]));
    std::vector<std::string> elements;
    if (s.args.size() == 2) elements = split(array, AM);
    else if (s.args.size() == 3) elements = split(Extract(array, p[0]), VM);
    else elements = split(Extract(array, p[0], p[1]), SVM);
    bool ordered = !s.option.empty();
    bool descending = ordered && s.option[0] == 'D';
    bool right = ordered && s.option.size() > 1 && s.option[1] == 'R';
    size_t position = elements.size();
    bool found = false;
    for (size_t i = 0; i < elements.size(); ++i) {
      if (elements[i] == needle) {
        position = i;
        found = true;
        break;
      }
      if (ordered) {
        int c = compareForOrder(elements[i], needle, right);
        if (descending ? c < 0 : c > 0) {
          position = i;
          break;
        }
      }
    }
    target(s.target.variable) = std::to_string(position + 1);
    return found ? kStatusOk : kStatusElse;
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
      switch (s.kind) {
        case Step::Assign: assign(s); break;
        case Step::JumpIfFalse: if (!truth(eval(*s.expr))) pc = s.jump; break;
        case Step::JumpIfTrue: if (truth(eval(*s.expr))) pc = s.jump; break;
        case Step::Jump: pc = s.jump; break;
        case Step::Gosub:
          if (returns.size() > 10000) fail("GOSUB nested too deeply");
          returns.push_back(pc);
          pc = s.jump;
          break;
        case Step::Return:
          if (returns.empty()) return;
          pc = returns.back();
          returns.pop_back();
          break;
        case Step::Stop:
          if (s.expr && vm.output_) {
            std::string message = eval(*s.expr);
            if (!message.empty()) vm.output_(message);
          }
          throw StopCall{};
        case Step::Abort: {
          std::string message = eval(*s.expr);
          fail(message.empty() ? "ABORT" : "ABORT: " + message);
        }
        case Step::Print:
          if (vm.output_) vm.output_(eval(*s.expr));
          break;
        case Step::ForTest: {
          double v = number(variable(s.target.variable));
          double limit = number(eval(*s.args[0]));
          double step = number(eval(*s.args[1]));
          if (step >= 0 ? v > limit : v < limit) pc = s.jump;
          break;
        }
        case Step::ForStep: {
          std::string& v = target(s.target.variable);
          v = formatNumber(number(v) + number(eval(*s.args[0])));
          break;
        }
        case Step::Statement: statement(s); break;
        case Step::Call: {
          std::vector<std::string> temporaries(s.args.size());
          std::vector<std::string*> refs;
          for (size_t i = 0; i < s.args.size(); ++i) {
            const Expr& arg = *s.args[i];
            if (arg.kind == Expr::Variable && arg.text[0] != '@') {
              refs.push_back(&target(arg.text));
            } else {
              temporaries[i] = eval(arg);
              refs.push_back(&temporaries[i]);
            }
          }
          vm.callFrom(*this, s.target.variable, refs);
          hints.clear();  // the callee may have changed any argument
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
  // Recompiled when the source changed, so that an edited program takes effect.
  auto& program = cache_[name];
  if (!program || program->source != source) program = compileProgram(name, source);
  return program;
}

// Holds the program while it runs: a CALL may recompile an edited source.
void Interpreter::execute(std::shared_ptr<const CompiledProgram> program, std::vector<std::string*> args, int depth) {
  if (args.size() != program->parameters.size())
    throw BasicError(program->name, 1, "called with " + std::to_string(args.size()) + " arguments, it takes " +
                                           std::to_string(program->parameters.size()));
  Frame frame{*this, *program, std::move(args), {}, depth};
  frame.run();
}

void Interpreter::callFrom(Frame& caller, const std::string& name, std::vector<std::string*> args) {
  if (caller.depth > 100) caller.fail("CALL nested too deeply");
  std::optional<std::string> source = loader_ ? loader_(name) : std::nullopt;
  if (!source) caller.fail("no program " + name + " to CALL");
  execute(compiled(name, *source), std::move(args), caller.depth + 1);
}

void Interpreter::runTopLevel(std::shared_ptr<const CompiledProgram> program, std::vector<std::string>& args) {
  std::vector<std::string*> refs;
  for (std::string& a : args) refs.push_back(&a);
  steps_ = 0;
  lists_.clear();
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
  if (session) {
    try {
      session->commit();
    } catch (const AccountError& e) {
      throw BasicError(program->name, 0, std::string("cannot save the changes: ") + e.what());
    }
  }
}

void Interpreter::call(const std::string& program, std::vector<std::string>& args) {
  std::optional<std::string> source = loader_ ? loader_(program) : std::nullopt;
  if (!source) throw BasicError(program, 0, "no such program");
  runTopLevel(compiled(program, *source), args);
}

size_t Interpreter::parameterCount(const std::string& program) {
  std::optional<std::string> source = loader_ ? loader_(program) : std::nullopt;
  if (!source) throw BasicError(program, 0, "no such program");
  return compiled(program, *source)->parameters.size();
}

void Interpreter::run(const std::string& name, const std::string& source, std::vector<std::string>& args) {
  runTopLevel(compiled(name, source), args);
}

}  // namespace pelorix::mv
