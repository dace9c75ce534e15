#include <unistd.h>

#include <cstdio>

#include "commands.h"
#include "palm/hotsync_manager.h"

namespace pelorix::cli {

namespace {

const char* kHelp =
    "usage: pelorix hotsync [options] <handheld-folder>\n"
    "\n"
    "Synchronises a handheld, a folder of Palm database files (AddressDB.pdb, DatebookDB.pdb,\n"
    "MemoDB.pdb, ToDoDB.pdb), with the MultiValue host, as the HotSync Manager would: the\n"
    "conduit of each application runs in turn and its changes are saved when it completes.\n"
    "A database that is missing is created.\n"
    "\n"
    "options:\n"
    "  -t, --type TYPE    what the HotSync does:\n"
    "                       fast                          changed records only\n"
    "                       slow                          every handheld record\n"
    "                       handheld-overwrites-desktop   the host takes the handheld's records\n"
    "                       desktop-overwrites-handheld   the handheld takes the host's records\n"
    "                       install, backup, nothing      log only, move no records\n"
    "                     default: slow the first time this desktop syncs the handheld, fast after\n"
    "  -u, --user NAME    the handheld's user (default: as last time, else the folder's name)\n"
    "  -a, --app APP      only this application: address, datebook, memo or todo (repeatable)\n"
    "  -q, --quiet        do not print the log lines\n"
    "  -h, --help         this text\n"
    "\n"
    "Each application is served by the conduit its conduit entry names (pelorix register),\n"
    "with the HotSync action chosen for it (pelorix configure); --type overrides the action.\n"
    "\n"
    "The log is printed as the HotSync goes and appended to HotSync.log in the user's folder\n"
    "under the configuration folder ($PELORIX_CONFIG_DIR, else $XDG_CONFIG_HOME/pelorix).\n"
    "Exit status: 0 when every application completed, 1 otherwise, 2 for a usage error.\n";

}  // namespace

int hotsyncCommand(const Args& args) {
  palm::HotSyncOptions options;
  bool quiet = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    if (a == "-h" || a == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "-t" || a == "--type") {
      const std::string& type = value();
      options.syncType = palm::parseSyncType(type);
      if (!options.syncType) {
        std::fprintf(stderr, "pelorix hotsync: unknown sync type \"%s\"\n", type.c_str());
        return 2;
      }
    } else if (a == "-u" || a == "--user") {
      options.userName = value();
    } else if (a == "-a" || a == "--app") {
      options.applications.push_back(value());
    } else if (a == "-q" || a == "--quiet") {
      quiet = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "pelorix hotsync: unknown option %s\n%s", a.c_str(), kHelp);
      return 2;
    } else if (options.handheld.empty()) {
      options.handheld = a;
    } else {
      std::fprintf(stderr, "pelorix hotsync: one handheld folder only\n");
      return 2;
    }
  }
  if (options.handheld.empty()) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  ensureComponentRegistered();
  auto entries = palm::ConduitEntries::user();
  options.entries = &entries;
  // A progress line on a terminal only, written over by the next line.
  bool progressShown = false;
  if (!quiet && ::isatty(STDOUT_FILENO))
    options.progress = [&](const std::string& database, size_t sent, size_t received) {
      std::printf("\r\033[K  %s: %zu sent, %zu received", database.c_str(), sent, received);
      std::fflush(stdout);
      progressShown = true;
    };
  auto print = [&](const std::string& line) {
    if (quiet) return;
    if (progressShown) std::printf("\r\033[K");
    progressShown = false;
    std::printf("%s\n", line.c_str());
  };
  palm::HotSyncResult result = palm::runHotSync(options, print);
  return result.ok() ? 0 : 1;
}

}  // namespace pelorix::cli
