#include "palm/record_adapter.h"

#include "com/com_error.h"
#include "com/datetime.h"
#include "palm/category_info.h"
#include "palm/palm_text.h"

namespace pelorix::palm {

using com::Variant;
namespace err = com::err;

namespace {

constexpr const char* kSource = "PDRecordAdapter";

std::uint32_t handheldId(const Variant& id) {
  std::int32_t value = id.toInt32();
  if (value <= 0 || static_cast<std::uint32_t>(value) > kMaxUniqueId)
    com::raise(err::kInvalidArgument, kSource, "Not a handheld record id: " + id.toText());
  return static_cast<std::uint32_t>(value);
}

com::DateTime palmDate(std::uint32_t seconds) {
  // 1904-01-01 is day 1462 of the automation calendar.
  return com::DateTime{1462.0 + seconds / 86400.0};
}

class DatabaseInfo final : public pddirect::IPDDatabaseInfo {
 public:
  explicit DatabaseInfo(const PdbDatabase& db)
      : name_(fromPalmText(db.name())),
        created_(palmDate(db.header.creationDate)),
        modified_(palmDate(db.header.modificationDate)) {}
  std::string Name() override { return name_; }
  com::DateTime CreationDate() override { return created_; }
  com::DateTime ModificationDate() override { return modified_; }

 private:
  std::string name_;
  com::DateTime created_, modified_;
};

class Categories final : public pddirect::IPDCategories {
 public:
  explicit Categories(std::shared_ptr<WorkingDatabase> db) : db_(std::move(db)) {}

  std::string Name(std::int32_t index) override { return fromPalmText(info().label(slot(index))); }
  void Name(std::int32_t index, const std::string& name) override {
    change([&](CategoryInfo& c) { return c.setLabel(slot(index), toPalmText(name)); });
  }
  std::uint8_t Id(std::int32_t index) override { return info().id(slot(index)); }
  void Id(std::int32_t index, std::uint8_t id) override {
    change([&](CategoryInfo& c) { return c.setId(slot(index), id); });
  }
  bool Dirty(std::int32_t index) override { return info().renamed(slot(index)); }
  void Dirty(std::int32_t index, bool dirty) override {
    change([&](CategoryInfo& c) { return c.setRenamed(slot(index), dirty); });
  }

 private:
  static size_t slot(std::int32_t index) {
    if (index < 0 || index >= static_cast<std::int32_t>(CategoryInfo::kCount))
      com::raise(err::kSubscriptOutOfRange, "PDCategories", "Category index out of range: " + std::to_string(index));
    return static_cast<size_t>(index);
  }
  CategoryInfo info() const { return CategoryInfo(db_->db.appInfo); }
  template <class F>
  void change(F&& f) {
    CategoryInfo c = info();
    if (!f(c)) return;  // unchanged: the file need not be rewritten
    c.storeInto(db_->db.appInfo);
    db_->changed = true;
  }

  std::shared_ptr<WorkingDatabase> db_;
};

}  // namespace

void splitAttributes(std::uint8_t stored, std::int32_t& attributes, std::int32_t& category) {
  bool deleted = stored & attr::kDeleted;
  attributes = stored & attr::kFlagsMask;
  if (deleted) attributes |= stored & attr::kArchived;
  category = deleted ? 0 : stored & attr::kCategoryMask;
}

std::uint8_t joinAttributes(std::int32_t attributes, std::int32_t category) {
  std::uint8_t flags = static_cast<std::uint8_t>(attributes & (attr::kDeleted | attr::kDirty | attr::kPrivate));
  if (attributes & attr::kArchived) return flags | attr::kDeleted | attr::kArchived;  // archived is a kind of deleted
  if (flags & attr::kDeleted) return flags;
  if (category < 0 || category > 15)
    com::raise(err::kInvalidArgument, kSource, "Category out of range: " + std::to_string(category));
  return static_cast<std::uint8_t>(flags | category);
}

PDRecordAdapter::PDRecordAdapter(std::shared_ptr<WorkingDatabase> database) : db_(std::move(database)) {}

Variant PDRecordAdapter::ReadById(std::int32_t& index, const Variant& id, std::int32_t& category,
                                  std::int32_t& attributes) {
  std::int32_t wanted = id.toInt32();
  size_t pos = wanted > 0 ? db_->find(static_cast<std::uint32_t>(wanted)) : WorkingDatabase::npos;
  if (pos == WorkingDatabase::npos) com::raise(err::kRecordNotFound, kSource, "No record with id " + id.toText());
  const PdbRecord& r = db_->db.records[pos];
  index = static_cast<std::int32_t>(pos);
  splitAttributes(r.attributes, attributes, category);
  return Variant(r.data);
}

Variant PDRecordAdapter::readNext(bool modifiedOnly, std::int32_t& index, Variant& id, std::int32_t& category,
                                  std::int32_t& attributes) {
  db_->compact(&next_);
  const auto& records = db_->db.records;
  while (next_ < records.size()) {
    const PdbRecord& r = records[next_++];
    if (modifiedOnly && !(r.attributes & (attr::kDirty | attr::kDeleted))) continue;
    index = static_cast<std::int32_t>(next_ - 1);
    id = Variant(static_cast<std::int32_t>(r.uniqueId));
    splitAttributes(r.attributes, attributes, category);
    ++db_->sent;
    HotSyncSession::current().moved(*db_);
    return Variant(r.data);
  }
  atEnd_ = true;
  return {};
}

Variant PDRecordAdapter::ReadNext(std::int32_t& index, Variant& id, std::int32_t& category, std::int32_t& attributes) {
  return readNext(false, index, id, category, attributes);
}

Variant PDRecordAdapter::ReadNextModified(std::int32_t& index, Variant& id, std::int32_t& category,
                                          std::int32_t& attributes) {
  return readNext(true, index, id, category, attributes);
}

void PDRecordAdapter::WriteRecord(Variant& id, std::int32_t category, std::int32_t attributes, const Variant& data) {
  const com::ByteArray& bytes = data.bytes();
  if (bytes.size() > kMaxRecordSize)
    com::raise(err::kInvalidArgument, kSource, "A record may hold at most 65535 bytes");
  std::uint8_t stored = joinAttributes(attributes, category);
  if (id.isUnsetZeroOrEmpty()) {
    if (db_->db.records.size() >= kMaxRecords)
      com::raise(err::kFail, kSource,
                 db_->name + ": a Palm database holds at most 65,535 records; record 65,536 is refused");
    std::uint32_t fresh;
    try {
      fresh = db_->db.allocateUniqueId();
    } catch (const PdbFormatError& e) {
      com::raise(err::kFail, kSource, e.what());
    }
    db_->append(PdbRecord{stored, fresh, bytes});
    HotSyncSession::current().moved(*db_);
    id = Variant(static_cast<std::int32_t>(fresh));
    return;
  }
  std::uint32_t wanted = handheldId(id);
  size_t pos = db_->find(wanted);
  if (pos == WorkingDatabase::npos) {
    if (db_->db.records.size() >= kMaxRecords) com::raise(err::kFail, kSource, "The database is full");
    db_->db.reserveUniqueId(wanted);
    db_->append(PdbRecord{stored, wanted, bytes});
    HotSyncSession::current().moved(*db_);
    return;
  }
  PdbRecord& r = db_->db.records[pos];
  r.attributes = stored;
  r.data = bytes;
  db_->changed = true;
  ++db_->written;
  HotSyncSession::current().moved(*db_);
}

void PDRecordAdapter::RemoveRecord(const Variant& id) {
  std::uint32_t wanted = handheldId(id);
  size_t pos = db_->find(wanted);
  if (pos == WorkingDatabase::npos) com::raise(err::kRecordNotFound, kSource, "No record with id " + id.toText());
  db_->removeAt(pos);
}

void PDRecordAdapter::RemoveSet(std::int32_t kind, std::int32_t category) {
  if (kind != 0 && kind != 1) com::raise(err::kInvalidArgument, kSource, "RemoveSet kind must be 0 or 1");
  db_->removeIf([&](const PdbRecord& r) {
    std::int32_t flags, recordCategory;
    splitAttributes(r.attributes, flags, recordCategory);
    bool deletedOrArchived = flags & (attr::kDeleted | attr::kArchived);
    if (kind == 1) return deletedOrArchived;
    return category == 255 || (!deletedOrArchived && recordCategory == category);
  });
  next_ = 0;
  atEnd_ = false;
}

com::Ref<pddirect::IPDDatabaseInfo> PDRecordAdapter::DatabaseInfo() { return com::make<palm::DatabaseInfo>(db_->db); }

com::Ref<pddirect::IPDCategories> PDRecordAdapter::Categories() { return com::make<palm::Categories>(db_); }

void PDRecordAdapter::IteratorIndex(std::int32_t index) {
  if (index < 0) com::raise(err::kInvalidArgument, kSource, "Iterator index must not be negative");
  db_->compact();
  next_ = static_cast<size_t>(index);
  atEnd_ = false;
}

void PDRecordAdapter::EndTransfer(bool completed, const std::string& why) {
  db_->transfer = completed ? WorkingDatabase::Transfer::Completed : WorkingDatabase::Transfer::Failed;
  db_->failure = why;
}

void PDRecordAdapter::Checkpoint(bool records) {
  try {
    HotSyncSession::current().checkpoint(db_->name, records);
  } catch (const com::ComError&) {
    throw;
  } catch (const std::exception& e) {
    com::raise(err::kFail, kSource, db_->name + " could not be saved: " + e.what());
  }
}

size_t PDRecordAdapter::pendingPosition(const std::string& hostKey) {
  if (pendingIndex_.size() != db_->pendingIds.size()) {
    pendingIndex_.clear();
    for (size_t i = 0; i < db_->pendingIds.size(); ++i) pendingIndex_[db_->pendingIds[i].first] = i;
  }
  auto found = pendingIndex_.find(hostKey);
  return found == pendingIndex_.end() ? WorkingDatabase::npos : found->second;
}

Variant PDRecordAdapter::PendingId(const std::string& hostKey) {
  size_t pos = pendingPosition(hostKey);
  if (pos == WorkingDatabase::npos) return {};
  return Variant(static_cast<std::int32_t>(db_->pendingIds[pos].second));
}

void PDRecordAdapter::KeepNewId(const std::string& hostKey, const Variant& id) {
  std::uint32_t value = handheldId(id);
  size_t pos = pendingPosition(hostKey);
  if (pos != WorkingDatabase::npos) {
    db_->pendingIds[pos].second = value;
    return;
  }
  pendingIndex_[hostKey] = db_->pendingIds.size();
  db_->pendingIds.emplace_back(hostKey, value);
}

std::vector<std::pair<std::string, std::int32_t>> PDRecordAdapter::PendingIds() {
  std::vector<std::pair<std::string, std::int32_t>> out;
  for (const auto& [key, id] : db_->pendingIds) out.emplace_back(key, static_cast<std::int32_t>(id));
  return out;
}

}  // namespace pelorix::palm
