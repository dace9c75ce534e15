#pragma once
// A compiled MultiValue BASIC program: expression trees and a flat list of
// steps that jump to each other by index. Shared by the parser and the
// interpreter only.

#include <memory>
#include <string>
#include <vector>

namespace pelorix::mv {

struct Expr {
  enum Kind { Literal, Variable, Unary, Binary, Function, Extract, Substring } kind;
  std::string text;  // literal, variable name, operator or function name
  std::vector<std::unique_ptr<Expr>> args;
  int line = 0;
  int depth = 1;  // of the tree below, bounded by the parser
};
using ExprPtr = std::unique_ptr<Expr>;

ExprPtr node(Expr::Kind kind, std::string text, int line);

struct Target {
  std::string variable;
  std::vector<ExprPtr> positions;  // X<a,v,s> = ...
};

// Statements that succeed or not and then take their THEN, ELSE, ON ERROR
// or LOCKED clause, read by the steps that follow from kStatusVariable.
enum class Verb { None, Open, Read, ReadV, Write, WriteV, DeleteItem, Select, ReadNext, ClearSelect, Locate, Del, Ins, Release };

// A name that no source text can spell.
inline const std::string kStatusVariable = "\x01STATUS";
inline constexpr char kStatusOk = '1', kStatusElse = '0', kStatusError = 'E', kStatusLocked = 'L';

struct Step {
  enum Kind { Assign, JumpIfFalse, JumpIfTrue, Jump, Gosub, Return, Print, Stop, Abort, ForTest, ForStep, Call, Statement } kind = Assign;
  int line = 0;
  Target target;
  std::string assignOp = "=";
  ExprPtr expr;
  std::vector<ExprPtr> args;  // CALL arguments, FOR limit and step, a statement's operands
  int jump = -1;
  std::string label;  // unresolved GOTO / GOSUB target
  Verb verb = Verb::None;
  bool onError = false;  // the statement has an ON ERROR clause
  bool lock = false;     // READU, READVU
  bool onLocked = false; // the statement has a LOCKED clause
  std::string option;    // LOCATE's BY order, SELECT's list
};

struct CompiledProgram {
  std::string name;
  std::string source;
  std::vector<std::string> parameters;
  std::vector<Step> steps;
};

// BasicError (from basic_interpreter.h) for a syntax error.
std::shared_ptr<const CompiledProgram> compileProgram(const std::string& name, const std::string& source);

}  // namespace pelorix::mv
