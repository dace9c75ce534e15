#include "palm/hotsync_session.h"

#include <algorithm>
#include <stdexcept>

#include "com/com_error.h"
#include "palm/hotsync_manager.h"
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

void HotSyncSession::moved(const WorkingDatabase& database) {
  if (progress_ && (database.sent + database.written) % 200 == 0)
    progress_(database.name, database.sent, database.written);
}

std::shared_ptr<WorkingDatabase> HotSyncSession::open(const std::string& name) {
  if (auto found = open_.find(name); found != open_.end()) return found->second;
  if (!handheld_.has(name)) throw std::out_of_range("the handheld has no database " + name);
  auto working = std::make_shared<WorkingDatabase>();
  working->name = name;
  try {
    handheld_.checkWritable(name);
    working->db = handheld_.read(name);
    // A file named for one application but holding another's records would
    // be filled with the wrong layout on both sides.
    std::string header = fromPalmText(working->db.name());
    if (header != name)
      throw PdbFormatError(handheld_.fileOf(name).string() + " holds the database \"" + header + "\", not " + name);
    const Application* owner = findApplication(name);
    if (owner && working->db.header.creator != owner->creator)
      throw PdbFormatError(handheld_.fileOf(name).string() + " belongs to the application '" +
                           fourCCText(working->db.header.creator) + "', not '" + fourCCText(owner->creator) + "'");
    working->saved = handheld_.pending(name);
  } catch (const std::exception& e) {
    failures_[name] = e.what();
    throw;
  }
  working->pendingIds = working->saved.ids;
  // An id the host may still learn, or that a rolled-back HotSync handed
  // out, must not go to another record.
  for (const auto& [key, id] : working->pendingIds) working->db.reserveUniqueId(id);
  if (working->saved.seed > 0) working->db.reserveUniqueId(working->saved.seed - 1);
  // Records without an id get one, as Palm OS gives them when it installs a
  // database; without it each would be taken for a new record every time.
  // Saved at once, so that the host only ever hears of these ids.
  size_t unnumbered = 0;
  for (PdbRecord& r : working->db.records)
    if (r.uniqueId == 0) {
      r.uniqueId = working->db.allocateUniqueId();
      ++unnumbered;
    }
  if (unnumbered) {
    try {
      handheld_.write(name, working->db);
    } catch (const std::exception& e) {
      failures_[name] = e.what();
      throw;
    }
    working->notes.push_back(std::to_string(unnumbered) + (unnumbered == 1 ? " record" : " records") +
                             " without a unique id got one");
  }
  working->savedSeed = working->db.header.uniqueIdSeed;
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
  failures_.erase(name);
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
  w.compact();
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
  w.savedSeed = w.db.header.uniqueIdSeed;
}

void HotSyncSession::checkpoint(const std::string& name, bool records) {
  auto found = open_.find(name);
  if (found == open_.end()) return;
  if (records) {
    // The ids first: should the records not follow, an id kept for nothing
    // is only written over again, while a record whose id was not kept
    // would be added a second time.
    WorkingDatabase& w = *found->second;
    if (!w.pendingIds.empty() && w.pendingIds != w.saved.ids) {
      handheld_.setPending(name, {w.pendingIds, w.saved.seed});
      w.saved.ids = w.pendingIds;
    }
    w.checkpointed = true;
  }
  commit(name, records);
}

void HotSyncSession::finish(const std::string& name) {
  auto found = open_.find(name);
  if (found == open_.end()) return;
  commit(name, true);
  found->second->pendingIds.clear();
  found->second->saved = {};
  handheld_.setPending(name, {});
}

size_t WorkingDatabase::find(std::uint32_t id) {
  if (!indexed_) {
    byId_.clear();
    for (size_t i = 0; i < db.records.size(); ++i)
      if (doomed_.empty() || !doomed_[i]) byId_[db.records[i].uniqueId] = i;
    indexed_ = true;
  }
  auto found = byId_.find(id);
  return found == byId_.end() ? npos : found->second;
}

void WorkingDatabase::append(PdbRecord record) {
  if (!doomed_.empty()) doomed_.push_back(false);
  ++written;
  if (indexed_) byId_[record.uniqueId] = db.records.size();
  db.records.push_back(std::move(record));
  changed = true;
}

void WorkingDatabase::removeAt(size_t pos) {
  if (pos >= db.records.size()) return;
  if (doomed_.size() < db.records.size()) doomed_.resize(db.records.size());
  if (doomed_[pos]) return;
  doomed_[pos] = true;
  if (indexed_) byId_.erase(db.records[pos].uniqueId);
  ++removed;
  changed = true;
}

void WorkingDatabase::compact(size_t* position) {
  if (doomed_.empty()) return;
  doomed_.resize(db.records.size());
  size_t kept = 0;
  size_t movedPosition = position ? *position : 0;
  for (size_t i = 0; i < db.records.size(); ++i) {
    if (doomed_[i]) {
      if (position && i < *position) --movedPosition;
      continue;
    }
    if (kept != i) db.records[kept] = std::move(db.records[i]);
    ++kept;
  }
  db.records.resize(kept);
  if (position) *position = movedPosition;
  doomed_.clear();
  indexed_ = false;
}

size_t WorkingDatabase::removeIf(const std::function<bool(const PdbRecord&)>& remove) {
  compact();
  auto end = std::remove_if(db.records.begin(), db.records.end(), remove);
  size_t count = static_cast<size_t>(db.records.end() - end);
  if (count) {
    removed += count;
    db.records.erase(end, db.records.end());
    indexed_ = false;
    changed = true;
  }
  return count;
}

void HotSyncSession::rollback(const std::string& name) {
  auto found = open_.find(name);
  if (found == open_.end()) return;
  std::shared_ptr<WorkingDatabase> dropped = found->second;
  open_.erase(found);
  if (dropped->db.header.uniqueIdSeed <= dropped->savedSeed) return;
  // The file stays as it was; the seed beside it keeps the ids handed out
  // here from being handed out again.
  try {
    handheld_.setPending(name, {dropped->saved.ids, dropped->db.header.uniqueIdSeed});
  } catch (const std::exception&) {
    // No one was told of those ids; the next HotSync may use them again.
  }
}

}  // namespace pelorix::palm
