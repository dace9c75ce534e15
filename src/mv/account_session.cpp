#include "mv/account_session.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <thread>

namespace pelorix::mv {

namespace {

// Distinct items share an offset with a chance too small to matter; when
// they do, one merely waits for the other.
long long lockOffset(const std::string& file, const std::string& id) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  auto mix = [&h](std::string_view text) {
    for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ULL;
  };
  mix(std::to_string(file.size()) + ":");
  mix(file);
  mix(id);
  return static_cast<long long>(h >> 2);  // a positive off_t
}

}  // namespace

AccountSession::AccountSession(Account& account) : account_(account) { account_.settle(); }

AccountSession::~AccountSession() {
  // Open-file-description locks: closing the one descriptor drops them all.
  if (lockFd_ >= 0) ::close(lockFd_);
}

bool AccountSession::lock(const std::string& file, const std::string& id, std::chrono::milliseconds wait) {
  checkFile(file);
  long long offset = lockOffset(file, id);
  if (locked_.count(offset)) return true;
  if (lockFd_ < 0) {
    auto path = account_.recordLocksFile();
    lockFd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) throw AccountError("cannot open the lock file " + path.string() + ": " + std::strerror(errno));
  }
  struct flock range {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(offset);
  range.l_len = 1;
  auto deadline = std::chrono::steady_clock::now() + wait;
  std::chrono::milliseconds pause{1};
  while (::fcntl(lockFd_, F_OFD_SETLK, &range) != 0) {
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EACCES)
      throw AccountError("cannot lock " + id + " of " + file + ": " + std::strerror(errno));
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  locked_.insert(offset);
  // A lock comes free also when its holder is killed, maybe in the middle of its commit.
  account_.settle();
  return true;
}

void AccountSession::checkFile(const std::string& file) const {
  if (!account_.hasFile(file)) throw AccountError("the account has no file " + file);
}

std::optional<std::string> AccountSession::read(const std::string& file, const std::string& id) const {
  auto change = changes_.find({file, id});
  if (change != changes_.end()) return change->second;
  return account_.read(file, id);
}

void AccountSession::write(const std::string& file, const std::string& id, std::string item) {
  checkFile(file);
  Account::checkItemId(id);
  changes_[{file, id}] = std::move(item);
}

void AccountSession::remove(const std::string& file, const std::string& id) {
  checkFile(file);
  if (id.empty()) return;
  changes_[{file, id}] = std::nullopt;
}

std::vector<std::string> AccountSession::items(const std::string& file) const {
  std::vector<std::string> stored = account_.items(file);
  auto first = changes_.lower_bound({file, std::string{}});
  if (first == changes_.end() || first->first.first != file) return stored;
  std::set<std::string> ids(stored.begin(), stored.end());
  for (auto it = first; it != changes_.end() && it->first.first == file; ++it) {
    if (it->second)
      ids.insert(it->first.second);
    else
      ids.erase(it->first.second);
  }
  return {ids.begin(), ids.end()};
}

void AccountSession::commit() {
  std::vector<ItemChange> changes;
  for (auto& [key, item] : changes_) changes.push_back({key.first, key.second, std::move(item)});
  changes_.clear();
  account_.commit(changes);
}

}  // namespace pelorix::mv
