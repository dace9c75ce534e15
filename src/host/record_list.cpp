#include "host/record_list.h"

namespace pelorix::host {

void RecordList::compact() {
  if (slots_.size() == index_.size()) return;
  std::vector<Slot> kept;
  kept.reserve(index_.size());
  index_.clear();
  for (Slot& s : slots_) {
    if (!s.record) continue;
    index_[s.key] = kept.size();
    kept.push_back(std::move(s));
  }
  slots_ = std::move(kept);
}

records::IPalmRecord& RecordList::at(std::int32_t position) {
  if (position < 1 || position > size())
    com::raise(com::err::kSubscriptOutOfRange, "RecordList",
               "No record at position " + std::to_string(position) + " of " + std::to_string(size()));
  compact();
  return *slots_[static_cast<size_t>(position) - 1].record;
}

records::IPalmRecord* RecordList::find(const std::string& key) const {
  auto found = index_.find(key);
  return found == index_.end() ? nullptr : slots_[found->second].record.get();
}

void RecordList::add(const std::string& key, Record record) {
  if (!tryAdd(key, std::move(record)))
    com::raise(kDuplicateKey, "RecordList",
               "This key is already associated with an element of this collection: " + key);
}

bool RecordList::tryAdd(const std::string& key, Record record) {
  if (!index_.try_emplace(key, slots_.size()).second) return false;
  slots_.push_back({key, std::move(record)});
  return true;
}

bool RecordList::remove(const std::string& key) {
  auto found = index_.find(key);
  if (found == index_.end()) return false;
  slots_[found->second].record.reset();
  index_.erase(found);
  return true;
}

void RecordList::clear() {
  slots_.clear();
  index_.clear();
}

}  // namespace pelorix::host
