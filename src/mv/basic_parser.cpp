#include <algorithm>
#include <map>
#include <set>

#include "base/ascii_case.h"
#include "base/marks.h"
#include "mv/basic_interpreter.h"
#include "mv/basic_program.h"
#include "mv/basic_value.h"
#include "mv/conversions.h"

namespace pelorix::mv {

ExprPtr node(Expr::Kind kind, std::string text, int line) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->text = std::move(text);
  e->line = line;
  return e;
}

namespace {

using pelorix::upperAscii;

// ---- tokens ----

struct Token {
  enum Kind { Number, String, Name, Op, End } kind = End;
  std::string text;
  int line = 0;
  bool spaceBefore = false;
  std::shared_ptr<const std::string> include;  // the file and item it was included from
  int includeLine = 0;
  bool is(Kind k, const char* t) const { return kind == k && (kind == Name ? upperAscii(text) == t : text == t); }
  bool op(const char* t) const { return is(Op, t); }
  bool word(const char* t) const { return is(Name, t); }
};

struct SyntaxError {
  int line;
  std::string cause;
};

constexpr size_t kMaxTokens = 2'000'000;
constexpr int kMaxNesting = 200;     // statements and parentheses inside each other
constexpr int kMaxExprDepth = 1000;  // operators in one chain, "1+1+...+1"
constexpr int kMaxIncludeDepth = 10;

// Options of $OPTIONS that change nothing here: the flavour this host follows.
const std::set<std::string> kKnownOptions = {"DEFAULT", "INFORMATION", "IDEAL"};
// Directives that only concern the compiler or the catalogue.
const std::set<std::string> kIgnoredDirectives = {"$CATALOG", "$CATALOGUE", "$NOCATALOG", "$COPYRIGHT", "$NOXREF"};

// The words of the rest of a line, separated by blanks or commas, up to a ";".
std::vector<std::string> restOfLine(const std::string& source, size_t& i) {
  std::vector<std::string> words;
  std::string word;
  for (; i < source.size() && source[i] != '\n' && source[i] != kAttributeMark && source[i] != ';'; ++i) {
    char c = source[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else if (c != '"' && c != '\'') {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::vector<Token> tokenize(const std::string& source, const Includer& includer, int depth,
                            std::vector<CompiledProgram::Include>& includes) {
  std::vector<Token> out;
  int line = 1;
  size_t i = 0, n = source.size();
  bool statementStart = true;
  auto push = [&](Token::Kind kind, std::string text, bool space) {
    out.push_back({kind, std::move(text), line, space, nullptr, 0});
    statementStart = kind == Token::End;
  };
  while (i < n) {
    char c = source[i];
    bool space = i > 0 && (source[i - 1] == ' ' || source[i - 1] == '\t');
    if (c == '\n' || c == kAttributeMark) {  // source items keep their lines as attributes
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
    // A comment runs to the end of the line; it may follow a label.
    size_t count = out.size();
    bool afterLabel =
        (count >= 1 && out[count - 1].kind == Token::Number && (count == 1 || out[count - 2].kind == Token::End)) ||
        (count >= 2 && out[count - 1].op(":") && out[count - 2].kind != Token::Op &&
         (count == 2 || out[count - 3].kind == Token::End));
    bool commentMayStart = statementStart || afterLabel;
    bool rem = commentMayStart && upperAscii(source.substr(i, 4)) == "REM ";
    if (commentMayStart && (c == '*' || c == '!' || rem)) {
      while (i < n && source[i] != '\n' && source[i] != kAttributeMark) ++i;
      continue;
    }
    if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(source[i + 1]))) {
      size_t j = i;
      while (j < n && (isDigit(source[j]) || source[j] == '.')) ++j;
      push(Token::Number, source.substr(i, j - i), space);
      i = j;
      continue;
    }
    if (isLetter(c) || c == '@' || c == '$' || c == '_') {
      size_t j = i + 1;
      while (j < n && (isLetterOrDigit(source[j]) || source[j] == '.' || source[j] == '$' || source[j] == '_' ||
                       source[j] == '%'))
        ++j;
      std::string word = upperAscii(source.substr(i, j - i));
      size_t after = source.find_first_not_of(" \t", j);
      bool assigned = after != std::string::npos && (source[after] == '=' || source[after] == '<');
      if (statementStart && !assigned && (word == "$INCLUDE" || word == "$INSERT" || word == "INCLUDE")) {
        i = j;
        std::vector<std::string> words = restOfLine(source, i);
        if (words.empty() || words.size() > 2) throw SyntaxError{line, word + " takes an item, or a file and an item"};
        std::string file = words.size() == 2 ? words[0] : "BP", item = words.back();
        if (depth >= kMaxIncludeDepth) throw SyntaxError{line, word + " " + item + ": included more than 10 deep"};
        std::optional<std::string> included = includer ? includer(file, item) : std::nullopt;
        if (!included) throw SyntaxError{line, word + ": no item " + item + " in " + file};
        includes.push_back({file, item, *included});
        std::vector<Token> tokens;
        try {
          tokens = tokenize(*included, includer, depth + 1, includes);
        } catch (const SyntaxError& e) {
          throw SyntaxError{line, "in " + file + " " + item + " line " + std::to_string(e.line) + ": " + e.cause};
        }
        for (Token& t : tokens) {
          if (!t.include) {
            t.include = std::make_shared<const std::string>(file + " " + item);
            t.includeLine = t.line;
          }
          t.line = line;
        }
        out.insert(out.end(), tokens.begin(), tokens.end());
        if (out.size() > kMaxTokens) throw SyntaxError{line, "the program is too long"};
        continue;
      }
      if (statementStart && word[0] == '$' && !assigned) {
        i = j;
        std::vector<std::string> words = restOfLine(source, i);
        if (word == "$OPTIONS") {
          std::string unknown;
          for (const std::string& option : words)
            if (!kKnownOptions.count(upperAscii(option))) unknown += (unknown.empty() ? "" : ", ") + option;
          if (!unknown.empty()) throw SyntaxError{line, "$OPTIONS this host does not support: " + unknown};
        } else if (!kIgnoredDirectives.count(word)) {
          throw SyntaxError{line, "unknown directive " + word};
        }
        continue;
      }
      push(Token::Name, source.substr(i, j - i), space);
      i = j;
      continue;
    }
    if (c == '"' || c == '\'' || c == '\\') {
      size_t close = source.find(c, i + 1);
      size_t eol = source.find('\n', i + 1);
      if (close == std::string::npos || (eol != std::string::npos && eol < close))
        throw SyntaxError{line, "a text is not closed"};
      push(Token::String, source.substr(i + 1, close - i - 1), space);
      i = close + 1;
      continue;
    }
    // X++ and X-- as statements.
    if ((c == '+' || c == '-') && i + 1 < n && source[i + 1] == c && !out.empty() && out.back().kind == Token::Name &&
        (out.size() == 1 || out[out.size() - 2].kind == Token::End)) {
      size_t after = source.find_first_not_of(" \t\r", i + 2);
      if (after == std::string::npos || source[after] == '\n' || source[after] == ';' ||
          source[after] == kAttributeMark) {
        push(Token::Op, std::string(2, c), space);
        i += 2;
        continue;
      }
    }
    // "<", ">" and "=" stay single: X<2>="B" must close the extraction.
    static const char* twoChar[] = {"**", "+=", "-=", ":=", "*=", "/="};
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

// EQU name TO tokens: the name stands for those tokens wherever it appears
// later, so EQU SECOND TO X<2> reads X<2> each time.
std::vector<Token> substituteEquates(std::vector<Token> in) {
  std::map<std::string, std::vector<Token>> equates;
  std::vector<Token> out;
  out.reserve(in.size());
  bool start = true;
  for (size_t i = 0; i < in.size();) {
    const Token& t = in[i];
    if (start && t.kind == Token::Name && (upperAscii(t.text) == "EQU" || upperAscii(t.text) == "EQUATE") &&
        i + 1 < in.size() && in[i + 1].kind == Token::Name) {
      ++i;
      while (true) {
        if (i >= in.size() || in[i].kind != Token::Name) throw SyntaxError{t.line, "EQU expects a name"};
        std::string name = in[i++].text;
        if (i >= in.size() || !(in[i].is(Token::Name, "TO") || in[i].is(Token::Name, "LIT") || in[i].op("=")))
          throw SyntaxError{t.line, "expected TO or LIT after EQU " + name};
        ++i;
        std::vector<Token> body;
        int depth = 0;
        for (; i < in.size() && in[i].kind != Token::End; ++i) {
          if (in[i].op("(") || in[i].op("[")) ++depth;
          if (in[i].op(")") || in[i].op("]")) --depth;
          if (depth == 0 && in[i].op(",")) break;
          auto found = in[i].kind == Token::Name ? equates.find(in[i].text) : equates.end();
          if (found != equates.end())
            body.insert(body.end(), found->second.begin(), found->second.end());
          else
            body.push_back(in[i]);
          if (body.size() > kMaxTokens) throw SyntaxError{t.line, "EQU " + name + " is too long"};
        }
        if (body.empty()) throw SyntaxError{t.line, "EQU " + name + " has no value"};
        // An expression keeps its grouping; a single value or X<...> is used as it is.
        bool plain = body.size() == 1 || (body[0].kind == Token::Name && body[1].op("<") && body.back().op(">"));
        if (!plain) {
          body.insert(body.begin(), Token{Token::Op, "(", body[0].line, true, body[0].include, body[0].includeLine});
          body.push_back(Token{Token::Op, ")", body.back().line, false, body.back().include, body.back().includeLine});
        }
        equates[name] = std::move(body);
        if (i < in.size() && in[i].op(",")) {
          ++i;
          continue;
        }
        break;
      }
      continue;
    }
    auto found = t.kind == Token::Name ? equates.find(t.text) : equates.end();
    if (found != equates.end()) {
      for (Token copy : found->second) {
        copy.line = t.line;
        out.push_back(std::move(copy));
      }
      out.back().spaceBefore = out.back().spaceBefore;
      if (out.size() > kMaxTokens) throw SyntaxError{t.line, "the program is too long"};
    } else {
      out.push_back(t);
    }
    start = t.kind == Token::End || (t.op(":") && out.size() >= 2 && out[out.size() - 2].kind != Token::Op);
    ++i;
  }
  return out;
}

// @ variables this host knows; any other is refused when the program compiles.
const std::map<std::string, AtVar> kAtVariables = {{"@AM", AtVar::AM},
                                                   {"@FM", AtVar::AM},
                                                   {"@VM", AtVar::VM},
                                                   {"@SVM", AtVar::SVM},
                                                   {"@SM", AtVar::SVM},
                                                   {"@TM", AtVar::TM},
                                                   {"@IM", AtVar::IM},
                                                   {"@RM", AtVar::RM},
                                                   {"@TRUE", AtVar::True},
                                                   {"@FALSE", AtVar::False},
                                                   {"@DATE", AtVar::Date},
                                                   {"@TIME", AtVar::Time},
                                                   {"@DAY", AtVar::Day},
                                                   {"@MONTH", AtVar::Month},
                                                   {"@YEAR", AtVar::Year},
                                                   {"@USERNO", AtVar::UserNo},
                                                   {"@USER.NO", AtVar::UserNo},
                                                   {"@LOGNAME", AtVar::LogName},
                                                   {"@WHO", AtVar::Who},
                                                   {"@ACCOUNT", AtVar::Who},
                                                   {"@PATH", AtVar::Path},
                                                   {"@LEVEL", AtVar::Level},
                                                   {"@SELECTED", AtVar::Selected},
                                                   {"@SYSTEM.RETURN.CODE", AtVar::ReturnCode}};

const std::map<std::string, Op> kOperators = {{"+", Op::Add},
                                              {"-", Op::Sub},
                                              {"*", Op::Mul},
                                              {"/", Op::Div},
                                              {"^", Op::Pow},
                                              {":", Op::Cat},
                                              {"=", Op::Eq},
                                              {"#", Op::Ne},
                                              {"<", Op::Lt},
                                              {">", Op::Gt},
                                              {"<=", Op::Le},
                                              {">=", Op::Ge},
                                              {"MATCHES", Op::Matches},
                                              {"AND", Op::And},
                                              {"OR", Op::Or}};

const std::map<std::string, AssignOp> kAssignOps = {{"=", AssignOp::Set},  {"+=", AssignOp::Add},
                                                    {"-=", AssignOp::Sub}, {"*=", AssignOp::Mul},
                                                    {"/=", AssignOp::Div}, {":=", AssignOp::Cat}};

class Parser {
 public:
  Parser(std::vector<Token> tokens, CompiledProgram& program) : t_(std::move(tokens)), p_(program) {}

  void parseProgram() {
    skipEnds();
    if (peek().word("PROGRAM")) {  // a program without parameters
      next();
      p_.name = expectName("a program name");
    } else if (peek().word("SUBROUTINE") || peek().word("FUNCTION")) {
      p_.isFunction = peek().word("FUNCTION");
      next();
      p_.name = expectName(p_.isFunction ? "a function name" : "a subroutine name");
      if (peek().op("(")) {
        next();
        if (!peek().op(")")) do {
            bool matrix = acceptWord("MAT");
            p_.parameters.push_back(expectName("a parameter"));
            if (matrix) arrays_.insert(p_.parameters.back());
            p_.parameterArrays.push_back(matrix ? 0 : -1);
          } while (accept(","));
        expectOp(")");
      }
    }
    block({});
    if (peek().kind != Token::End) fail("unexpected " + describe(peek()));
    for (Step& s : p_.steps) {
      for (const std::string& l : s.labels) {
        auto found = labels_.find(l);
        if (found == labels_.end()) throw SyntaxError{s.line, "no label " + l};
        s.jumps.push_back(found->second);
      }
      if (s.label.empty()) continue;
      auto found = labels_.find(s.label);
      if (found == labels_.end()) throw SyntaxError{s.line, "no label " + s.label};
      s.jump = found->second;
    }
    resolve();
  }

 private:
  // ---- variables become slots, the parameters first ----
  int slotOf(const std::string& name) {
    auto [at, added] = slots_.try_emplace(name, static_cast<int>(p_.variables.size()));
    if (added) p_.variables.push_back(name);
    return at->second;
  }
  int arraySlotOf(const std::string& name) {
    auto [at, added] = arraySlots_.try_emplace(name, static_cast<int>(p_.arrays.size()));
    if (added) p_.arrays.push_back(name);
    return at->second;
  }
  void resolve(Expr* e) {
    if (!e) return;
    if (e->kind == Expr::Variable) e->slot = slotOf(e->text);
    if (e->kind == Expr::Element || e->kind == Expr::Matrix) e->slot = arraySlotOf(e->text);
    for (auto& arg : e->args) resolve(arg.get());
  }
  void resolve() {
    for (const std::string& p : p_.parameters) slotOf(p);
    if (slots_.size() != p_.parameters.size()) throw SyntaxError{1, "a parameter is named twice"};
    for (size_t i = 0; i < p_.parameters.size(); ++i)
      if (p_.parameterArrays[i] >= 0) p_.parameterArrays[i] = arraySlotOf(p_.parameters[i]);
    p_.statusSlot = slotOf(kStatusVariable);
    for (auto& c : p_.commons)
      for (size_t i = 0; i < c.variables.size(); ++i)
        c.slots.push_back(c.rows[i] ? arraySlotOf(c.variables[i]) : slotOf(c.variables[i]));
    for (Step& s : p_.steps) {
      bool onArray = !s.target.indices.empty() || s.kind == Step::Dim || s.kind == Step::MatAssign ||
                     s.verb == Verb::MatRead || s.verb == Verb::MatWrite || s.verb == Verb::MatParse;
      if (onArray)
        s.target.slot = arraySlotOf(s.target.variable);
      else if (s.kind != Step::Call && !s.target.variable.empty())
        s.target.slot = slotOf(s.target.variable);
      for (auto& e : s.target.indices) resolve(e.get());
      resolve(s.from.get());
      resolve(s.expr.get());
      for (auto& e : s.target.positions) resolve(e.get());
      for (auto& e : s.target.substring) resolve(e.get());
      for (auto& e : s.args) resolve(e.get());
    }
  }

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
  [[noreturn]] void fail(const std::string& cause) const {
    const Token& t = peek();
    if (t.include)
      throw SyntaxError{t.line, "in " + *t.include + " line " + std::to_string(t.includeLine) + ": " + cause};
    throw SyntaxError{t.line, cause};
  }
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
    p_.steps.emplace_back();
    p_.steps.back().kind = kind;
    p_.steps.back().line = line;
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
        std::string w = upperAscii(t.text);
        for (const std::string& s : stops) {
          if (s == w) return;
          if (s == "END CASE" && w == "END" && peek(1).word("CASE")) return;
          if (s == "END TRANSACTION" && w == "END" && peek(1).word("TRANSACTION")) return;
        }
      }
      statement();
    }
  }

  // Statements up to the end of the line or an ELSE, for one-line THEN / ELSE.
  void lineStatements() {
    while (!atEnd() && !peek().word("ELSE") && !peek().word("THEN") && !peek().word("LOCKED") && !onError()) {
      statement();
      if (peek().text == ";") ++pos_;
    }
  }

  void label(const std::string& name) {
    if (labels_.count(name)) fail("label " + name + " is defined twice");
    labels_[name] = here();
  }

  struct Nest {
    Parser& p;
    explicit Nest(Parser& parser) : p(parser) {
      if (++p.nesting_ > kMaxNesting) p.fail("nested more than " + std::to_string(kMaxNesting) + " deep");
    }
    ~Nest() { --p.nesting_; }
  };

  void statement() {
    Nest nest(*this);
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
    std::string w = upperAscii(t.text);
    if (arrays_.count(t.text) && peek(1).op("(")) return assign();
    if (peek(1).op("++") || peek(1).op("--")) {  // X++, X--
      Step& s = emit(Step::Assign, line);
      s.target.variable = next().text;
      s.assignOp = next().text == "++" ? AssignOp::Add : AssignOp::Sub;
      s.expr = literal("1", line);
      return;
    }
    bool assignment = peek(1).op("=") || peek(1).op("+=") || peek(1).op("-=") || peek(1).op(":=") || peek(1).op("*=") ||
                      peek(1).op("/=") ||
                      ((peek(1).op("<") || (peek(1).op("[") && !peek(1).spaceBefore)) && !isKeyword(w));
    if (assignment) return assign();
    next();
    if (w == "IF") return ifStatement(line);
    if (w == "BEGIN") {
      if (acceptWord("TRANSACTION")) return transactionStatement(line);
      if (!acceptWord("CASE")) fail("expected CASE or TRANSACTION after BEGIN");
      return caseStatement(line);
    }
    if (w == "COMMIT" || w == "ROLLBACK") {
      if (transactionEnds_.empty()) fail(w + " outside BEGIN TRANSACTION ... END TRANSACTION");
      acceptWord("WORK");
      int at = emitStatement(w == "COMMIT" ? Verb::Commit : Verb::Rollback, line);
      clauses(at, line);
      transactionEnds_.back().push_back(here());
      emit(Step::Jump, line);
      return;
    }
    if (w == "FOR") return forStatement(line);
    if (w == "LOOP") return loopStatement(line);
    if (w == "GO") acceptWord("TO");
    if (w == "GOSUB" || w == "GOTO" || w == "GO") {
      Step& s = emit(w == "GOSUB" ? Step::Gosub : Step::Jump, line);
      if (peek().kind != Token::Name && peek().kind != Token::Number) fail("expected a label");
      s.label = next().text;
      accept(":");
      return;
    }
    if (w == "RETURN") {
      Step& s = emit(Step::Return, line);
      if (acceptWord("TO")) {  // RETURN TO label: back from the GOSUB, on at the label
        if (peek().kind != Token::Name && peek().kind != Token::Number) fail("expected a label after RETURN TO");
        s.label = next().text;
        accept(":");
      } else if (p_.isFunction && !atEnd() && !peek().word("ELSE")) {
        s.expr = expression();
      }
      return;
    }
    if (w == "PRECISION") {  // only the precision numbers print with
      if (peek().kind != Token::Number) fail("PRECISION takes a number");
      std::string digits = next().text;
      if (digits != "4") fail("PRECISION " + digits + " is not available: numbers print with 4 decimals");
      return;
    }
    if (w == "ON") {  // ON index GOTO / GOSUB label, label, ...
      Step& s = emit(Step::OnJump, line);
      s.args.push_back(expression());
      if (acceptWord("GOSUB"))
        s.option = "GOSUB";
      else if (acceptWord("GOTO") || (acceptWord("GO") && (acceptWord("TO"), true)))
        s.option = "GOTO";
      else
        fail("expected GOTO or GOSUB after ON");
      do {
        if (peek().kind != Token::Name && peek().kind != Token::Number) fail("expected a label");
        s.labels.push_back(next().text);
        accept(":");
      } while (accept(","));
      return;
    }
    if (w == "REMOVE") {  // REMOVE element FROM array SETTING delimiter
      Step& s = emit(Step::Assign, line);
      s.target.variable = expectName("a variable");
      if (!acceptWord("FROM")) fail("expected FROM");
      auto e = node(Expr::Function, "REMOVE", line);
      e->function = findFunction("REMOVE");
      e->args.push_back(node(Expr::Variable, expectName("a dynamic array"), line));
      if (!acceptWord("SETTING")) fail("expected SETTING");
      e->args.push_back(node(Expr::Variable, expectName("a variable for the delimiter"), line));
      s.expr = std::move(e);
      return;
    }
    // Parsed so that a program compiles, refused when it runs: a HotSync has
    // no terminal and no printer.
    if (w == "INPUT" || w == "INPUTNULL" || w == "INPUTCLEAR" || w == "PROMPT" || w == "INPUTIF" || w == "DATA" ||
        w == "PRINTERR")
      return refuseWhenRun(line, w + " is not available: a HotSync has no terminal");
    if (w == "HEADING" || w == "FOOTING" || w == "PAGE" || (w == "PRINT" && peek().word("ON")))
      return refuseWhenRun(line, w + (w == "PRINT" ? " ON" : "") + " is not available: a HotSync has no printer");
    if (w == "PRINTER") {
      if (peek().word("ON")) return refuseWhenRun(line, "PRINTER ON is not available: a HotSync has no printer");
      if (!acceptWord("OFF") && !acceptWord("CLOSE")) fail("expected ON, OFF or CLOSE after PRINTER");
      return;  // output goes where it goes already
    }
    // Without a terminal these change nothing.
    if (w == "HUSH" || w == "ECHO" || w == "BREAK") {
      if (w == "BREAK") acceptWord("KEY");
      if (!acceptWord("ON") && !acceptWord("OFF")) fail("expected ON or OFF after " + w);
      return;
    }
    if (w == "CLEARDATA") return;       // nothing is ever stacked
    if (w == "COMMON" || w == "COM") {  // COMMON [/name/] A, B: shared by the programs of one call
      CompiledProgram::Common common;
      common.line = line;
      if (accept("/")) {
        common.block = upperAscii(expectName("the name of the COMMON block"));
        expectOp("/");
      }
      do {
        std::string name = expectName("a variable");
        if (std::find(p_.parameters.begin(), p_.parameters.end(), name) != p_.parameters.end())
          fail(name + " is a parameter and cannot be in COMMON");
        int rows = 0, columns = 0;
        if (accept("(")) {  // COMMON A(10): the declaration dimensions it, with numbers
          if (arrays_.count(name)) fail(name + " is dimensioned already and cannot be in COMMON");
          rows = commonSize(name);
          if (accept(",")) columns = commonSize(name);
          expectOp(")");
          arrays_.insert(name);
          commonArrays_.insert(name);
        }
        common.variables.push_back(name);
        common.rows.push_back(rows);
        common.columns.push_back(columns);
      } while (accept(","));
      // A block declared in several statements goes on where the last left off.
      auto same = std::find_if(p_.commons.begin(), p_.commons.end(),
                               [&](const CompiledProgram::Common& c) { return c.block == common.block; });
      if (same == p_.commons.end()) {
        p_.commons.push_back(std::move(common));
      } else {
        same->variables.insert(same->variables.end(), common.variables.begin(), common.variables.end());
        same->rows.insert(same->rows.end(), common.rows.begin(), common.rows.end());
        same->columns.insert(same->columns.end(), common.columns.begin(), common.columns.end());
      }
      return;
    }
    if (w == "DIM" || w == "DIMENSION") {  // DIM A(n[,m]), ...
      do {
        Step& s = emit(Step::Dim, line);
        s.target.variable = expectName("an array name");
        if (commonArrays_.count(s.target.variable))
          fail(s.target.variable + " is in COMMON, which dimensions it: it cannot be dimensioned again");
        expectOp("(");
        s.args.push_back(expression());
        if (accept(",")) s.args.push_back(expression());
        expectOp(")");
        arrays_.insert(s.target.variable);
      } while (accept(","));
      return;
    }
    if (w == "MAT") {  // MAT A = value, MAT A = MAT B
      Step& s = emit(Step::MatAssign, line);
      s.target.variable = arrayName();
      expectOp("=");
      if (acceptWord("MAT"))
        s.expr = node(Expr::Matrix, arrayName(), line);
      else
        s.expr = expression();
      return;
    }
    if (w == "DEFFUN") {  // DEFFUN NAME(A, B) [CALLING "PROGRAM"]
      std::string name = expectName("a function name");
      int arity = 0;
      if (accept("(")) {
        if (!peek().op(")")) do {
            acceptWord("MAT");
            expectName("a parameter");
            ++arity;
          } while (accept(","));
        expectOp(")");
      }
      std::string calling = name;
      if (acceptWord("CALLING")) {
        if (peek().kind != Token::String && peek().kind != Token::Name)
          fail("expected the program's name after CALLING");
        calling = next().text;
      }
      userFunctions_[upperAscii(name)] = {arity, calling};
      return;
    }
    if (w == "STOP" || w == "END") {
      Step& s = emit(Step::Stop, line);
      if (w == "STOP" && !atEnd() && !peek().word("ELSE")) s.expr = message();
      return;
    }
    if (w == "ABORT") {
      Step& s = emit(Step::Abort, line);
      s.expr = atEnd() || peek().word("ELSE") ? literal("", line) : message();
      return;
    }
    if (w == "CRT" || w == "PRINT" || w == "DISPLAY") {
      Step& s = emit(Step::Print, line);
      s.expr = atEnd() || peek().word("ELSE") ? literal("", line) : expression();
      // A ":" at the end: the next output continues the line.
      if (peek().op(":") && (peek(1).kind == Token::End || peek(1).word("ELSE"))) {
        next();
        s.option = ":";
      }
      return;
    }
    if (w == "CONVERT") {  // CONVERT from TO to IN variable
      Step& s = emit(Step::Assign, line);
      auto e = node(Expr::Function, "CONVERT", line);
      e->function = findFunction("CONVERT");
      e->args.push_back(expression());
      if (!acceptWord("TO")) fail("expected TO in CONVERT");
      e->args.push_back(expression());
      if (!acceptWord("IN")) fail("expected IN in CONVERT");
      s.target.variable = expectName("a variable");
      e->args.push_back(node(Expr::Variable, s.target.variable, line));
      s.expr = std::move(e);
      return;
    }
    if (w == "CALL") {
      Step& s = emit(Step::Call, line);
      s.label.clear();
      s.target.variable = expectName("a subroutine name");
      // CALL @NAME: the subroutine whose name NAME holds.
      if (s.target.variable.size() > 1 && s.target.variable[0] == '@')
        s.expr = node(Expr::Variable, s.target.variable.substr(1), line);
      if (accept("(")) s.args = callArguments();
      return;
    }
    if (w == "EXIT") {
      if (loops_.empty()) fail("EXIT outside a loop");
      loops_.back().push_back(here());
      emit(Step::Jump, line);
      return;
    }
    if (w == "CONTINUE") {
      if (continues_.empty()) fail("CONTINUE outside a loop");
      continues_.back().push_back(here());
      emit(Step::Jump, line);
      return;
    }
    if (w == "NULL") return;
    if (fileStatement(w, line)) return;
    fail("unknown statement " + t.text);
  }

  // A statement that compiles but fails the call when it runs; its operands are skipped.
  void refuseWhenRun(int line, std::string cause) {
    Step& s = emit(Step::Refuse, line);
    s.option = std::move(cause);
    // Up to an ELSE that belongs to the IF around it, not to the statement's own THEN.
    for (bool then = false; !atEnd() && (then || !peek().word("ELSE")); next()) then = then || peek().word("THEN");
  }

  // STOP's and ABORT's message; the Pick form, a message number and its
  // arguments (STOP 201, 'CUST'), joined by blanks.
  ExprPtr message() {
    ExprPtr text = expression();
    while (accept(",")) {
      int line = peek().line;
      text = binary(binary(std::move(text), ":", literal(" ", line)), ":", expression());
    }
    return text;
  }

  int commonSize(const std::string& name) {
    if (peek().kind != Token::Number || peek().text.find('.') != std::string::npos || peek().text.size() > 6 ||
        std::stoi(peek().text) < 1)
      fail("COMMON " + name + "( ) takes whole numbers from 1 to 999999");
    return std::stoi(next().text);
  }

  static bool isKeyword(const std::string& w) {
    static const char* words[] = {"IF",   "CRT", "PRINT", "RETURN", "GOSUB",    "GOTO",
                                  "CALL", "FOR", "LOOP",  "END",    "CONTINUE", "ABORT"};
    return std::find(std::begin(words), std::end(words), w) != std::end(words);
  }

  std::string arrayName() {
    std::string name = expectName("an array");
    if (!arrays_.count(name)) fail(name + " is not a dimensioned array");
    return name;
  }

  void assign() {
    int line = peek().line;
    Target target;
    target.variable = next().text;
    if (arrays_.count(target.variable)) {
      expectOp("(");
      target.indices.push_back(expression());
      if (accept(",")) target.indices.push_back(expression());
      expectOp(")");
    }
    if (accept("<")) {
      do target.positions.push_back(expression(true));
      while (accept(","));
      expectOp(">");
      if (target.positions.size() > 3) fail("at most three positions in <>");
    }
    if (target.positions.empty() && accept("[")) {  // X[start, length] = value
      target.substring.push_back(expression());
      if (!accept(",")) fail(target.variable + "[n] = value is not available: give a start and a length");
      target.substring.push_back(expression());
      if (peek().op(",")) fail(target.variable + "[delimiter, occurrence, count] = value is not available");
      expectOp("]");
      if (!peek().op("=")) fail("expected = after " + target.variable + "[start, length]");
    }
    auto op = kAssignOps.find(next().text);
    if (op == kAssignOps.end()) fail("expected =");
    Step& s = emit(Step::Assign, line);
    s.target = std::move(target);
    s.assignOp = op->second;
    s.expr = expression();
    // S = S : X appends to S in place, so that building a text stays linear.
    if (s.assignOp == AssignOp::Set && s.target.positions.empty()) {
      ExprPtr *link = &s.expr, *parent = nullptr;
      while ((*link)->kind == Expr::Binary && (*link)->op == Op::Cat) {
        parent = link;
        link = &(*link)->args[0];
      }
      if (parent && (*link)->kind == Expr::Variable && (*link)->text == s.target.variable) {
        ExprPtr rest = std::move((*parent)->args[1]);
        *parent = std::move(rest);
        s.assignOp = AssignOp::Cat;
      }
    }
  }

  void ifStatement(int line) {
    ExprPtr cond = expression();
    thenElse(std::move(cond), line);
  }

  // A THEN or ELSE part: the rest of the line, or the lines up to END.
  void clauseBody(const char* what) {
    if (atEnd()) {
      block({"END"});
      if (!acceptWord("END")) fail(std::string(what) + " has no END");
    } else {
      lineStatements();
    }
  }

  void thenElse(ExprPtr cond, int line) {
    bool hasThen = acceptWord("THEN");
    if (!hasThen && !peek().word("ELSE")) fail("expected THEN or ELSE");
    int test = here();
    emit(hasThen ? Step::JumpIfFalse : Step::JumpIfTrue, line).expr = std::move(cond);
    int jumpEnd = -1;
    if (hasThen) {
      clauseBody("THEN");
      if (peek().word("ELSE")) {
        jumpEnd = here();
        emit(Step::Jump, line);
      }
      p_.steps[test].jump = here();
    }
    if (acceptWord("ELSE")) clauseBody("ELSE");
    if (!hasThen) p_.steps[test].jump = here();
    if (jumpEnd >= 0) p_.steps[jumpEnd].jump = here();
  }

  // ";" ends a statement, except inside LOCATE( ... ).
  bool acceptSemicolon() {
    if (peek().kind != Token::End || peek().text != ";") return false;
    ++pos_;
    return true;
  }

  bool onError() const { return peek().word("ON") && peek(1).word("ERROR"); }

  ExprPtr statusIs(char status, int line) {
    auto e = node(Expr::Binary, "=", line);
    e->op = Op::Eq;
    e->args.push_back(node(Expr::Variable, kStatusVariable, line));
    e->args.push_back(literal(std::string(1, status), line));
    return e;
  }

  // The clauses after a statement that succeeds or not; LOCKED runs when
  // another process holds the item READU asked for.
  void clauses(int statementStep, int line) {
    std::vector<int> ends;
    while (onError() || peek().word("LOCKED")) {
      char status = kStatusLocked;
      if (onError()) {
        next();
        p_.steps[static_cast<size_t>(statementStep)].onError = true;
        status = kStatusError;
      } else {
        p_.steps[static_cast<size_t>(statementStep)].onLocked = true;
      }
      next();
      int test = here();
      emit(Step::JumpIfFalse, line).expr = statusIs(status, line);
      clauseBody(status == kStatusError ? "ON ERROR" : "LOCKED");
      ends.push_back(here());
      emit(Step::Jump, line);
      p_.steps[static_cast<size_t>(test)].jump = here();
    }
    if (peek().word("THEN") || peek().word("ELSE")) thenElse(statusIs(kStatusOk, line), line);
    for (int e : ends) p_.steps[static_cast<size_t>(e)].jump = here();
  }

  int emitStatement(Verb verb, int line) {
    emit(Step::Statement, line).verb = verb;
    return here() - 1;
  }
  Step& step(int index) { return p_.steps[static_cast<size_t>(index)]; }

  // X or X<a,v,s> as the target of DEL and INS.
  Target positionedTarget() {
    Target target;
    target.variable = expectName("a variable");
    if (accept("<")) {
      do target.positions.push_back(expression(true));
      while (accept(","));
      expectOp(">");
      if (target.positions.size() > 3) fail("at most three positions in <>");
    }
    return target;
  }

  // A select list: a number (list 0 when none is given) or a variable.
  void listName(Step& s) {
    s.option = "#0";
    if (peek().kind == Token::Number)
      s.option = "#" + next().text;
    else if (peek().kind == Token::Name && !peek().word("THEN") && !peek().word("ELSE") && !onError())
      s.target.variable = next().text;
  }

  bool fileStatement(const std::string& w, int line) {
    if (w == "OPEN") {
      int at = emitStatement(Verb::Open, line);
      ExprPtr name = expression();
      if (accept(",")) {  // OPEN dict, name: "" or "DICT"
        step(at).args.push_back(std::move(name));
        name = expression();
      }
      step(at).args.insert(step(at).args.begin(), std::move(name));
      if (!acceptWord("TO")) fail("expected TO after the file name");
      step(at).target.variable = expectName("a file variable");
      clauses(at, line);
      return true;
    }
    if (w == "MATREAD" || w == "MATREADU") {  // MATREAD A FROM file, id
      int at = emitStatement(Verb::MatRead, line);
      step(at).lock = w == "MATREADU";
      step(at).target.variable = arrayName();
      if (!acceptWord("FROM")) fail("expected FROM");
      step(at).args.push_back(expression());
      expectOp(",");
      step(at).args.push_back(expression());
      clauses(at, line);
      return true;
    }
    if (w == "MATBUILD") {  // MATBUILD dyn FROM A[, start[, end]] [USING delimiter]
      int at = emitStatement(Verb::MatBuild, line);
      step(at).target.variable = expectName("a variable for the dynamic array");
      if (!acceptWord("FROM")) fail("expected FROM");
      step(at).args.push_back(node(Expr::Matrix, arrayName(), line));
      if (accept(",")) {
        step(at).args.push_back(expression());
        if (accept(",")) step(at).args.push_back(expression());
      }
      if (acceptWord("USING")) step(at).expr = expression();
      return true;
    }
    if (w == "MATPARSE") {  // MATPARSE A FROM dyn[, delimiter], or USING delimiter
      int at = emitStatement(Verb::MatParse, line);
      step(at).target.variable = arrayName();
      if (peek().op(",")) fail("MATPARSE into a part of an array (a start and an end) is not available");
      if (!acceptWord("FROM")) fail("expected FROM");
      step(at).args.push_back(expression());
      if (accept(",") || acceptWord("USING")) step(at).expr = expression();
      if (peek().word("SETTING")) fail("MATPARSE ... SETTING is not available: INMAT() gives the count");
      if (step(at).expr && step(at).expr->kind == Expr::Literal && step(at).expr->text.size() != 1)
        fail("MATPARSE takes a delimiter of one character, not \"" + step(at).expr->text + "\"");
      return true;
    }
    if (w == "MATWRITE" || w == "MATWRITEU") {  // MATWRITE A ON file, id
      int at = emitStatement(Verb::MatWrite, line);
      step(at).target.variable = arrayName();
      if (!acceptWord("ON") && !acceptWord("TO")) fail("expected ON or TO");
      step(at).args.push_back(expression());
      expectOp(",");
      step(at).args.push_back(expression());
      clauses(at, line);
      return true;
    }
    if (w == "READ" || w == "READU" || w == "READV" || w == "READVU") {
      bool v = w == "READV" || w == "READVU";
      int at = emitStatement(v ? Verb::ReadV : Verb::Read, line);
      step(at).lock = w == "READU" || w == "READVU";
      step(at).target.variable = expectName("a variable to read into");
      if (!acceptWord("FROM")) fail("expected FROM");
      step(at).args.push_back(expression());
      expectOp(",");
      step(at).args.push_back(expression());
      if (v) {
        expectOp(",");
        step(at).args.push_back(expression());
      }
      clauses(at, line);
      return true;
    }
    if (w == "WRITE" || w == "WRITEU" || w == "WRITEV" || w == "WRITEVU") {
      bool v = w == "WRITEV" || w == "WRITEVU";
      int at = emitStatement(v ? Verb::WriteV : Verb::Write, line);
      step(at).args.push_back(expression());
      if (!acceptWord("ON") && !acceptWord("TO")) fail("expected ON or TO");
      step(at).args.push_back(expression());
      expectOp(",");
      step(at).args.push_back(expression());
      if (v) {
        expectOp(",");
        step(at).args.push_back(expression());
      }
      clauses(at, line);
      return true;
    }
    if (w == "DELETE") {
      int at = emitStatement(Verb::DeleteItem, line);
      step(at).args.push_back(expression());
      expectOp(",");
      step(at).args.push_back(expression());
      clauses(at, line);
      return true;
    }
    if (w == "SELECT" || w == "SSELECT") {  // items come sorted either way
      int at = emitStatement(Verb::Select, line);
      step(at).args.push_back(expression());
      step(at).option = "#0";
      if (acceptWord("TO")) listName(step(at));
      clauses(at, line);
      return true;
    }
    if (w == "READNEXT" || w == "READLIST") {  // READNEXT id[, value[, subvalue]] / READLIST var [FROM list]
      int at = emitStatement(w == "READNEXT" ? Verb::ReadNext : Verb::ReadList, line);
      step(at).target.variable = expectName(w == "READNEXT" ? "a variable for the id" : "a variable for the list");
      if (w == "READNEXT" && accept(",")) {
        step(at).expr = node(Expr::Variable, expectName("a variable for the value position"), line);
        if (accept(",")) step(at).from = node(Expr::Variable, expectName("a variable for the subvalue position"), line);
      }
      step(at).option = "#0";
      if (acceptWord("FROM")) {
        Step scratch;
        listName(scratch);
        step(at).option = scratch.option;
        if (!scratch.target.variable.empty())
          step(at).args.push_back(node(Expr::Variable, scratch.target.variable, line));
      }
      clauses(at, line);
      return true;
    }
    if (w == "EXECUTE" || w == "PERFORM") {  // EXECUTE "SELECT ..." [RTNLIST variable]
      int at = emitStatement(Verb::Execute, line);
      step(at).args.push_back(expression());
      if (acceptWord("RTNLIST")) step(at).from = node(Expr::Variable, expectName("a list variable"), line);
      if (peek().word("CAPTURING") || peek().word("RETURNING") || peek().word("PASSLIST") || peek().word("SETTING"))
        fail(w + " ... " + upperAscii(peek().text) + " is not available");
      if (!atEnd() && !peek().word("ELSE") && !peek().word("THEN"))
        fail(w + " takes a command and RTNLIST only, not " + describe(peek()));
      return true;
    }
    if (w == "OPENSEQ") {  // OPENSEQ path TO f, or OPENSEQ file, item TO f
      int at = emitStatement(Verb::OpenSeq, line);
      step(at).args.push_back(expression());
      if (accept(",")) step(at).args.push_back(expression());
      if (!acceptWord("TO")) fail("expected TO");
      step(at).target.variable = expectName("a file variable");
      clauses(at, line);
      return true;
    }
    if (w == "READSEQ") {  // READSEQ var FROM f
      int at = emitStatement(Verb::ReadSeq, line);
      step(at).target.variable = expectName("a variable to read into");
      if (!acceptWord("FROM")) fail("expected FROM");
      step(at).args.push_back(expression());
      clauses(at, line);
      return true;
    }
    if (w == "WRITESEQ") {  // WRITESEQ value ON f
      int at = emitStatement(Verb::WriteSeq, line);
      step(at).args.push_back(expression());
      if (!acceptWord("ON") && !acceptWord("TO")) fail("expected ON or TO");
      step(at).args.push_back(expression());
      clauses(at, line);
      return true;
    }
    if (w == "WEOFSEQ" || w == "CLOSESEQ") {
      int at = emitStatement(w == "WEOFSEQ" ? Verb::WeofSeq : Verb::CloseSeq, line);
      step(at).args.push_back(expression());
      clauses(at, line);
      return true;
    }
    if (w == "FORMLIST" || w == "GETLIST") {  // FORMLIST ids / GETLIST name, [TO list]
      int at = emitStatement(w == "FORMLIST" ? Verb::FormList : Verb::GetList, line);
      step(at).args.push_back(expression());
      step(at).option = "#0";
      if (acceptWord("TO")) listName(step(at));
      clauses(at, line);
      return true;
    }
    if (w == "WRITELIST") {  // WRITELIST ids ON name: into &SAVEDLISTS&, for GETLIST
      int at = emitStatement(Verb::WriteList, line);
      step(at).args.push_back(expression());
      if (!acceptWord("ON")) fail("expected ON after WRITELIST's list");
      step(at).args.push_back(expression());
      clauses(at, line);
      return true;
    }
    if (w == "SAVELIST") fail("SAVELIST is not available: WRITELIST ids ON name saves a list");
    if (w == "CLEARSELECT") {
      int at = emitStatement(Verb::ClearSelect, line);
      if (acceptWord("ALL"))
        step(at).option = "ALL";
      else
        listName(step(at));
      return true;
    }
    if (w == "LOCATE") {
      locateStatement(line);
      return true;
    }
    if (w == "DEL") {
      int at = emitStatement(Verb::Del, line);
      step(at).target = positionedTarget();
      return true;
    }
    if (w == "INS") {
      int at = emitStatement(Verb::Ins, line);
      step(at).expr = expression();
      if (!acceptWord("BEFORE")) fail("expected BEFORE");
      step(at).target = positionedTarget();
      return true;
    }
    if (w == "RELEASE") {  // RELEASE [file [, id]]
      int at = emitStatement(Verb::Release, line);
      if (!atEnd() && !peek().word("ELSE") && !peek().word("THEN")) {
        step(at).args.push_back(expression());
        if (accept(",")) step(at).args.push_back(expression());
      }
      return true;
    }
    if (w == "FIND" || w == "FINDSTR") {  // FIND x IN array[, occurrence] SETTING f[, v[, s]]
      int at = emitStatement(Verb::Find, line);
      if (w == "FINDSTR") step(at).option = "STR";
      step(at).args.push_back(expression());
      if (!acceptWord("IN")) fail("expected IN");
      step(at).args.push_back(expression());
      if (accept(",")) step(at).args.push_back(expression());
      if (!acceptWord("SETTING")) fail("expected SETTING");
      step(at).target.variable = expectName("a variable for the attribute");
      if (accept(",")) {
        step(at).expr = node(Expr::Variable, expectName("a variable for the value"), line);
        if (accept(",")) step(at).from = node(Expr::Variable, expectName("a variable for the subvalue"), line);
      }
      clauses(at, line);
      return true;
    }
    if (w == "CLEAR") {
      emitStatement(Verb::Clear, line);
      return true;
    }
    if (w == "SLEEP" || w == "RQM") {  // SLEEP [seconds], 1 when none is given
      int at = emitStatement(Verb::Sleep, line);
      step(at).args.push_back(atEnd() || peek().word("ELSE") ? literal("1", line) : expression());
      return true;
    }
    if (w == "CLOSE") {  // nothing is held open
      while (!atEnd() && !peek().word("ELSE")) next();
      return true;
    }
    return false;
  }

  // LOCATE's order: a text checked now, or an expression checked when it runs.
  void order(Step& s) {
    if (peek().kind != Token::String || (peek(1).kind != Token::End && !peek(1).word("SETTING") && !peek(1).op(")"))) {
      s.expr = expression();
      return;
    }
    std::string by = upperAscii(next().text);
    if (by != "AL" && by != "AR" && by != "DL" && by != "DR") fail("LOCATE BY takes \"AL\", \"AR\", \"DL\" or \"DR\"");
    s.option = by;
  }

  // LOCATE x IN array<a,v> [BY order] SETTING pos, or LOCATE(x, array, a, v; pos; order).
  void locateStatement(int line) {
    int at = emitStatement(Verb::Locate, line);
    if (accept("(")) {
      step(at).args.push_back(expression());
      expectOp(",");
      step(at).args.push_back(expression());
      while (accept(",")) step(at).args.push_back(expression());
      if (!acceptSemicolon()) fail("expected \";\" before the position variable");
      step(at).target.variable = expectName("a variable for the position");
      if (acceptSemicolon()) order(step(at));
      expectOp(")");
    } else {
      step(at).args.push_back(expression());
      if (!acceptWord("IN")) fail("expected IN");
      step(at).args.push_back(node(Expr::Variable, expectName("a dynamic array"), line));
      if (accept("<")) {
        do step(at).args.push_back(expression(true));
        while (accept(","));
        expectOp(">");
      }
      if (accept(",")) step(at).from = expression();  // the element to start from
      if (acceptWord("BY")) order(step(at));
      if (!acceptWord("SETTING")) fail("expected SETTING");
      step(at).target.variable = expectName("a variable for the position");
    }
    if (step(at).args.size() > 4) fail("LOCATE takes at most two positions");
    clauses(at, line);
  }

  void transactionStatement(int line) {
    if (peek().word("ISOLATION")) fail("BEGIN TRANSACTION ISOLATION LEVEL is not available");
    if (!transactionEnds_.empty()) fail("BEGIN TRANSACTION inside a transaction is not available");
    emitStatement(Verb::BeginTransaction, line);
    transactionEnds_.emplace_back();
    block({"END TRANSACTION"});
    int end = peek().line;
    if (!acceptWord("END") || !acceptWord("TRANSACTION")) fail("BEGIN TRANSACTION has no END TRANSACTION");
    emitStatement(Verb::EndTransaction, end);
    for (int e : transactionEnds_.back()) step(e).jump = here();
    transactionEnds_.pop_back();
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
    st.expr = acceptWord("STEP") ? expression() : literal("1", line);
    // FOR ... WHILE / UNTIL condition: tested after the limit, each time round.
    ExprPtr condition;
    bool whileCondition = peek().word("WHILE");
    if (acceptWord("WHILE") || acceptWord("UNTIL")) condition = expression();
    int test = here();
    Step& t = emit(Step::ForTest, line);
    t.target.variable = var;
    t.label.clear();
    t.args.push_back(node(Expr::Variable, limit, line));
    t.args.push_back(node(Expr::Variable, step, line));
    loops_.emplace_back();
    continues_.emplace_back();
    if (condition) {
      loops_.back().push_back(here());
      emit(whileCondition ? Step::JumpIfFalse : Step::JumpIfTrue, line).expr = std::move(condition);
    }
    block({"NEXT"});
    if (!acceptWord("NEXT")) fail("FOR has no NEXT");
    if (peek().kind == Token::Name) next();
    for (int c : continues_.back()) p_.steps[c].jump = here();
    continues_.pop_back();
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
    continues_.emplace_back();
    while (true) {
      block({"WHILE", "UNTIL", "REPEAT"});
      if (acceptWord("REPEAT")) break;
      bool isWhile = peek().word("WHILE");
      if (!isWhile && !peek().word("UNTIL")) fail("LOOP has no REPEAT");
      int l = next().line;
      ExprPtr condition;
      if (peek().word("READNEXT") || peek().word("READSEQ")) {  // WHILE READNEXT ID DO: true when it read
        fileStatement(upperAscii(next().text), l);
        condition = statusIs(kStatusOk, l);
      } else {
        condition = expression();
      }
      loops_.back().push_back(here());
      emit(isWhile ? Step::JumpIfFalse : Step::JumpIfTrue, l).expr = std::move(condition);
      acceptWord("DO");
    }
    emit(Step::Jump, line).jump = top;
    for (int c : continues_.back()) p_.steps[c].jump = top;
    continues_.pop_back();
    for (int e : loops_.back()) p_.steps[e].jump = here();
    loops_.pop_back();
  }

  // ---- expressions ----
  // noGreater: inside X<...>, where ">" closes the positions.
  ExprPtr expression(bool noGreater = false) { return logical(noGreater); }

  ExprPtr binary(ExprPtr left, const std::string& op, ExprPtr right) {
    int depth = std::max(left->depth, right->depth) + 1;
    if (depth > kMaxExprDepth) fail("an expression of more than " + std::to_string(kMaxExprDepth) + " operators");
    auto e = node(Expr::Binary, op, left->line);
    e->op = kOperators.at(op);
    e->depth = depth;
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
  }

  ExprPtr logical(bool ng) {
    ExprPtr left = comparison(ng);
    while (peek().word("AND") || peek().word("OR") || peek().op("&")) {
      std::string op = upperAscii(next().text);
      left = binary(std::move(left), op == "&" ? "AND" : op, comparison(ng));
    }
    return left;
  }

  ExprPtr comparison(bool ng) {
    ExprPtr left = concatenation(ng);
    while (true) {
      const Token& t = peek();
      std::string op;
      // Two-character operators are "<" ">" "=" written without a blank between.
      const Token& u = peek(1);
      bool joined = !u.spaceBefore && u.kind == Token::Op;
      size_t length = 1;
      std::string pair = joined && t.kind == Token::Op ? t.text + u.text : "";
      if (pair == "=<" || pair == "<=")
        op = "<=", length = 2;
      else if (pair == "=>" || (pair == ">=" && !ng))
        op = ">=", length = 2;
      else if (pair == "<>" || (pair == "><" && !ng))
        op = "#", length = 2;
      else if (t.op("=") || t.word("EQ"))
        op = "=";
      else if (t.op("#") || t.word("NE"))
        op = "#";
      else if (t.op("<") || t.word("LT"))
        op = "<";
      else if ((t.op(">") && !ng) || t.word("GT"))
        op = ">";
      else if (t.word("LE"))
        op = "<=";
      else if (t.word("GE"))
        op = ">=";
      else if (t.word("MATCHES") || t.word("MATCH"))
        op = "MATCHES";
      else
        return left;
      pos_ += length;
      left = binary(std::move(left), op, concatenation(ng));
    }
  }

  ExprPtr concatenation(bool ng) {
    ExprPtr left = formatted(ng);
    while ((peek().op(":") && peek(1).kind != Token::End && !peek(1).word("ELSE")) || peek().word("CAT")) {
      next();
      left = binary(std::move(left), ":", formatted(ng));
    }
    return left;
  }

  // X "R#6": a format code as text right after a value applies FMT, binding
  // looser than arithmetic and tighter than ":".
  ExprPtr formatted(bool ng) {
    ExprPtr value = additive(ng);
    while (peek().kind == Token::String && peek().spaceBefore) {
      const Token& code = next();
      if (!formatValue("", code.text)) throw SyntaxError{code.line, "unknown format \"" + code.text + "\""};
      auto e = node(Expr::Function, "FMT", code.line);
      e->function = findFunction("FMT");
      e->depth = value->depth + 1;
      e->args.push_back(std::move(value));
      e->args.push_back(literal(code.text, code.line));
      value = std::move(e);
    }
    return value;
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
    while (peek().op("^") || peek().op("**")) {
      next();
      left = binary(std::move(left), "^", unary(ng));
    }
    return left;
  }

  ExprPtr unary(bool ng) {
    Nest nest(*this);
    if (peek().op("-") || peek().op("+")) {
      const Token& t = next();
      auto e = node(Expr::Unary, t.text, t.line);
      e->op = t.text == "-" ? Op::Neg : Op::Plus;
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
        s->depth = s->args[0]->depth + 1;
        if (s->depth > kMaxExprDepth)
          fail("an expression of more than " + std::to_string(kMaxExprDepth) + " operators");
        e = std::move(s);
      } else if (peek().op("<") && (e->kind == Expr::Variable || e->kind == Expr::Element) &&
                 !notExtraction_.count(pos_)) {
        // X<a,v,s> when positions and a closing ">" follow, otherwise a
        // comparison. Positions hold no comparisons, and a failed try is
        // remembered, so that a chain of "<" parses in linear time.
        size_t saved = pos_;
        try {
          next();
          auto x = node(Expr::Extract, "", e->line);
          std::vector<ExprPtr> positions;
          do positions.push_back(concatenation(true));
          while (accept(","));
          if (!peek().op(">") || positions.size() > 3) throw SyntaxError{0, ""};
          next();
          x->depth = e->depth + 1;
          if (x->depth > kMaxExprDepth)
            fail("an expression of more than " + std::to_string(kMaxExprDepth) + " operators");
          x->args.push_back(std::move(e));
          for (auto& p : positions) x->args.push_back(std::move(p));
          e = std::move(x);
        } catch (const SyntaxError& error) {
          if (error.line != 0 && error.cause.find("nested") != std::string::npos) throw;
          notExtraction_.insert(saved);
          pos_ = saved;
          return e;
        }
      } else {
        return e;
      }
    }
  }

  // A number in the source is a number: 1.10 is 1.1 and 007 is 7, without rounding.
  static std::string canonicalNumber(std::string text) {
    if (std::count(text.begin(), text.end(), '.') > 1) return text;
    if (text.find('.') != std::string::npos) {
      while (text.back() == '0') text.pop_back();
      if (text.back() == '.') text.pop_back();
    }
    size_t zeros = 0;
    while (zeros + 1 < text.size() && text[zeros] == '0' && text[zeros + 1] != '.') ++zeros;
    text.erase(0, zeros);
    if (text.empty()) return "0";
    if (text[0] == '.') text.insert(0, "0");
    return text;
  }

  // The arguments of CALL or of a FUNCTION after "(": values, or MAT A.
  std::vector<ExprPtr> callArguments() {
    std::vector<ExprPtr> args;
    if (!peek().op(")")) do {
        if (acceptWord("MAT"))
          args.push_back(node(Expr::Matrix, arrayName(), peek().line));
        else
          args.push_back(expression());
      } while (accept(","));
    expectOp(")");
    return args;
  }

  static ExprPtr literal(std::string text, int line) {
    auto e = node(Expr::Literal, text, line);
    e->literal = Value(std::move(text));
    e->literal.strict();  // parsed now, not at every step
    return e;
  }

  ExprPtr primary(bool) {
    const Token& t = next();
    if (t.kind == Token::Number) return literal(canonicalNumber(t.text), t.line);
    if (t.kind == Token::String) return literal(t.text, t.line);
    if (t.op("(")) {
      ExprPtr e = expression();
      expectOp(")");
      return e;
    }
    if (t.kind == Token::Name) {
      std::string w = upperAscii(t.text);
      if (arrays_.count(t.text)) {
        if (!peek().op("(")) fail(t.text + " is an array: name an element, A(n)");
        next();
        auto e = node(Expr::Element, t.text, t.line);
        e->args.push_back(expression());
        if (accept(",")) e->args.push_back(expression());
        expectOp(")");
        for (const auto& arg : e->args) e->depth = std::max(e->depth, arg->depth + 1);
        return e;
      }
      if (auto user = userFunctions_.find(w); user != userFunctions_.end() && peek().op("(")) {
        next();
        auto e = node(Expr::UserCall, user->second.calling, t.line);
        e->args = callArguments();
        if (static_cast<int>(e->args.size()) != user->second.arity)
          throw SyntaxError{t.line, t.text + " takes " + std::to_string(user->second.arity) + " arguments (DEFFUN)"};
        for (const auto& arg : e->args) e->depth = std::max(e->depth, arg->depth + 1);
        return e;
      }
      const BuiltinFunction* fn = findFunction(w);
      if (fn && peek().op("(")) {
        next();
        auto e = node(Expr::Function, w, t.line);
        e->function = fn;
        if (w == "INMAT" && !peek().op(")")) {  // INMAT(A): an array, not a value
          if (peek().kind != Token::Name || !arrays_.count(peek().text) || !peek(1).op(")"))
            fail("INMAT takes a dimensioned array, INMAT(A), or nothing");
          e->args.push_back(node(Expr::Matrix, next().text, t.line));
        }
        // TRANS(DICT name, ...): the dictionary, as the text "DICT name".
        if ((w == "TRANS" || w == "XLATE") && peek().word("DICT") &&
            (peek(1).kind == Token::String || peek(1).kind == Token::Name)) {
          int line = next().line;
          e->args.push_back(binary(literal("DICT ", line), ":", expression()));
          expectOp(",");
        }
        if (!peek().op(")")) do
            e->args.push_back(expression());
          while (accept(","));
        // INSERT(X, a[, v[, s]]; value) and REPLACE the same: ";" before the value.
        if ((w == "INSERT" || w == "REPLACE") && acceptSemicolon()) e->args.push_back(expression());
        expectOp(")");
        int given = static_cast<int>(e->args.size());
        if (given < fn->minArgs || given > fn->maxArgs)
          throw SyntaxError{t.line, w + " takes " + std::to_string(fn->minArgs) +
                                        (fn->maxArgs != fn->minArgs ? " to " + std::to_string(fn->maxArgs) : "") +
                                        " arguments"};
        if (fn->literalCode >= 0 && e->args[static_cast<size_t>(fn->literalCode)]->kind == Expr::Literal) {
          const std::string& code = e->args[static_cast<size_t>(fn->literalCode)]->text;
          if (!fn->knownCode(code))
            throw SyntaxError{t.line, w == "SYSTEM" ? "SYSTEM(" + code + ") is not available"
                                      : w == "TRANS" || w == "XLATE"
                                          ? w + ": control code \"" + code + "\" is not one of X, V, C"
                                          : "unknown conversion code \"" + code + "\" in " + w};
        }
        for (const auto& arg : e->args) e->depth = std::max(e->depth, arg->depth + 1);
        return e;
      }
      if (t.text == "@" && peek().op("(")) {  // @(column, row): parsed, refused when it runs
        next();
        auto e = node(Expr::Function, "@", t.line);
        e->function = findFunction("@");
        e->args = callArguments();
        return e;
      }
      if (t.text[0] == '@') {
        auto at = kAtVariables.find(w);
        if (at == kAtVariables.end()) throw SyntaxError{t.line, "unknown variable " + t.text};
        auto e = node(Expr::At, w, t.line);
        e->at = at->second;
        return e;
      }
      if (!fn && peek().op("(") && !peek().spaceBefore && w != "IF")
        throw SyntaxError{t.line, "unknown function " + t.text};
      return node(Expr::Variable, t.text, t.line);
    }
    --pos_;
    fail("expected a value, found " + describe(t));
  }

  std::vector<Token> t_;
  size_t pos_ = 0;
  CompiledProgram& p_;
  std::map<std::string, int> labels_;
  // Of each BEGIN TRANSACTION being parsed: the jumps of its COMMITs and
  // ROLLBACKs, to past its END TRANSACTION.
  std::vector<std::vector<int>> transactionEnds_;
  std::set<size_t> notExtraction_;
  std::map<std::string, int> slots_;
  std::map<std::string, int> arraySlots_;
  std::set<std::string> arrays_;        // names that DIM, COMMON or a MAT parameter made arrays
  std::set<std::string> commonArrays_;  // those COMMON made
  struct UserFunction {
    int arity;
    std::string calling;
  };
  std::map<std::string, UserFunction> userFunctions_;  // by DEFFUN, in capitals
  int nesting_ = 0;
  std::vector<std::vector<int>> loops_;  // EXIT, WHILE and UNTIL jumps to patch
  std::vector<std::vector<int>> continues_;
};
}  // namespace

std::shared_ptr<const CompiledProgram> compileProgram(const std::string& name, const std::string& source,
                                                      const Includer& includer) {
  auto program = std::make_shared<CompiledProgram>();
  try {
    Parser(substituteEquates(tokenize(source, includer, 0, program->includes)), *program).parseProgram();
  } catch (const SyntaxError& e) {
    throw BasicError(name, e.line, "syntax error: " + e.cause);
  }
  program->name = name;
  program->source = source;
  return program;
}

}  // namespace pelorix::mv
