#pragma once
// What one call of a subroutine sees of its account: its own writes and
// deletes are visible to it at once, but reach the disk only on commit, all
// of them or none. A subroutine that fails therefore leaves the account as
// it found it.
//
// Record locks (READU) are byte-range locks of the account's lock file that
// every process sees. A lock is held until the session ends, after its
// commit or when it is dropped, so that no other process reads through READU a value
// this call is about to change.

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mv/account.h"

namespace pelorix::mv {

class AccountSession {
 public:
  // Finishes a commit that a killed process left before anything is read.
  explicit AccountSession(Account& account);
  ~AccountSession();  // releases the locks
  AccountSession(const AccountSession&) = delete;
  AccountSession& operator=(const AccountSession&) = delete;

  bool hasFile(const std::string& file) const { return account_.hasFile(file); }
  // AccountError when the file does not exist.
  std::optional<std::string> read(const std::string& file, const std::string& id) const;
  // AccountError for a missing file or an id that cannot be stored.
  void write(const std::string& file, const std::string& id, std::string item);
  void remove(const std::string& file, const std::string& id);
  // Sorted, with this session's changes applied.
  std::vector<std::string> items(const std::string& file) const;

  // Locks the item for this session, waiting at most `wait` while another
  // process holds it; false when it still does. Taking a lock this session
  // holds already succeeds at once. AccountError when locking fails.
  bool lock(const std::string& file, const std::string& id, std::chrono::milliseconds wait);

  // Applies the changes, all or none.
  void commit();

  // BEGIN TRANSACTION keeps the changes so far; ROLLBACK goes back to them,
  // COMMIT keeps what was done since (commit() still writes it all at once).
  void beginTransaction() { savepoint_ = changes_; }
  bool inTransaction() const { return savepoint_.has_value(); }
  void commitTransaction() { savepoint_.reset(); }
  void rollbackTransaction() {
    changes_ = *std::move(savepoint_);
    savepoint_.reset();
  }

 private:
  void checkFile(const std::string& file) const;

  Account& account_;
  // nullopt: deleted.
  std::map<std::pair<std::string, std::string>, std::optional<std::string>> changes_;
  std::optional<decltype(changes_)> savepoint_;
  int lockFd_ = -1;
  std::set<long long> locked_;  // offsets held in the lock file
};

}  // namespace pelorix::mv
