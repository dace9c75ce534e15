#include "palm/hotsync_manager.h"

#include <fstream>
#include <random>

#include "base/ascii_case.h"
#include "com/datetime.h"
#include "com/dispatch.h"
#include "desktop/atomic_file.h"
#include "desktop/class_registry.h"
#include "desktop/desktop_log.h"
#include "desktop/settings_store.h"

namespace pelorix::palm {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDesktopKey = "Software\\Pelorix\\HotSync";

// This desktop's identity, made once, so that a handheld knows whether it
// last synchronised here.
std::string desktopId() {
  desktop::SettingsStore store = desktop::SettingsStore::user();
  if (auto id = store.get(kDesktopKey, "DesktopId")) return *id;
  std::random_device random;
  char buffer[20];
  std::snprintf(buffer, sizeof buffer, "%08x%08x", random(), random());
  store.set(kDesktopKey, "DesktopId", buffer);
  return buffer;
}

com::DateTime lastSync(const std::map<std::string, std::string>& state) {
  com::DateTime when{1462};  // 1904-01-01: never
  if (auto found = state.find("LastSync"); found != state.end()) com::parseDateTime(found->second, when);
  return when;
}

}  // namespace

std::optional<std::int32_t> parseSyncType(const std::string& text) {
  static const std::pair<const char*, SyncType> names[] = {
      {"fast", SyncType::Fast},
      {"slow", SyncType::Slow},
      {"handheld-overwrites-desktop", SyncType::HandheldOverwritesDesktop},
      {"desktop-overwrites-handheld", SyncType::DesktopOverwritesHandheld},
      {"install", SyncType::Install},
      {"backup", SyncType::Backup},
      {"nothing", SyncType::DoNothing},
      {"do-nothing", SyncType::DoNothing}};
  for (const auto& [name, value] : names)
    if (pelorix::lowerAscii(text) == name) return static_cast<std::int32_t>(value);
  double number;
  if (com::parseNumber(text, number) && number == static_cast<std::int32_t>(number))
    return static_cast<std::int32_t>(number);
  return std::nullopt;
}

fs::path userFolder(const std::string& userName) {
  std::string safe;
  for (char c : userName) safe += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
  if (safe.empty() || safe == "." || safe == "..") safe = "_" + safe;
  return desktop::SettingsStore::configDir() / "users" / safe;
}

HotSyncResult runHotSync(const HotSyncOptions& options, const std::function<void(const std::string&)>& print) {
  Handheld handheld(options.handheld);
  desktop::FileLock lock(handheld.lockFile(), false);
  handheld.removeLeftovers();
  auto state = handheld.state();

  std::string desktop = desktopId();
  HotSyncResult result;
  auto fast = static_cast<std::int32_t>(SyncType::Fast), slow = static_cast<std::int32_t>(SyncType::Slow);
  result.syncType = options.syncType.value_or(state["LastDesktop"] == desktop ? fast : slow);

  std::string user = options.userName;
  if (user.empty())
    user = state.count("UserName") ? state["UserName"] : fs::absolute(options.handheld).filename().string();
  fs::path folder = userFolder(user);
  fs::create_directories(folder);
  // Written line by line, so that a run that is killed still leaves its lines.
  std::ofstream logFile(folder / "HotSync.log", std::ios::app);
  com::DateTime started = com::now();
  logFile << "HotSync started " << com::formatDateTime(started) << " (" << handheld.folder().string() << ")"
          << std::endl;

  auto emit = [&](const LogEntry& entry) {
    result.log.push_back(entry);
    logFile << "  " << entry.text << std::endl;
    if (print) print(entry.text);
  };
  auto note = [&](const std::string& text) {
    logFile << "  " << text << std::endl;
    if (print) print(text);
  };
  auto problem = [&](const std::string& text) {
    result.problems.push_back(text);
    logFile << "  ! " << text << std::endl;
    if (print) print("! " + text);
  };

  std::vector<const Application*> chosen;
  if (options.applications.empty())
    for (const Application& a : applications()) chosen.push_back(&a);
  for (const std::string& name : options.applications) {
    if (const Application* a = findApplication(name))
      chosen.push_back(a);
    else
      problem("no application called " + name);
  }

  bool allCompleted = true;
  for (const Application* app : chosen) {
    std::string progId = options.conduitProgId;
    std::int32_t syncType = result.syncType;
    // A database this desktop has not synchronised yet needs every record.
    if (!options.syncType && !state.count(std::string("LastSync.") + app->database)) syncType = slow;
    bool oneTimeAction = false;
    if (options.entries) {
      auto served = options.entries->comClass(app->creator);
      if (!served) {
        auto entry = options.entries->entry(app->creator);
        note(std::string(app->name) + ": served by " +
             (entry ? "another conduit (" + entry->dll + ")" : std::string("no conduit")) + ", skipped");
        continue;
      }
      progId = *served;
      if (!options.syncType) {
        std::string once = options.entries->value(app->creator, "SyncTemp").value_or("");
        std::string chosenAction = once.empty() ? options.entries->value(app->creator, "SyncPerm").value_or("") : once;
        oneTimeAction = !once.empty();
        if (auto action = parseSyncType(chosenAction); action && *action != fast) syncType = *action;
      }
    }
    HotSyncRequest request;
    request.syncType = syncType;
    request.pathName = folder.string();
    request.localName = app->database;
    request.infoText = app->name;
    request.userName = user;
    request.userDate = lastSync(state);
    request.databaseNames = {app->database};
    request.creator = app->creator;
    request.dbType = fourCC("DATA");

    note(std::string(app->name) + ":");
    size_t problemsBefore = result.problems.size();
    HotSyncSession session(handheld, request, emit);
    if (options.progress) session.watchProgress(options.progress);
    try {
      com::Ref<com::Object> conduit = desktop::ClassRegistry::instance().create(progId);
      com::callMethod(*conduit, "IPDClientNotify_BeginProcess");
    } catch (const std::exception& e) {
      problem(std::string(app->name) + ": the conduit could not run: " + e.what());
      allCompleted = false;
      continue;  // the session's working copies are dropped unwritten
    }
    for (const auto& [db, why] : session.failures()) problem(db + ": cannot be opened: " + why);
    for (const std::string& db : session.openedDatabases()) {
      auto transfer = session.transferOf(db);
      auto working = session.working(db);
      for (const std::string& text : working->notes) note("  " + db + ": " + text);
      if (transfer == WorkingDatabase::Transfer::Failed) {
        bool kept = working->checkpointed;
        std::string why = working->failure.empty() ? "the transfer did not complete" : working->failure;
        session.rollback(db);
        problem(db + ": " + why +
                (kept ? "; the handheld keeps what the host was told, the next HotSync completes the rest"
                      : "; the database is as it was") +
                " (" + desktop::desktopLogFile().string() + ")");
        continue;
      }
      auto plural = [](size_t n) { return std::to_string(n) + (n == 1 ? " record " : " records "); };
      note("  " + db +
           (transfer == WorkingDatabase::Transfer::Completed
                ? ": " + plural(working->written) + "written, " + plural(working->removed) + "removed"
                : ": no records moved"));
      try {
        if (transfer == WorkingDatabase::Transfer::Completed) {
          session.finish(db);
          state["LastSync." + db] = com::formatDateTime(com::now());
          if (!working->failure.empty()) problem(db + ": " + working->failure);
        } else {
          session.commit(db, false);
        }
        result.committed.push_back(db);
      } catch (const std::exception& e) {
        problem(db + ": changes not saved: " + e.what());
      }
    }
    bool completed = result.problems.size() == problemsBefore;
    allCompleted = allCompleted && completed;
    // A one-time action that did not complete is run again next time.
    if (oneTimeAction && completed) options.entries->removeValue(app->creator, "SyncTemp");
  }

  if (allCompleted) {
    state["LastDesktop"] = desktop;
    state["LastSync"] = com::formatDateTime(started);
  }
  state["UserName"] = user;
  try {
    handheld.setState(state);
  } catch (const std::exception& e) {
    problem(std::string("the handheld's HotSync state was not saved: ") + e.what());
  }
  logFile << "HotSync finished " << com::formatDateTime(com::now()) << (result.ok() ? "" : " with problems")
          << std::endl;
  return result;
}

}  // namespace pelorix::palm
