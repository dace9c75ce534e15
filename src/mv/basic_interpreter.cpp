#include "mv/basic_interpreter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <map>
#include <unordered_map>

#include "mv/basic_value.h"
#include "mv/dynamic_array.h"

namespace pelorix::mv {

BasicError::BasicError(std::string program, int line, std::string cause)
    : std::runtime_error(program + " line " + std::to_string(line) + ": " + cause),
      program_(std::move(program)),
      line_(line),
      cause_(std::move(cause)) {}

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// ---- tokens ----

struct Token {
  enum Kind { Number, String, Name, Op, End } kind = End;
  std::string text;
  int line = 0;
  bool spaceBefore = false;
  bool is(Kind k, const char* t) const { return kind == k && (kind == Name ? upper(text) == t : text == t); }
  bool op(const char* t) const { return is(Op, t); }
  bool word(const char* t) const { return is(Name, t); }
};

struct SyntaxError {
  int line;
  std::string cause;
};

std::vector<Token> tokenize(const std::string& source) {
  std::vector<Token> out;
  int line = 1;
  size_t i = 0, n = source.size();
  bool statementStart = true;
  auto push = [&](Token::Kind kind, std::string text, bool space) {
    out.push_back({kind, std::move(text), line, space});
    statementStart = kind == Token::End;
  };
  while (i < n) {
    char c = source[i];
    bool space = i > 0 && (source[i - 1] == ' ' || source[i - 1] == '\t');
    if (c == '\n' || c == static_cast<char>(0xFE)) {  // source items keep their lines as attributes
      push(Token::End, "", false);
      ++line;
      ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == ';') {
      push(Token::End, ";", false);
      ++i;
      continue;
    }
    // A comment runs to the end of the line.
    bool rem = statementStart && upper(source.substr(i, 4)) == "REM " ;
    if (statementStart && (c == '*' || c == '!' || rem)) {
      while (i < n && source[i] != '\n' && source[i] != static_cast<char>(0xFE)) ++i;
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(source[i + 1])))) {
      size_t j = i;
      while (j < n && (std::isdigit(static_cast<unsigned char>(source[j])) || source[j] == '.')) ++j;
      push(Token::Number, source.substr(i, j - i), space);
      i = j;
      continue;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '@' || c == '$' || c == '_') {
      size_t j = i + 1;
      while (j < n && (std::isalnum(static_cast<unsigned char>(source[j])) || source[j] == '.' || source[j] == '$' ||
                       source[j] == '_' || source[j] == '%'))
        ++j;
      push(Token::Name, source.substr(i, j - i), space);
      i = j;
      continue;
    }
    if (c == '"' || c == '\'' || c == '\\') {
      size_t close = source.find(c, i + 1);
      size_t eol = source.find('\n', i + 1);
      if (close == std::string::npos || (eol != std::string::npos && eol < close)) throw SyntaxError{line, "a text is not closed"};
      push(Token::String, source.substr(i + 1, close - i - 1), space);
      i = close + 1;
      continue;
    }
    static const char* twoChar[] = {"<=", ">=", "<>", "><", "=<", "=>", "+=", "-=", ":=", "*=", "/="};
    std::string two = source.substr(i, 2);
    if (std::find(std::begin(twoChar), std::end(twoChar), two) != std::end(twoChar)) {
      push(Token::Op, two, space);
      i += 2;
      continue;
    }
    if (std::string("+-*/^:=#<>(),[]&").find(c) != std::string::npos) {
      push(Token::Op, std::string(1, c), space);
      ++i;
      continue;
    }
    throw SyntaxError{line, std::string("unexpected character '") + c + "'"};
  }
  push(Token::End, "", false);
  return out;
}

// ---- expressions ----

struct Expr {
  enum Kind { Literal, Variable, Unary, Binary, Function, Extract, Substring } kind;
  std::string text;  // literal, variable name, operator or function name
  std::vector<std::unique_ptr<Expr>> args;
  int line = 0;
};
using ExprPtr = std::unique_ptr<Expr>;

ExprPtr node(Expr::Kind kind, std::string text, int line) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->text = std::move(text);
  e->line = line;
  return e;
}

// ---- steps ----

struct Target {
  std::string variable;
  std::vector<ExprPtr> positions;  // X<a,v,s> = ...
};

struct Step {
  enum Kind { Assign, JumpIfFalse, JumpIfTrue, Jump, Gosub, Return, Print, Stop, ForTest, ForStep, Call } kind;
  int line = 0;
  Target target;
  std::string assignOp = "=";
  ExprPtr expr;
  std::vector<ExprPtr> args;  // CALL arguments, FOR limit and step
  int jump = -1;
  std::string label;  // unresolved GOTO / GOSUB target
};

}  // namespace

struct CompiledProgram {
  std::string name;
  std::vector<std::string> parameters;
  std::vector<Step> steps;
};

namespace {

const std::map<std::string, int> kFunctionArity = {
    {"LEN", 1}, {"TRIM", 1}, {"FIELD", -1}, {"DCOUNT", 2}, {"COUNT", 2}, {"INDEX", 3}, {"EXTRACT", -1},
    {"REPLACE", -1}, {"INSERT", -1}, {"DELETE", -1}, {"UPCASE", 1}, {"DOWNCASE", 1}, {"CONVERT", 3},
    {"CHANGE", 3}, {"EREPLACE", -1}, {"NUM", 1}, {"INT", 1}, {"ABS", 1}, {"MOD", 2}, {"REM", 2},
    {"STR", 2}, {"SPACE", 1}, {"CHAR", 1}, {"SEQ", 1}, {"DATE", 0}, {"TIME", 0}, {"NOT", 1},
    {"OCONV", 2}, {"ICONV", 2}};

class Parser {
 public:
  Parser(std::vector<Token> tokens, CompiledProgram& program) : t_(std::move(tokens)), p_(program) {}

  void parseProgram() {
    skipEnds();
    if (peek().word("SUBROUTINE")) {
      next();
      p_.name = expectName("a subroutine name");
      if (peek().op("(")) {
        next();
        if (!peek().op(")"))
          do p_.parameters.push_back(expectName("a parameter")); while (accept(","));
        expectOp(")");
      }
    }
    block({});
    if (peek().kind != Token::End) fail("unexpected " + describe(peek()));
    for (Step& s : p_.steps) {
      if (s.label.empty()) continue;
      auto found = labels_.find(s.label);
      if (found == labels_.end()) throw SyntaxError{s.line, "no label " + s.label};
      s.jump = found->second;
    }
  }

 private:
  // ---- token helpers ----
  const Token& peek(size_t ahead = 0) const { return t_[std::min(pos_ + ahead, t_.size() - 1)]; }
  const Token& next() { return t_[std::min(pos_++, t_.size() - 1)]; }
  bool atEnd() const { return peek().kind == Token::End; }
  bool accept(const char* op) {
    if (!peek().op(op)) return false;
    ++pos_;
    return true;
  }
  bool acceptWord(const char* w) {
    if (!peek().word(w)) return false;
    ++pos_;
    return true;
  }
  [[noreturn]] void fail(const std::string& cause) const { throw SyntaxError{peek().line, cause}; }
  static std::string describe(const Token& t) { return t.kind == Token::End ? "end of line" : "\"" + t.text + "\""; }
  void expectOp(const char* op) {
    if (!accept(op)) fail(std::string("expected \"") + op + "\", found " + describe(peek()));
  }
  std::string expectName(const char* what) {
    if (peek().kind != Token::Name) fail(std::string("expected ") + what + ", found " + describe(peek()));
    return next().text;
  }
  void skipEnds() {
    while (peek().kind == Token::End && pos_ < t_.size() - 1) ++pos_;
  }
  bool lastToken() const { return pos_ >= t_.size() - 1; }

  int here() const { return static_cast<int>(p_.steps.size()); }
  Step& emit(Step::Kind kind, int line) {
    p_.steps.push_back(Step{kind, line, {}, "=", nullptr, {}, -1, {}});
    return p_.steps.back();
  }

  // ---- statements ----

  // Parses statements until one of the stop words starts a statement (left unread).
  void block(const std::vector<std::string>& stops) {
    while (true) {
      skipEnds();
      if (lastToken() && atEnd()) return;
      const Token& t = peek();
      if (t.kind == Token::Name) {
        std::string w = upper(t.text);
        for (const std::string& s : stops) {
          if (s == w) return;
          if (s == "END CASE" && w == "END" && peek(1).word("CASE")) return;
        }
      }
      statement();
    }
  }

  // Statements up to the end of the line or an ELSE, for one-line THEN / ELSE.
  void lineStatements() {
    while (!atEnd() && !peek().word("ELSE")) {
      statement();
      if (peek().text == ";") ++pos_;
    }
  }

  void label(const std::string& name) {
    if (labels_.count(name)) fail("label " + name + " is defined twice");
    labels_[name] = here();
  }

  void statement() {
    const Token& t = peek();
    int line = t.line;
    if (t.kind == Token::Number) {  // numeric label
      label(next().text);
      accept(":");
      return;
    }
    if (t.kind != Token::Name) fail("a statement cannot start with " + describe(t));
    if (peek(1).op(":") && !peek(2).op("=")) {
      label(next().text);
      next();
      return;
    }
    std::string w = upper(t.text);
    bool assignment = peek(1).op("=") || peek(1).op("+=") || peek(1).op("-=") || peek(1).op(":=") ||
                      peek(1).op("*=") || peek(1).op("/=") || (peek(1).op("<") && !isKeyword(w));
    if (assignment) return assign();
    next();
    if (w == "IF") return ifStatement(line);
    if (w == "BEGIN") {
      if (!acceptWord("CASE")) fail("expected CASE after BEGIN");
      return caseStatement(line);
    }
    if (w == "FOR") return forStatement(line);
    if (w == "LOOP") return loopStatement(line);
    if (w == "GOSUB" || w == "GOTO" || (w == "GO" && acceptWord("TO"))) {
      Step& s = emit(w == "GOSUB" ? Step::Gosub : Step::Jump, line);
      if (peek().kind != Token::Name && peek().kind != Token::Number) fail("expected a label");
      s.label = next().text;
      accept(":");
      return;
    }
    if (w == "RETURN") {
      emit(Step::Return, line);
      return;
    }
    if (w == "STOP" || w == "END") {
      emit(Step::Stop, line);
      return;
    }
    if (w == "CRT" || w == "PRINT" || w == "DISPLAY") {
      Step& s = emit(Step::Print, line);
      s.expr = atEnd() || peek().word("ELSE") ? node(Expr::Literal, "", line) : expression();
      return;
    }
    if (w == "EQU" || w == "EQUATE") {
      do {
        std::string name = expectName("a name");
        if (!acceptWord("TO")) expectOp("=");
        Step& s = emit(Step::Assign, line);
        s.target.variable = name;
        s.expr = expression();
      } while (accept(","));
      return;
    }
    if (w == "CALL") {
      Step& s = emit(Step::Call, line);
      s.label.clear();
      s.target.variable = expectName("a subroutine name");
      if (accept("(")) {
        if (!peek().op(")"))
          do s.args.push_back(expression()); while (accept(","));
        expectOp(")");
      }
      return;
    }
    if (w == "EXIT") {
      if (loops_.empty()) fail("EXIT outside a loop");
      loops_.back().push_back(here());
      emit(Step::Jump, line);
      return;
    }
    if (w == "NULL") return;
    fail("unknown statement " + t.text);
  }

  static bool isKeyword(const std::string& w) {
    static const char* words[] = {"IF", "CRT", "PRINT", "RETURN", "GOSUB", "GOTO", "CALL", "FOR", "LOOP", "END"};
    return std::find(std::begin(words), std::end(words), w) != std::end(words);
  }

  void assign() {
    int line = peek().line;
    Target target;
    target.variable = next().text;
    if (accept("<")) {
      do target.positions.push_back(expression(true)); while (accept(","));
      expectOp(">");
      if (target.positions.size() > 3) fail("at most three positions in <>");
    }
    std::string op = next().text;
    if (op != "=" && op != "+=" && op != "-=" && op != ":=" && op != "*=" && op != "/=") fail("expected =");
    Step& s = emit(Step::Assign, line);
    s.target = std::move(target);
    s.assignOp = op;
    s.expr = expression();
  }

  void ifStatement(int line) {
    ExprPtr cond = expression();
    bool hasThen = acceptWord("THEN");
    int jumpFalse = here();
    emit(hasThen ? Step::JumpIfFalse : Step::JumpIfTrue, line).expr = std::move(cond);
    if (!hasThen && !peek().word("ELSE")) fail("expected THEN or ELSE");
    int jumpEnd = -1;
    if (hasThen) {
      if (atEnd()) {
        block({"END"});
        if (!acceptWord("END")) fail("IF ... THEN has no END");
      } else {
        lineStatements();
      }
      if (peek().word("ELSE")) {
        jumpEnd = here();
        emit(Step::Jump, line);
      }
    }
    p_.steps[jumpFalse].jump = here();
    if (acceptWord("ELSE")) {
      if (atEnd()) {
        block({"END"});
        if (!acceptWord("END")) fail("ELSE has no END");
      } else {
        lineStatements();
      }
    }
    if (jumpEnd >= 0) p_.steps[jumpEnd].jump = here();
  }

  void caseStatement(int line) {
    std::vector<int> ends;
    skipEnds();
    while (acceptWord("CASE")) {
      int test = here();
      emit(Step::JumpIfFalse, peek().line).expr = expression();
      block({"CASE", "END CASE"});
      ends.push_back(here());
      emit(Step::Jump, line);
      p_.steps[test].jump = here();
      skipEnds();
    }
    if (!acceptWord("END") || !acceptWord("CASE")) fail("BEGIN CASE has no END CASE");
    for (int e : ends) p_.steps[e].jump = here();
  }

  void forStatement(int line) {
    std::string var = expectName("a loop variable");
    expectOp("=");
    Step& init = emit(Step::Assign, line);
    init.target.variable = var;
    init.expr = expression();
    if (!acceptWord("TO")) fail("expected TO");
    std::string limit = "$FOR.LIMIT." + std::to_string(here());
    std::string step = "$FOR.STEP." + std::to_string(here());
    Step& l = emit(Step::Assign, line);
    l.target.variable = limit;
    l.expr = expression();
    Step& st = emit(Step::Assign, line);
    st.target.variable = step;
    st.expr = acceptWord("STEP") ? expression() : node(Expr::Literal, "1", line);
    int test = here();
    Step& t = emit(Step::ForTest, line);
    t.target.variable = var;
    t.label.clear();
    t.args.push_back(node(Expr::Variable, limit, line));
    t.args.push_back(node(Expr::Variable, step, line));
    loops_.emplace_back();
    block({"NEXT"});
    if (!acceptWord("NEXT")) fail("FOR has no NEXT");
    if (peek().kind == Token::Name) next();
    Step& inc = emit(Step::ForStep, line);
    inc.target.variable = var;
    inc.args.push_back(node(Expr::Variable, step, line));
    emit(Step::Jump, line).jump = test;
    p_.steps[test].jump = here();
    for (int e : loops_.back()) p_.steps[e].jump = here();
    loops_.pop_back();
  }

  void loopStatement(int line) {
    int top = here();
    loops_.emplace_back();
    while (true) {
      block({"WHILE", "UNTIL", "REPEAT"});
      if (acceptWord("REPEAT")) break;
      bool isWhile = peek().word("WHILE");
      if (!isWhile && !peek().word("UNTIL")) fail("LOOP has no REPEAT");
      int l = next().line;
      loops_.back().push_back(here());
      emit(isWhile ? Step::JumpIfFalse : Step::JumpIfTrue, l).expr = expression();
      acceptWord("DO");
    }
    emit(Step::Jump, line).jump = top;
    for (int e : loops_.back()) p_.steps[e].jump = here();
    loops_.pop_back();
  }

  // ---- expressions ----
  // noGreater: inside X<...>, where ">" closes the positions.
  ExprPtr expression(bool noGreater = false) { return logical(noGreater); }

  ExprPtr binary(ExprPtr left, std::string op, ExprPtr right) {
    auto e = node(Expr::Binary, std::move(op), left->line);
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
  }

  ExprPtr logical(bool ng) {
    ExprPtr left = comparison(ng);
    while (peek().word("AND") || peek().word("OR") || peek().op("&")) {
      std::string op = upper(next().text);
      left = binary(std::move(left), op == "&" ? "AND" : op, comparison(ng));
    }
    return left;
  }

  ExprPtr comparison(bool ng) {
    ExprPtr left = concatenation(ng);
    while (true) {
      const Token& t = peek();
      std::string op;
      if (t.op("=") || t.word("EQ")) op = "=";
      else if (t.op("#") || t.op("<>") || t.op("><") || t.word("NE")) op = "#";
      else if (t.op("<") || t.word("LT")) op = "<";
      else if ((t.op(">") && !ng) || t.word("GT")) op = ">";
      else if (t.op("<=") || t.op("=<") || t.word("LE")) op = "<=";
      else if ((t.op(">=") && !ng) || t.op("=>") || t.word("GE")) op = ">=";
      else return left;
      next();
      left = binary(std::move(left), op, concatenation(ng));
    }
  }

  ExprPtr concatenation(bool ng) {
    ExprPtr left = additive(ng);
    while (peek().op(":") || peek().word("CAT")) {
      next();
      left = binary(std::move(left), ":", additive(ng));
    }
    return left;
  }

  ExprPtr additive(bool ng) {
    ExprPtr left = multiplicative(ng);
    while (peek().op("+") || peek().op("-")) {
      std::string op = next().text;
      left = binary(std::move(left), op, multiplicative(ng));
    }
    return left;
  }

  ExprPtr multiplicative(bool ng) {
    ExprPtr left = power(ng);
    while (peek().op("*") || peek().op("/")) {
      std::string op = next().text;
      left = binary(std::move(left), op, power(ng));
    }
    return left;
  }

  ExprPtr power(bool ng) {
    ExprPtr left = unary(ng);
    while (peek().op("^")) {
      next();
      left = binary(std::move(left), "^", unary(ng));
    }
    return left;
  }

  ExprPtr unary(bool ng) {
    if (peek().op("-") || peek().op("+")) {
      const Token& t = next();
      auto e = node(Expr::Unary, t.text, t.line);
      e->args.push_back(unary(ng));
      return e;
    }
    return postfix(primary(ng));
  }

  ExprPtr postfix(ExprPtr e) {
    while (true) {
      if (peek().op("[") && !peek().spaceBefore) {
        next();
        auto s = node(Expr::Substring, "", e->line);
        s->args.push_back(std::move(e));
        s->args.push_back(expression());
        if (accept(",")) s->args.push_back(expression());
        expectOp("]");
        e = std::move(s);
      } else if (peek().op("<") && e->kind == Expr::Variable) {
        // X<a,v,s> when a closing ">" follows, otherwise a comparison.
        size_t saved = pos_;
        try {
          next();
          auto x = node(Expr::Extract, "", e->line);
          std::vector<ExprPtr> positions;
          do positions.push_back(expression(true)); while (accept(","));
          if (!accept(">") || positions.size() > 3) throw SyntaxError{0, ""};
          x->args.push_back(std::move(e));
          for (auto& p : positions) x->args.push_back(std::move(p));
          e = std::move(x);
        } catch (const SyntaxError&) {
          pos_ = saved;
          return e;
        }
      } else {
        return e;
      }
    }
  }

  ExprPtr primary(bool) {
    const Token& t = next();
    if (t.kind == Token::Number) return node(Expr::Literal, t.text, t.line);
    if (t.kind == Token::String) return node(Expr::Literal, t.text, t.line);
    if (t.op("(")) {
      ExprPtr e = expression();
      expectOp(")");
      return e;
    }
    if (t.kind == Token::Name) {
      std::string w = upper(t.text);
      auto fn = kFunctionArity.find(w);
      if (fn != kFunctionArity.end() && peek().op("(")) {
        next();
        auto e = node(Expr::Function, w, t.line);
        if (!peek().op(")"))
          do e->args.push_back(expression()); while (accept(","));
        expectOp(")");
        if (fn->second >= 0 && static_cast<int>(e->args.size()) != fn->second)
          throw SyntaxError{t.line, w + " takes " + std::to_string(fn->second) + " arguments"};
        return e;
      }
      return node(Expr::Variable, t.text, t.line);
    }
    --pos_;
    fail("expected a value, found " + describe(t));
  }

  std::vector<Token> t_;
  size_t pos_ = 0;
  CompiledProgram& p_;
  std::map<std::string, int> labels_;
  std::vector<std::vector<int>> loops_;  // EXIT, WHILE and UNTIL jumps to patch
};

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

  std::string& variable(const std::string& name) {
    for (size_t i = 0; i < program.parameters.size(); ++i)
      if (program.parameters[i] == name) return *params[i];
    return locals[name];
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
    auto n = asNumber(text);
    return n ? *n != 0 : !text.empty();
  }

  std::string eval(const Expr& e) {
    line = e.line ? e.line : line;
    switch (e.kind) {
      case Expr::Literal: return e.text;
      case Expr::Variable: {
        std::string name = upper(e.text);
        if (name == "@AM" || name == "@FM") return std::string(1, AM);
        if (name == "@VM") return std::string(1, VM);
        if (name == "@SVM" || name == "@SM") return std::string(1, SVM);
        return variable(e.text);
      }
      case Expr::Unary: {
        double v = number(eval(*e.args[0]));
        return formatNumber(e.text == "-" ? -v : v);
      }
      case Expr::Binary: return binary(e);
      case Expr::Extract: {
        std::string array = eval(*e.args[0]);
        int p[3] = {0, 0, 0};
        for (size_t i = 1; i < e.args.size(); ++i) p[i - 1] = whole(eval(*e.args[i]));
        return Extract(array, p[0], p[1], p[2]);
      }
      case Expr::Substring: {
        std::string s = eval(*e.args[0]);
        int start = whole(eval(*e.args[1]));
        if (e.args.size() == 2) {  // the last n characters
          return start <= 0 ? std::string{} : s.substr(s.size() - std::min<size_t>(s.size(), static_cast<size_t>(start)));
        }
        int length = whole(eval(*e.args[2]));
        if (start < 1) start = 1;
        if (length <= 0 || static_cast<size_t>(start) > s.size()) return {};
        return s.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(length));
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
    if (op == ":") return a + b;
    if (op == "=" || op == "#" || op == "<" || op == ">" || op == "<=" || op == ">=") {
      auto x = asNumber(a), y = asNumber(b);
      int c = (x && y) ? (*x < *y ? -1 : *x > *y ? 1 : 0) : a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
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
    if (f == "LEN") return std::to_string(a[0].size());
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
      return std::to_string(at + 1);
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
    if (f == "UPCASE") return upper(a[0]);
    if (f == "DOWNCASE") {
      for (char& c : a[0]) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return a[0];
    }
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
    if (f == "NUM") return boolean(asNumber(a[0]).has_value());
    if (f == "INT") return formatNumber(std::trunc(number(a[0])));
    if (f == "ABS") return formatNumber(std::fabs(number(a[0])));
    if (f == "MOD" || f == "REM") {
      double y = number(a[1]);
      if (y == 0) fail("division by zero");
      return formatNumber(std::fmod(number(a[0]), y));
    }
    if (f == "STR") {
      std::string out;
      int times = whole(a[1]);
      for (int i = 0; i < times && out.size() < 10'000'000; ++i) out += a[0];
      return out;
    }
    if (f == "SPACE") {
      int n = whole(a[0]);
      return n > 0 ? std::string(static_cast<size_t>(std::min(n, 10'000'000)), ' ') : std::string{};
    }
    if (f == "CHAR") {
      int c = whole(a[0]);
      if (c < 0 || c > 255) fail("CHAR takes 0 to 255");
      return std::string(1, static_cast<char>(c));
    }
    if (f == "SEQ") return a[0].empty() ? "0" : std::to_string(static_cast<unsigned char>(a[0][0]));
    if (f == "NOT") return boolean(!truth(a[0]));
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
    fail(f + " is not available yet");
  }

  void assign(const Step& s) {
    std::string value = eval(*s.expr);
    line = s.line;
    std::string& var = variable(s.target.variable);
    if (s.target.positions.empty()) {
      if (s.assignOp == "=") var = value;
      else if (s.assignOp == ":=") var += value;
      else {
        double x = number(var), y = number(value);
        if (s.assignOp == "/=" && y == 0) fail("division by zero");
        var = formatNumber(s.assignOp == "+=" ? x + y : s.assignOp == "-=" ? x - y : s.assignOp == "*=" ? x * y : x / y);
      }
      return;
    }
    int p[3] = {0, 0, 0};
    for (size_t i = 0; i < s.target.positions.size(); ++i) p[i] = whole(eval(*s.target.positions[i]));
    if (s.assignOp != "=") value = Extract(var, p[0], p[1], p[2]) + value;
    var = Replace(var, p[0], p[1], p[2], value);
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
        case Step::Stop: return;
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
          std::string& v = variable(s.target.variable);
          v = formatNumber(number(v) + number(eval(*s.args[0])));
          break;
        }
        case Step::Call: {
          std::vector<std::string> temporaries(s.args.size());
          std::vector<std::string*> refs;
          for (size_t i = 0; i < s.args.size(); ++i) {
            const Expr& arg = *s.args[i];
            if (arg.kind == Expr::Variable && arg.text[0] != '@') {
              refs.push_back(&variable(arg.text));
            } else {
              temporaries[i] = eval(arg);
              refs.push_back(&temporaries[i]);
            }
          }
          vm.callFrom(*this, s.target.variable, refs);
          break;
        }
      }
    }
  }
};

Interpreter::Interpreter(Loader loader, Output output, long maxSteps)
    : loader_(std::move(loader)), output_(std::move(output)), maxSteps_(maxSteps) {}

Interpreter::~Interpreter() = default;

std::shared_ptr<const CompiledProgram> Interpreter::compiled(const std::string& name, const std::string& source) {
  for (const auto& [cachedName, program] : cache_)
    if (cachedName == name) return program;
  auto program = std::make_shared<CompiledProgram>();
  program->name = name;
  try {
    Parser(tokenize(source), *program).parseProgram();
  } catch (const SyntaxError& e) {
    throw BasicError(name, e.line, "syntax error: " + e.cause);
  }
  program->name = name;
  cache_.emplace_back(name, program);
  return program;
}

void Interpreter::execute(const CompiledProgram& program, std::vector<std::string*> args, int depth) {
  if (args.size() != program.parameters.size())
    throw BasicError(program.name, 1, "called with " + std::to_string(args.size()) + " arguments, it takes " +
                                          std::to_string(program.parameters.size()));
  Frame frame{*this, program, std::move(args), {}, depth};
  frame.run();
}

void Interpreter::callFrom(Frame& caller, const std::string& name, std::vector<std::string*> args) {
  if (caller.depth > 100) caller.fail("CALL nested too deeply");
  std::optional<std::string> source = loader_ ? loader_(name) : std::nullopt;
  if (!source) caller.fail("no program " + name + " to CALL");
  execute(*compiled(name, *source), std::move(args), caller.depth + 1);
}

void Interpreter::call(const std::string& program, std::vector<std::string>& args) {
  std::optional<std::string> source = loader_ ? loader_(program) : std::nullopt;
  if (!source) throw BasicError(program, 0, "no such program");
  std::vector<std::string*> refs;
  for (std::string& a : args) refs.push_back(&a);
  execute(*compiled(program, *source), refs, 0);
}

void Interpreter::run(const std::string& name, const std::string& source, std::vector<std::string>& args) {
  std::vector<std::string*> refs;
  for (std::string& a : args) refs.push_back(&a);
  execute(*compiled(name, source), refs, 0);
}

}  // namespace pelorix::mv
