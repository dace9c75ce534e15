#include "mv/account_programs.h"

#include "mv/account.h"

namespace pelorix::mv {

std::optional<std::string> programSource(const Account& account, const std::string& name) {
  try {
    if (!account.hasFile(kProgramFile)) return std::nullopt;
    return account.read(kProgramFile, name);
  } catch (const AccountError&) {
    return std::nullopt;  // a name that cannot be an item id names no program
  }
}

Interpreter::Loader programLoader(const Account& account) {
  return [&account](const std::string& name) { return programSource(account, name); };
}

}  // namespace pelorix::mv
