#include "mv/account_session.h"

#include <set>

namespace pelorix::mv {

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
    if (it->second) ids.insert(it->first.second);
    else ids.erase(it->first.second);
  }
  return {ids.begin(), ids.end()};
}

void AccountSession::commit() {
  for (auto& [key, item] : changes_) {
    if (item) account_.write(key.first, key.second, *item);
    else account_.remove(key.first, key.second);
  }
  changes_.clear();
}

}  // namespace pelorix::mv
