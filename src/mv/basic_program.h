#pragma once
// A compiled MultiValue BASIC program: expression trees and a flat list of
// steps that jump to each other by index. Variables are slots, operators
// and functions are resolved when the program compiles. Shared by the
// parser, the built-in functions and the interpreter only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mv/basic_value.h"

namespace pelorix::mv {

enum class Op : std::uint8_t { Add, Sub, Mul, Div, Pow, Cat, Eq, Ne, Lt, Gt, Le, Ge, Matches, And, Or, Neg, Plus };

// The @ variables this host knows.
enum class AtVar : std::uint8_t {
  AM,
  VM,
  SVM,
  TM,
  IM,
  RM,
  True,
  False,
  Date,
  Time,
  Day,
  Month,
  Year,
  UserNo,
  LogName,
  Who,
  Path,
  Level,
  Selected,   // the ids the last SELECT or EXECUTE of a SELECT selected
  ReturnCode  // @SYSTEM.RETURN.CODE: after EXECUTE of a SELECT, the ids it selected
};

struct BuiltinFunction;
struct BasicArray;

struct Expr {
  // Element: A(i[,j]) of a dimensioned array; Matrix: MAT A as an argument;
  // UserCall: a FUNCTION program that DEFFUN declared (text: its name).
  enum Kind { Literal, Variable, At, Unary, Binary, Function, Extract, Substring, Element, Matrix, UserCall } kind;
  std::string text;  // variable or function name, for messages
  Value literal;     // Literal: parsed when the program compiles
  int slot = -1;     // Variable
  Op op = Op::Add;   // Unary, Binary
  AtVar at = AtVar::AM;
  const BuiltinFunction* function = nullptr;
  std::vector<std::unique_ptr<Expr>> args;
  int line = 0;
  int depth = 1;  // of the tree below, bounded by the parser
};
using ExprPtr = std::unique_ptr<Expr>;

ExprPtr node(Expr::Kind kind, std::string text, int line);

// What a built-in function may ask of the program running it.
class FunctionContext {
 public:
  [[noreturn]] virtual void fail(const std::string& cause) = 0;
  // MaxValueSize: a value may not grow past it.
  virtual void fits(size_t bytes) = 0;
  virtual bool assigned(const Expr& variable) = 0;
  // What the last statement with THEN / ELSE / ON ERROR / LOCKED met, or
  // whether the last ICONV could read its text.
  virtual char lastStatus() = 0;
  virtual void setStatus(char status) = 0;
  // Whether select list 0 has ids left.
  virtual bool listActive() = 0;
  // INMAT(): the elements the last MATPARSE or MATREAD loaded, 0 when the
  // data had more than the array holds or MATREAD found no item, 1 after
  // DIM; fails where UniVerse would give what this host has not (after OPEN).
  virtual int inmat() = 0;
  // The array MAT A names; fails when it has not been dimensioned.
  virtual const BasicArray& arrayOf(const Expr& matrix) = 0;
  // REMOVE(array, delimiter): the next element after the array's remove
  // pointer; the delimiter variable gets the code of the mark after it.
  virtual Value remove(const Expr& array, const Expr& delimiter) = 0;

  // The account as this call sees it, its own writes included (TRANS and
  // the T conversion); both fail when the call has no account.
  virtual bool hasFile(const std::string& file) = 0;
  virtual std::optional<std::string> readItem(const std::string& file, const std::string& id) = 0;

  // Where the substring of the last FIELD() began and ended, for COL1() and COL2().
  int col1 = 0, col2 = 0;

  double number(const Value& v);
  int whole(const Value& v);
  static bool truth(const Value& v);

 protected:
  ~FunctionContext() = default;
};

struct BuiltinFunction {
  const char* name;
  int minArgs, maxArgs;
  Value (*handler)(FunctionContext&, const Expr& call, std::span<Value> args);
  bool unevaluated = false;  // the handler looks at its argument, not its value (ASSIGNED)
  int literalCode = -1;      // the argument that, given as a literal, must be a known code
  bool (*knownCode)(const std::string& code) = nullptr;
};
// nullptr when there is no such function; the name in capitals.
const BuiltinFunction* findFunction(std::string_view name);

struct Target {
  std::string variable;            // the name, for messages; CALL's subroutine
  int slot = -1;                   // of the variable, or of the array when `indices` are given
  std::vector<ExprPtr> indices;    // A(i,j) = ...
  std::vector<ExprPtr> positions;  // X<a,v,s> = ...
  std::vector<ExprPtr> substring;  // X[start, length] = ...
};

// DIM A(rows[, columns]): element 0 is the zero element, the rest row by row.
struct BasicArray {
  int rows = 0, columns = 0;  // columns 0: one dimension
  std::vector<Value> cells;
  size_t size() const { return static_cast<size_t>(rows) * static_cast<size_t>(columns ? columns : 1); }
};

// Statements that succeed or not and then take their THEN, ELSE, ON ERROR
// or LOCKED clause, read by the steps that follow from the status slot.
enum class Verb {
  None,
  Open,
  Read,
  ReadV,
  Write,
  WriteV,
  DeleteItem,
  Select,
  ReadNext,
  ClearSelect,
  Locate,
  Del,
  Ins,
  Release,
  MatRead,
  MatWrite,
  ReadList,
  FormList,
  GetList,
  Execute,
  OpenSeq,
  ReadSeq,
  WriteSeq,
  WeofSeq,
  CloseSeq,
  Find,   // FIND and FINDSTR (option "STR")
  Clear,  // CLEAR: the variables outside COMMON to 0
  Sleep,  // SLEEP and RQM
  MatBuild,
  MatParse,
  WriteList,
  BeginTransaction,
  Commit,  // COMMIT and ROLLBACK then jump past END TRANSACTION
  Rollback,
  EndTransaction  // reached only without COMMIT or ROLLBACK
};

// A name that no source text can spell.
inline const std::string kStatusVariable = "\x01STATUS";
inline constexpr char kStatusOk = '1', kStatusElse = '0', kStatusError = 'E', kStatusLocked = 'L', kStatusBadData = 'D';
// READSEQ at the end of the file: ELSE, and STATUS() 1 as UniVerse documents.
inline constexpr char kStatusEndOfFile = 'N';

enum class AssignOp : std::uint8_t { Set, Add, Sub, Mul, Div, Cat };

struct Step {
  enum Kind {
    Assign,
    JumpIfFalse,
    JumpIfTrue,
    Jump,
    Gosub,
    Return,
    Print,
    Stop,
    Abort,
    ForTest,
    ForStep,
    Call,
    Statement,
    Dim,        // target: the array, args: its sizes
    MatAssign,  // target: the array, expr: a value or MAT B
    OnJump,     // ON args[0] GOTO / GOSUB (option) one of `jumps`
    Refuse      // a statement this host parses but cannot run: fails with `option`
  } kind = Assign;
  int line = 0;
  Target target;
  AssignOp assignOp = AssignOp::Set;
  ExprPtr expr;
  std::vector<ExprPtr> args;  // CALL arguments, FOR limit and step, a statement's operands
  int jump = -1;
  std::string label;                // unresolved GOTO / GOSUB target
  std::vector<std::string> labels;  // ON ... GOTO's targets, resolved into `jumps`
  std::vector<int> jumps;
  ExprPtr from;  // LOCATE's start value
  Verb verb = Verb::None;
  bool onError = false;   // the statement has an ON ERROR clause
  bool lock = false;      // READU, READVU
  bool onLocked = false;  // the statement has a LOCKED clause
  std::string option;     // LOCATE's BY order, SELECT's list
};

struct CompiledProgram {
  std::string name;
  std::string source;
  // Every item $INCLUDE read, nested ones too, with the text it had: the
  // program is stale once any of them reads otherwise.
  struct Include {
    std::string file, item, text;
  };
  std::vector<Include> includes;
  bool isFunction = false;              // FUNCTION: RETURN gives a value
  std::vector<std::string> parameters;  // the first slots
  std::vector<int> parameterArrays;     // for a MAT parameter its array slot, else -1
  std::vector<std::string> variables;   // every slot's name
  std::vector<std::string> arrays;      // every array slot's name
  struct Common {
    std::string block;  // "" for unnamed COMMON
    int line = 0;
    std::vector<std::string> variables;
    std::vector<int> slots;  // an array's slot among the arrays
    // COMMON A(rows[, columns]): the array's sizes; rows 0 for a variable.
    std::vector<int> rows, columns;
  };
  std::vector<Common> commons;
  int statusSlot = -1;
  std::vector<Step> steps;
};

// The source of an item that $INCLUDE names; nullopt when there is none.
using Includer = std::function<std::optional<std::string>(const std::string& file, const std::string& item)>;

// BasicError (from basic_interpreter.h) for a syntax error.
std::shared_ptr<const CompiledProgram> compileProgram(const std::string& name, const std::string& source,
                                                      const Includer& includer = {});

}  // namespace pelorix::mv
