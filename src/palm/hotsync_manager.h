#pragma once
// Stands in for the HotSync Manager: runs one HotSync of a handheld folder,
// calling the conduit of each application and committing what it changed.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "palm/applications.h"
#include "palm/conduit_entries.h"
#include "palm/hotsync_session.h"
#include "palm/pddirect.h"

namespace pelorix::palm {

using pddirect::SyncType;
// "fast", "slow", ..., or a number; nullopt when unknown.
std::optional<std::int32_t> parseSyncType(const std::string& text);

struct HotSyncOptions {
  std::filesystem::path handheld;
  // nullopt: slow the first time this desktop syncs the handheld, else fast.
  std::optional<std::int32_t> syncType;
  std::string userName;                   // "" : the handheld's, else the folder's name
  std::vector<std::string> applications;  // empty: all four
  std::string conduitProgId = "Pelx.CNotify";
  // When set, each application is served by the class its conduit entry
  // names (skipped when the entry is not a COM conduit's), with the HotSync
  // action the user chose for it; else conduitProgId serves all four.
  ConduitEntries* entries = nullptr;
  // Called now and then while a database's records move: how many the
  // conduit has read from it (sent) and written to it (received).
  std::function<void(const std::string& database, size_t sent, size_t received)> progress;
};

struct HotSyncResult {
  std::int32_t syncType = 0;
  std::vector<LogEntry> log;
  std::vector<std::string> committed;
  std::vector<std::string> problems;  // what kept a database or conduit from completing
  bool ok() const { return problems.empty(); }
};

// The user's conduit folder, <config>/users/<name>.
std::filesystem::path userFolder(const std::string& userName);

// Prints or collects each log line as it is written.
HotSyncResult runHotSync(const HotSyncOptions& options, const std::function<void(const std::string&)>& print = {});

}  // namespace pelorix::palm
