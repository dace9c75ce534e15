#pragma once
// The running HotSync of one application, as the HotSync Manager knows it:
// what was asked, the log, and the working copies of the databases the
// conduit opened. The suite's objects reach it through current().

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "com/variant.h"
#include "palm/handheld.h"

namespace pelorix::palm {

struct HotSyncRequest {
  std::int32_t syncType = 0;
  std::string pathName;   // the user's conduit folder on the desktop
  std::string localName;  // the database's local file name
  std::string infoText;
  std::string userName;
  com::DateTime userDate;  // the last HotSync of this handheld with this desktop
  std::vector<std::string> databaseNames;
  std::uint32_t creator = 0;
  std::uint32_t dbType = 0;
};

struct LogEntry {
  std::string text;
  std::int32_t activity = 0;
  bool flag1 = false;
  bool flag2 = false;
};

// A database as the conduit sees it during the HotSync. Changes stay here
// until the HotSync Manager commits them.
struct WorkingDatabase {
  enum class Transfer { None, Completed, Failed };

  std::string name;
  PdbDatabase db;
  bool created = false;
  bool changed = false;
  // What the conduit reported of its record transfer: a completed one is
  // saved with its dirty flags cleared, a failed one is dropped.
  Transfer transfer = Transfer::None;
  std::string failure;  // why the transfer failed, or what failed beside a completed one
  // Saved before the host was told of its records: a failure after that
  // keeps what was saved instead of rolling back.
  bool checkpointed = false;
  // New host records written under these ids (host key, id) whose ids the
  // host has not confirmed yet; saved with the records at each checkpoint.
  std::vector<std::pair<std::string, std::uint32_t>> pendingIds;
  Handheld::Pending saved;          // what is kept beside the file
  std::uint32_t savedSeed = 0;      // the unique-id seed the file holds
  size_t written = 0, removed = 0;  // records, for the HotSync's summary
  size_t sent = 0;                  // records the conduit read
  std::vector<std::string> notes;   // what the HotSync log should tell about the file

  // Position of the record with the id, or npos.
  size_t find(std::uint32_t id);
  void append(PdbRecord record);
  // Removes the records that match; returns how many went.
  size_t removeIf(const std::function<bool(const PdbRecord&)>& remove);
  // Marks one record removed: find() no longer sees it, and it leaves
  // db.records at the next compact(), so that many removals cost one pass.
  void removeAt(size_t pos);
  // Drops the records marked removed; an iteration point before or at a
  // removed record moves with the records.
  void compact(size_t* position = nullptr);

  static constexpr size_t npos = static_cast<size_t>(-1);

 private:
  std::unordered_map<std::uint32_t, size_t> byId_;
  bool indexed_ = false;
  std::vector<bool> doomed_;  // by position; empty when nothing is marked
};

class HotSyncSession {
 public:
  using LogSink = std::function<void(const LogEntry&)>;

  // Becomes current() until it ends; sessions do not nest.
  HotSyncSession(const Handheld& handheld, HotSyncRequest request, LogSink sink = {});
  ~HotSyncSession();
  HotSyncSession(const HotSyncSession&) = delete;
  HotSyncSession& operator=(const HotSyncSession&) = delete;

  // ComError when no HotSync is running.
  static HotSyncSession& current();

  const HotSyncRequest& request() const { return request_; }
  const Handheld& handheld() const { return handheld_; }

  void log(const LogEntry& entry);
  // Reports a database's progress to whoever watches, every so many records.
  using ProgressSink = std::function<void(const std::string&, size_t, size_t)>;
  void watchProgress(ProgressSink sink) { progress_ = std::move(sink); }
  void moved(const WorkingDatabase& database);
  const std::vector<LogEntry>& logEntries() const { return log_; }

  // The working copy of an existing database (PdbFormatError when corrupt,
  // std::out_of_range when missing); one copy per database and session.
  // Why a database could not be opened is kept for failures().
  std::shared_ptr<WorkingDatabase> open(const std::string& name);
  std::shared_ptr<WorkingDatabase> create(const std::string& name, std::uint32_t creator, std::uint32_t type);
  std::vector<std::string> openedDatabases() const;
  WorkingDatabase::Transfer transferOf(const std::string& name) const;
  // The working copy of an opened database, or nullptr.
  std::shared_ptr<const WorkingDatabase> working(const std::string& name) const;

  // Databases that could be neither opened nor created, with the reason.
  const std::map<std::string, std::string>& failures() const { return failures_; }

  // Writes a database's changes to its file; with clearDirty the records'
  // dirty flags are cleared too, as after a completed HotSync.
  void commit(const std::string& name, bool clearDirty);
  // Saves the database before the host hears of it: with records, the ids
  // not yet confirmed first, then the records with their dirty flags
  // cleared; without, as it stands (its categories).
  void checkpoint(const std::string& name, bool records);
  // The transfer completed and the host confirmed the new ids: saves the
  // rest and forgets the ids.
  void finish(const std::string& name);
  // Forgets a database's changes since its last checkpoint. Unique ids
  // handed out meanwhile stay used.
  void rollback(const std::string& name);

 private:
  const Handheld& handheld_;
  HotSyncRequest request_;
  LogSink sink_;
  std::vector<LogEntry> log_;
  std::map<std::string, std::shared_ptr<WorkingDatabase>> open_;
  std::map<std::string, std::string> failures_;
  ProgressSink progress_;
};

}  // namespace pelorix::palm
