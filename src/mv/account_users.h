#pragma once
// The users of an account: a hidden file of the account folder holding one
// user name and salted password hash (libsodium's Argon2 string) a line.
// Without the file the account is open to anyone.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelorix::mv {

class UsersError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class AccountUsers {
 public:
  explicit AccountUsers(const std::filesystem::path& accountFolder);

  bool required() const;  // the account has a users file
  // Adds the user or gives it a new password. UsersError for a name that
  // cannot be stored (empty, with a tab or a line break).
  void add(const std::string& name, const std::string& password);
  bool remove(const std::string& name);
  std::vector<std::string> names() const;

  enum class Check { Accepted, UnknownUser, WrongPassword };
  Check check(const std::string& name, const std::string& password) const;

  static constexpr const char* kFileName = ".users";

 private:
  std::vector<std::pair<std::string, std::string>> load() const;
  void save(const std::vector<std::pair<std::string, std::string>>& users) const;

  std::filesystem::path file_;
};

}  // namespace pelorix::mv
