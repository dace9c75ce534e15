#pragma once
// The PC store's records in the order they were added, each under a unique
// key compared exactly, as MultiValue item ids are. Positions run from 1; removing a
// record moves the ones behind it up. Removals only leave a hole that the
// next positional access closes, so that a run of removals and adds costs
// no more than one pass over the list.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "records/palm_record.h"

namespace pelorix::host {

// The error of adding under a key that is taken, as a collection raises it.
inline constexpr com::HRESULT kDuplicateKey = com::hr(0x800A01C9);

class RecordList {
 public:
  using Record = com::Ref<records::IPalmRecord>;

  std::int32_t size() const { return static_cast<std::int32_t>(index_.size()); }
  // kSubscriptOutOfRange for a position outside 1 to size().
  records::IPalmRecord& at(std::int32_t position);
  // nullptr when no record has the key.
  records::IPalmRecord* find(const std::string& key) const;
  // kDuplicateKey when the key is taken.
  void add(const std::string& key, Record record);
  // False, adding nothing, when the key is taken.
  bool tryAdd(const std::string& key, Record record);
  bool remove(const std::string& key);
  void clear();

 private:
  struct Slot {
    std::string key;
    Record record;  // empty once removed
  };
  void compact();

  std::vector<Slot> slots_;
  std::unordered_map<std::string, size_t> index_;  // key -> slot of each live record
};

}  // namespace pelorix::host
