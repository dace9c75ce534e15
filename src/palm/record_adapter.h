#pragma once
// The suite's record adapter and category object on a working database.

#include <memory>
#include <unordered_map>

#include "palm/hotsync_session.h"
#include "palm/pddirect.h"

namespace pelorix::palm {

class PDRecordAdapter final : public pddirect::IPDRecordAdapter {
 public:
  explicit PDRecordAdapter(std::shared_ptr<WorkingDatabase> database);

  com::Variant ReadById(std::int32_t& index, const com::Variant& id, std::int32_t& category,
                        std::int32_t& attributes) override;
  com::Variant ReadNext(std::int32_t& index, com::Variant& id, std::int32_t& category,
                        std::int32_t& attributes) override;
  com::Variant ReadNextModified(std::int32_t& index, com::Variant& id, std::int32_t& category,
                                std::int32_t& attributes) override;
  void WriteRecord(com::Variant& id, std::int32_t category, std::int32_t attributes, const com::Variant& data) override;
  void RemoveRecord(const com::Variant& id) override;
  void RemoveSet(std::int32_t kind, std::int32_t category) override;
  com::Ref<pddirect::IPDDatabaseInfo> DatabaseInfo() override;
  com::Ref<pddirect::IPDCategories> Categories() override;
  std::int32_t IteratorIndex() override { return static_cast<std::int32_t>(next_); }
  void IteratorIndex(std::int32_t index) override;
  bool AtEnd() override { return atEnd_; }
  void EndTransfer(bool completed, const std::string& why) override;
  void Checkpoint(bool records) override;
  com::Variant PendingId(const std::string& hostKey) override;
  void KeepNewId(const std::string& hostKey, const com::Variant& id) override;
  std::vector<std::pair<std::string, std::int32_t>> PendingIds() override;

 private:
  com::Variant readNext(bool modifiedOnly, std::int32_t& index, com::Variant& id, std::int32_t& category,
                        std::int32_t& attributes);

  size_t pendingPosition(const std::string& hostKey);

  std::shared_ptr<WorkingDatabase> db_;
  std::unordered_map<std::string, size_t> pendingIndex_;
  size_t next_ = 0;
  bool atEnd_ = false;
};

// The record's flags as the suite reports them, and its category.
void splitAttributes(std::uint8_t stored, std::int32_t& attributes, std::int32_t& category);
// The byte the file keeps for the flags and category the conduit passes.
std::uint8_t joinAttributes(std::int32_t attributes, std::int32_t category);

}  // namespace pelorix::palm
