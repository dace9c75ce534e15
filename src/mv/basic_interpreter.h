#pragma once
// A MultiValue BASIC interpreter for the part of the language that sync
// subroutines use. A program is compiled to a list of steps; GOTO and GOSUB
// jump within it. Every failure is a BasicError naming program, line, cause.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
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

class Interpreter {
 public:
  // Finds a program's source for CALL; nullopt when there is none.
  using Loader = std::function<std::optional<std::string>(const std::string& name)>;
  using Output = std::function<void(const std::string& line)>;

  explicit Interpreter(Loader loader = {}, Output output = {}, long maxSteps = 10'000'000);
  ~Interpreter();

  // Runs the subroutine; its parameters are bound to `args` by reference.
  void call(const std::string& program, std::vector<std::string>& args);
  // Compiles and runs source directly, as program `name`.
  void run(const std::string& name, const std::string& source, std::vector<std::string>& args);

  long stepsTaken() const { return steps_; }

 private:
  std::shared_ptr<const CompiledProgram> compiled(const std::string& name, const std::string& source);
  void execute(const CompiledProgram& program, std::vector<std::string*> args, int depth);
  void callFrom(struct Frame& caller, const std::string& name, std::vector<std::string*> args);
  friend struct Frame;

  Loader loader_;
  Output output_;
  long maxSteps_;
  long steps_ = 0;
  std::vector<std::pair<std::string, std::shared_ptr<const CompiledProgram>>> cache_;
};

}  // namespace pelorix::mv
