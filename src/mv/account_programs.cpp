#include "mv/account_programs.h"

#include <memory>
#include <unordered_map>

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
  struct Known {
    Account::Stamp stamp;
    std::string source;
  };
  auto known = std::make_shared<std::unordered_map<std::string, Known>>();
  return [&account, known](const std::string& name) -> std::optional<std::string> {
    std::optional<Account::Stamp> stamp;
    try {
      stamp = account.stamp(kProgramFile, name);
    } catch (const AccountError&) {
      return std::nullopt;
    }
    if (!stamp) {
      known->erase(name);
      return std::nullopt;
    }
    auto found = known->find(name);
    if (found != known->end() && found->second.stamp == *stamp) return found->second.source;
    std::optional<std::string> source = programSource(account, name);
    if (source) (*known)[name] = {*stamp, *source};
    return source;
  };
}

}  // namespace pelorix::mv
