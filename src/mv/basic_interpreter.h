#pragma once
// A MultiValue BASIC interpreter for the part of the language that sync
// subroutines use. A program is compiled to a list of steps; GOTO and GOSUB
// jump within it. Every failure is a BasicError naming program, line, cause.

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pelorix::mv {

class BasicError : public std::runtime_error {
 public:
  BasicError(std::string program, int line, std::string cause);
  const std::string& program() const { return program_; }
  int line() const { return line_; }
  const std::string& cause() const { return cause_; }

 private:
  std::string program_;
  int line_;
  std::string cause_;
};

struct CompiledProgram;
class Value;
struct BasicArray;
class Account;
class AccountSession;

class Interpreter {
 public:
  // Finds a program's source for CALL; nullopt when there is none.
  using Loader = std::function<std::optional<std::string>(const std::string& name)>;
  using Output = std::function<void(const std::string& line)>;

  // Without an account the file statements fail with "no account".
  explicit Interpreter(Loader loader = {}, Output output = {}, long maxSteps = 10'000'000, Account* account = nullptr);
  ~Interpreter();

  // Runs the subroutine; its parameters are bound to `args` by reference.
  // Its writes to the account reach the disk only when it returns normally.
  void call(const std::string& program, std::vector<std::string>& args);
  // Compiles and runs source directly, as program `name`.
  void run(const std::string& name, const std::string& source, std::vector<std::string>& args);

  // The number of parameters of a program; BasicError as call() would.
  size_t parameterCount(const std::string& program);

  // Steps of the last call; the limit applies to each call on its own.
  long stepsTaken() const { return steps_; }

  // How long READU without LOCKED waits for another process's lock before
  // the call fails.
  void setLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }

  // The largest value a call may build, and how long it may run; both
  // default to the settings beside MaxSteps.
  void setMaxValueSize(size_t bytes) { maxValueBytes_ = bytes; }
  void setMaxTime(std::chrono::milliseconds time) { maxTime_ = time; }

 private:
  struct SelectList {
    std::vector<std::string> ids;
    size_t next = 0;
  };

  std::shared_ptr<const CompiledProgram> compiled(const std::string& name, const std::string& source);
  // A CALL's or a FUNCTION's argument: a variable, or an array for MAT.
  struct Argument {
    Value* value = nullptr;
    BasicArray* array = nullptr;
  };
  // A FUNCTION's value, "" for a SUBROUTINE.
  Value execute(std::shared_ptr<const CompiledProgram> program, const std::vector<Argument>& args, int depth);
  Value callFrom(struct Frame& caller, const std::string& name, const std::vector<Argument>& args, bool function);
  void runTopLevel(std::shared_ptr<const CompiledProgram> program, std::vector<std::string>& args);
  friend struct Frame;

  Loader loader_;
  Output output_;
  long maxSteps_;
  size_t maxValueBytes_;
  std::chrono::milliseconds maxTime_;
  std::chrono::steady_clock::time_point deadline_{};
  std::chrono::milliseconds lockWait_{std::chrono::seconds(30)};
  Account* account_;
  AccountSession* session_ = nullptr;             // during a call with an account
  std::pair<std::string, int> transactionBegun_;  // program and line, for a call that ends inside it
  long steps_ = 0;
  std::string pendingOutput_;  // printed with a ":" at the end, not yet a line
  std::map<std::string, SelectList> lists_;
  // Sequential files of the account folder: read whole when opened, written
  // when closed or when the call ends without an error.
  struct SequentialFile {
    std::string path;
    std::vector<std::string> lines;
    size_t next = 0;
    bool changed = false;
  };
  std::map<int, SequentialFile> sequentialFiles_;
  int nextSequentialId_ = 0;
  void saveSequential(SequentialFile& file);
  // COMMON blocks of the call, by name ("" unnamed); a deque keeps its values in place.
  std::map<std::string, std::deque<Value>> commons_;
  // What each place of a block is: an array (its sizes and elements), or a
  // variable (nullptr), as the first program that declared it said.
  std::map<std::pair<std::string, size_t>, std::unique_ptr<BasicArray>> commonShapes_;
  int nextListId_ = 0;
  int inmat_ = 0;
  size_t selected_ = 0, returnCode_ = 0;  // @SELECTED, @SYSTEM.RETURN.CODE
  bool inmatIsModulo_ = false;            // the last statement that sets INMAT() was OPEN
  std::map<std::string, std::shared_ptr<const CompiledProgram>> cache_;
  // Programs whose included items were read again in this call: a CALL in a
  // loop does not read them each time round.
  std::set<std::string> includesChecked_;
};

}  // namespace pelorix::mv
