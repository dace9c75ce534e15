// pelorix status: what Pelorix serves and how, in one place.

#include <cstdio>
#include <filesystem>

#include "base/ascii_case.h"
#include "commands.h"
#include "host/settings.h"
#include "palm/conduit_entries.h"
#include "palm/handheld.h"
#include "palm/hotsync_manager.h"

namespace pelorix::cli {

namespace {

const char* kHelp =
    "usage: pelorix status [handheld-folder]\n"
    "\n"
    "For each application: whether Pelorix serves it (and the conduit it gives it back to),\n"
    "its program name, the HotSync action waiting for the next HotSync only, and, given the\n"
    "handheld folder, when its database last completed a HotSync. Then the connection.\n";

std::string actionName(const std::string& code) {
  static const char* const kNames[] = {"synchronize",
                                       "slow synchronize",
                                       "the handheld overwrites the desktop",
                                       "the desktop overwrites the handheld",
                                       "install",
                                       "backup",
                                       "do nothing"};
  auto n = palm::parseSyncType(code);
  return n && *n >= 0 && *n <= 6 ? kNames[*n] : code;
}

}  // namespace

int statusCommand(const Args& args) {
  if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (args.size() > 1) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  std::map<std::string, std::string> state;
  if (!args.empty()) state = palm::Handheld(args[0]).state();

  auto settings = desktop::SettingsStore::user();
  auto entries = palm::ConduitEntries::user();
  auto get = [&](const char* section, const char* key) {
    return settings.get(host::sectionKey(section), key).value_or("");
  };
  std::printf("# settings %s\n# conduit entries %s\n", settings.file().c_str(), entries.file().c_str());
  for (const palm::Application& app : palm::applications()) {
    std::printf("\n%s (%s)\n", app.name, app.key);
    auto entry = entries.entry(app.creator);
    auto served = entries.comClass(app.creator);
    if (served && pelorix::upperAscii(*served) == "PELX.CNOTIFY") {
      std::string old = get(app.section, host::kOldDllKey);
      std::printf("  served by      Pelorix (unregistering gives it back to %s)\n",
                  old.empty() ? "no conduit" : old.c_str());
    } else if (entry) {
      std::printf("  served by      %s, not Pelorix\n", entry->dll.c_str());
    } else {
      std::printf("  served by      no conduit (no entry)\n");
    }
    std::string program = get(app.section, host::kProgramNameKey);
    std::printf("  program        %s\n", program.empty() ? "(none)" : program.c_str());
    std::string perm = entries.value(app.creator, "SyncPerm").value_or("");
    std::string temp = entries.value(app.creator, "SyncTemp").value_or("");
    std::printf("  action         %s\n", perm.empty() ? "synchronize" : actionName(perm).c_str());
    if (!temp.empty()) std::printf("  next HotSync   %s (once)\n", actionName(temp).c_str());
    if (!args.empty()) {
      auto last = state.find(std::string("LastSync.") + app.database);
      std::printf("  last HotSync   %s\n", last == state.end() ? "never" : last->second.c_str());
    }
  }
  auto connection = [&](const char* key) { return get(host::kConnectionSection, key); };
  std::printf("\nConnection\n");
  std::string os = connection(host::kOSTypeKey);
  if (os == "1") {
    std::printf("  type           1 Brasq, connection %s\n", connection(host::kBrasqHostNameKey).c_str());
  } else if (os == "2") {
    std::printf("  type           2 D3/Objects (ODBC), data source %s%s\n",
                connection(host::kODBCDataSourceKey).c_str(),
                connection(host::kDOAKey) == "1" ? ", with DOA controls" : "");
  } else if (os == "3") {
    std::string hostName = connection(host::kUniHostNameKey), user = connection(host::kUserNameKey);
    std::printf("  type           3 UniObjects (%s)\n  host           %s\n  account        %s\n  user           %s\n",
                connection(host::kUniTypeKey) == "1" ? "UniData" : "UniVerse",
                hostName.empty() ? "(this machine)" : hostName.c_str(), connection(host::kAccountNameKey).c_str(),
                user.empty() ? "(none)" : user.c_str());
  } else {
    std::printf("  type           not set (pelorix config set Connection OSType 3)\n");
  }
  return 0;
}

}  // namespace pelorix::cli
