#pragma once
// What one call of a subroutine sees of its account: its own writes and
// deletes are visible to it at once, but reach the disk only on commit. A
// subroutine that fails therefore leaves the account as it found it.

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mv/account.h"

namespace pelorix::mv {

class AccountSession {
 public:
  explicit AccountSession(Account& account) : account_(account) {}

  bool hasFile(const std::string& file) const { return account_.hasFile(file); }
  // AccountError when the file does not exist.
  std::optional<std::string> read(const std::string& file, const std::string& id) const;
  // AccountError for a missing file or an id that cannot be stored.
  void write(const std::string& file, const std::string& id, std::string item);
  void remove(const std::string& file, const std::string& id);
  // Sorted, with this session's changes applied.
  std::vector<std::string> items(const std::string& file) const;

  // Applies the changes in id order, each item atomically.
  void commit();
  void discard() { changes_.clear(); }
  bool changed() const { return !changes_.empty(); }

 private:
  void checkFile(const std::string& file) const;

  Account& account_;
  // nullopt: deleted.
  std::map<std::pair<std::string, std::string>, std::optional<std::string>> changes_;
};

}  // namespace pelorix::mv
