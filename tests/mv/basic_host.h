#pragma once
// Runs BASIC snippets as the body of SUBROUTINE TEST(A,B,C).

#include <map>
#include <string>
#include <vector>

#include "mv/account.h"
#include "mv/basic_interpreter.h"
#include "mv/dynamic_array.h"

namespace pelorix::mv {

// Runs a subroutine body with (A, B, C) as its parameters; returns C.
struct Host {
  std::map<std::string, std::string> programs;
  std::vector<std::string> printed;
  long maxSteps = 1'000'000;
  Account* account = nullptr;

  std::vector<std::string> operator()(const std::string& body, std::vector<std::string> args = {"", "", ""}) {
    Interpreter vm(
        [&](const std::string& name) -> std::optional<std::string> {
          auto found = programs.find(name);
          if (found == programs.end()) return std::nullopt;
          return found->second;
        },
        [&](const std::string& line) { printed.push_back(line); }, maxSteps, account);
    vm.run("TEST", "SUBROUTINE TEST(A,B,C)\n" + body, args);
    return args;
  }
  std::string c(const std::string& body, std::vector<std::string> args = {"", "", ""}) {
    return (*this)(body, args)[2];
  }
};

// The error a snippet fails with, "line: cause", or "no error".
inline std::string error(Host& run, const std::string& body) {
  try {
    run.c(body);
  } catch (const BasicError& e) {
    return std::to_string(e.line()) + ": " + e.cause();
  }
  return "no error";
}

inline std::string m(std::string s) {
  for (char& ch : s) ch = ch == '^' ? AM : ch == ']' ? VM : ch == '\\' ? SVM : ch;
  return s;
}

}  // namespace pelorix::mv
