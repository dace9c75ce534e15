#include "mv/account_users.h"

#include <sodium.h>

#include "desktop/atomic_file.h"

namespace pelorix::mv {

namespace fs = std::filesystem;

AccountUsers::AccountUsers(const fs::path& accountFolder) : file_(accountFolder / kFileName) {
  if (sodium_init() < 0) throw UsersError("the password library cannot start");
}

bool AccountUsers::required() const {
  std::error_code ec;
  return fs::exists(file_, ec);
}

std::vector<std::pair<std::string, std::string>> AccountUsers::load() const {
  std::vector<std::pair<std::string, std::string>> users;
  if (!required()) return users;
  std::string text;
  try {
    text = desktop::readWholeFile(file_);
  } catch (const desktop::FileError& e) {
    throw UsersError(e.what());
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    size_t tab = line.find('\t');
    // A damaged line lets nobody in under its name.
    if (tab == std::string::npos || tab == 0) continue;
    users.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return users;
}

void AccountUsers::save(const std::vector<std::pair<std::string, std::string>>& users) const {
  std::string text;
  for (const auto& [name, hash] : users) text.append(name).append(1, '\t').append(hash).append(1, '\n');
  try {
    desktop::writeFileAtomically(file_, text);
  } catch (const desktop::FileError& e) {
    throw UsersError(e.what());
  }
}

void AccountUsers::add(const std::string& name, const std::string& password) {
  if (name.empty() || name.find_first_of("\t\n\r") != std::string::npos)
    throw UsersError("a user name must not be empty nor hold a tab or a line break");
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    throw UsersError("not enough memory to hash the password");
  auto users = load();
  bool replaced = false;
  for (auto& [n, h] : users)
    if (n == name) {
      h = hash;
      replaced = true;
    }
  if (!replaced) users.emplace_back(name, hash);
  save(users);
}

bool AccountUsers::remove(const std::string& name) {
  auto users = load();
  auto before = users.size();
  std::erase_if(users, [&](const auto& u) { return u.first == name; });
  if (users.size() == before) return false;
  save(users);
  return true;
}

std::vector<std::string> AccountUsers::names() const {
  std::vector<std::string> out;
  for (const auto& u : load()) out.push_back(u.first);
  return out;
}

AccountUsers::Check AccountUsers::check(const std::string& name, const std::string& password) const {
  for (const auto& [n, hash] : load()) {
    if (n != name) continue;
    bool ok = crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
    return ok ? Check::Accepted : Check::WrongPassword;
  }
  return Check::UnknownUser;
}

}  // namespace pelorix::mv
