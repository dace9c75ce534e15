#include "palm/hotsync_session.h"

#include <algorithm>
#include <stdexcept>

#include "com/com_error.h"
#include "palm/palm_text.h"

namespace pelorix::palm {

namespace {
HotSyncSession* running = nullptr;
}

HotSyncSession::HotSyncSession(const Handheld& handheld, HotSyncRequest request, LogSink sink)
    : handheld_(handheld), request_(std::move(request)), sink_(std::move(sink)) {
  if (running) throw std::logic_error("a HotSync is already running");
  running = this;
}

HotSyncSession::~HotSyncSession() { running = nullptr; }

HotSyncSession& HotSyncSession::current() {
  if (!running) com::raise(com::err::kFail, "PDDirect", "No HotSync is running");
  return *running;
}

void HotSyncSession::log(const LogEntry& entry) {
  log_.push_back(entry);
  if (sink_) sink_(entry);
}

std::shared_ptr<WorkingDatabase> HotSyncSession::open(const std::string& name) {
  if (auto found = open_.find(name); found != open_.end()) return found->second;
  if (!handheld_.has(name)) throw std::out_of_range("the handheld has no database " + name);
  auto working = std::make_shared<WorkingDatabase>();
  working->name = name;
  working->db = handheld_.read(name);
  open_[name] = working;
  return working;
}

std::shared_ptr<WorkingDatabase> HotSyncSession::create(const std::string& name, std::uint32_t creator,
                                                        std::uint32_t type) {
  handheld_.fileOf(name);  // refuses names that are not plain database names
  if (handheld_.has(name) || open_.count(name))
    throw std::invalid_argument("the handheld already has a database " + name);
  auto working = std::make_shared<WorkingDatabase>();
  working->name = name;
  working->db = newDatabase(toPalmText(name), creator, type);
  working->created = true;
  open_[name] = working;
  return working;
}

std::vector<std::string> HotSyncSession::openedDatabases() const {
  std::vector<std::string> names;
  for (const auto& [name, working] : open_) names.push_back(name);
  return names;
}

WorkingDatabase::Transfer HotSyncSession::transferOf(const std::string& name) const {
  auto found = open_.find(name);
  return found == open_.end() ? WorkingDatabase::Transfer::None : found->second->transfer;
}

std::shared_ptr<const WorkingDatabase> HotSyncSession::working(const std::string& name) const {
  auto found = open_.find(name);
  return found == open_.end() ? nullptr : found->second;
}

void HotSyncSession::commit(const std::string& name, bool clearDirty) {
  auto found = open_.find(name);
  if (found == open_.end()) return;
  WorkingDatabase& w = *found->second;
  bool changed = w.changed;
  if (clearDirty)
    for (PdbRecord& r : w.db.records)
      if (r.attributes & attr::kDirty) {
        r.attributes &= static_cast<std::uint8_t>(~attr::kDirty);
        changed = true;
      }
  if (w.changed) {
    w.db.header.modificationDate = palmNow();
    ++w.db.header.modificationNumber;
  }
  if (changed || w.created) handheld_.write(name, w.db);
  w.changed = false;
  w.created = false;
}

size_t WorkingDatabase::find(std::uint32_t id) {
  if (!indexed_) {
    byId_.clear();
    for (size_t i = 0; i < db.records.size(); ++i) byId_[db.records[i].uniqueId] = i;
    indexed_ = true;
  }
  auto found = byId_.find(id);
  return found == byId_.end() ? npos : found->second;
}

void WorkingDatabase::append(PdbRecord record) {
  ++written;
  if (indexed_) byId_[record.uniqueId] = db.records.size();
  db.records.push_back(std::move(record));
  changed = true;
}

size_t WorkingDatabase::removeIf(const std::function<bool(const PdbRecord&)>& remove) {
  auto end = std::remove_if(db.records.begin(), db.records.end(), remove);
  size_t removed = static_cast<size_t>(db.records.end() - end);
  if (removed) {
    this->removed += removed;
    db.records.erase(end, db.records.end());
    indexed_ = false;
    changed = true;
  }
  return removed;
}

void HotSyncSession::rollback(const std::string& name) { open_.erase(name); }

}  // namespace pelorix::palm
