#pragma once
// An account's BASIC programs: the source items of its file BP.

#include <optional>
#include <string>

#include "mv/basic_interpreter.h"

namespace pelorix::mv {

class Account;

inline constexpr const char* kProgramFile = "BP";

// nullopt when the account has no BP file or no such program.
std::optional<std::string> programSource(const Account& account, const std::string& name);
// A loader for the interpreter; the account must outlive it. It reads a
// program's item once and again only when the item changed, so that a call
// that names its program three times reads it once.
Interpreter::Loader programLoader(const Account& account);

}  // namespace pelorix::mv
