// pelorix setup | configure | register | unregister | uninstall: the
// conduit's dialogs, and their registration steps without a window.

#include <cstdio>

#include "base/ascii_case.h"
#include "com/com_error.h"
#include "com/dispatch.h"
#include "commands.h"
#include "desktop/class_registry.h"
#include "host/settings.h"
#include "palm/conduit_entries.h"
#include "palm/hotsync_manager.h"
#include "palm/pdb_database.h"
#include "setup/dialogs.h"
#include "setup/registration.h"

namespace pelorix::cli {

namespace {

const char* kHelp =
    "usage: pelorix setup                      the Conduit Setup dialog\n"
    "       pelorix configure <app>            the HotSync action dialog of one application\n"
    "       pelorix register <app>...          serve the applications with Pelorix (as ticking\n"
    "                                          \"Use Pelorix.\" and saving the setup would)\n"
    "       pelorix unregister <app>...        give them back to their previous conduit\n"
    "       pelorix uninstall                  give all four back\n"
    "<app>: address, datebook, memo or todo\n";

// Messages go to standard error; remembers whether there was one.
struct ConsoleMessages {
  bool told = false;
  setup::DialogHandlers previous;
  ConsoleMessages() {
    previous = setup::setDialogHandlers({nullptr,
                                         [this](setup::MessageKind, const std::string& text) {
                                           told = true;
                                           std::string line = text;
                                           for (size_t p; (p = line.find("\r\n")) != std::string::npos;)
                                             line.replace(p, 2, "\n");
                                           std::fprintf(stderr, "%s\n", line.c_str());
                                         },
                                         nullptr});
  }
  ~ConsoleMessages() { setup::setDialogHandlers(std::move(previous)); }
};

// Where a user without the Palm Desktop gets the default entries back.
void entriesHint() {
  std::fprintf(stderr,
               "pelorix: the conduit entries are kept in %s; if it is damaged or an entry is missing, "
               "delete it to start again from the default entries.\n",
               palm::ConduitEntries::user().file().c_str());
}

// Without a window the same steps are commands.
int noDisplay(const std::string& command, const std::string& problem) {
  std::fprintf(stderr,
               "pelorix %s: %s (%s).\n"
               "Without a window, \"pelorix config set\" chooses the connection and the program names "
               "and \"pelorix register <app>\" serves an application (see pelorix config --help).\n",
               command.c_str(), setup::kNoDisplay, problem.c_str());
  return 1;
}

// Registering what cannot sync yet is allowed, as the dialog allows saving
// it, but the user hears of it now rather than at the HotSync.
void warnIncomplete(const std::vector<const palm::Application*>& apps, const desktop::SettingsStore& settings) {
  auto os = settings.get(host::sectionKey(host::kConnectionSection), host::kOSTypeKey).value_or("");
  if (os != "1" && os != "2" && os != "3")
    std::fprintf(stderr,
                 "pelorix register: warning: no connection is set; "
                 "choose one with \"pelorix config set Connection OSType 3\" (see pelorix config --help)\n");
  for (const palm::Application* app : apps) {
    if (settings.get(host::sectionKey(app->section), host::kProgramNameKey).value_or("").empty())
      std::fprintf(stderr,
                   "pelorix register: warning: the %s has no program name; set it with "
                   "\"pelorix config set %s %s <SUBROUTINE>\"\n",
                   app->name, app->section, host::kProgramNameKey);
  }
}

int registration(const Args& args, bool flag) {
  if (args.empty()) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  std::vector<const palm::Application*> apps;
  for (const std::string& name : args) {
    const palm::Application* app = palm::findApplication(name);
    if (!app) {
      std::fprintf(stderr, "pelorix: no application called %s\n%s", name.c_str(), kHelp);
      return 2;
    }
    apps.push_back(app);
  }
  ConsoleMessages messages;
  auto settings = desktop::SettingsStore::user();
  auto controls = setup::ConduitControls::create();
  bool ok = true;
  for (const palm::Application* app : apps) {
    settings.set(host::sectionKey(app->section), host::kActiveKey, flag ? "1" : "0");
    ok = setup::UpdateConduit(controls, settings, palm::fourCCText(app->creator), flag) && ok;
  }
  if (!ok || messages.told) {
    entriesHint();
    return 1;
  }
  if (flag) warnIncomplete(apps, settings);
  return 0;
}

int configure(const Args& args) {
  const palm::Application* app = args.size() == 1 ? palm::findApplication(args[0]) : nullptr;
  if (!app) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  auto entries = palm::ConduitEntries::user();
  // The action chosen would be kept for whichever conduit serves the
  // application, and would run at the first HotSync after registration.
  auto served = entries.comClass(app->creator);
  if (!served || pelorix::upperAscii(*served) != "PELX.CNOTIFY") {
    auto entry = entries.entry(app->creator);
    std::fprintf(stderr,
                 "pelorix configure: Pelorix does not serve the %s (%s); nothing was changed. "
                 "Run \"pelorix register %s\" first.\n",
                 app->name,
                 entry && !entry->dll.empty() ? ("its conduit is " + entry->dll).c_str() : "it has no conduit",
                 app->key);
    return 1;
  }
  if (auto problem = setup::displayProblem()) return noDisplay("configure", *problem);
  ensureComponentRegistered();
  auto conduit = desktop::ClassRegistry::instance().create("Pelx.CNotify");
  auto number = [](const std::optional<std::string>& text) {
    auto n = palm::parseSyncType(text.value_or(""));
    return com::Variant(n.value_or(0));
  };
  com::Variant perm = number(entries.value(app->creator, "SyncPerm"));
  com::Variant temp = number(entries.value(app->creator, "SyncTemp"));
  com::Variant chosen(std::int32_t{-1}), preference(std::int32_t{0});
  com::callMethod(*conduit, "IPDClientNotify_CfgConduit",
                  {std::int32_t(app->creator), std::int32_t{0}, std::string(), std::string(), com::Arg::ref(perm),
                   com::Arg::ref(temp), com::Arg::ref(chosen), com::Arg::ref(preference)});
  if (chosen.toInt32() < 0) {
    // A script must not take a cancelled dialog for a choice.
    std::fprintf(stderr, "pelorix configure: cancelled; the %s's HotSync action is unchanged\n", app->name);
    return 1;
  }
  std::string action = std::to_string(chosen.toInt32());
  bool always = preference.toInt32() == 1;
  if (always) {
    entries.setValue(app->creator, "SyncPerm", action);
    entries.removeValue(app->creator, "SyncTemp");
  } else {
    entries.setValue(app->creator, "SyncTemp", action);
  }
  static const char* const kActions[] = {
      "synchronize", "", "the handheld overwrites the desktop", "the desktop overwrites the handheld", "", "",
      "do nothing"};
  std::int32_t code = chosen.toInt32();
  std::printf("%s: %s, %s\n", app->name, code >= 0 && code <= 6 && *kActions[code] ? kActions[code] : action.c_str(),
              always ? "at every HotSync" : "at the next HotSync only");
  return 0;
}

}  // namespace

int setupCommand(const std::string& command, const Args& args) {
  if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (command == "register") return registration(args, true);
  if (command == "unregister") return registration(args, false);
  if (command == "configure") return configure(args);
  if (!args.empty()) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  if (command == "uninstall") {
    ConsoleMessages messages;
    auto settings = desktop::SettingsStore::user();
    auto controls = setup::ConduitControls::create();
    if (setup::UnInstall(controls, settings) && !messages.told) return 0;
    entriesHint();
    return 1;
  }
  if (auto problem = setup::displayProblem()) return noDisplay("setup", *problem);
  try {
    ensureComponentRegistered();
    auto conduit = desktop::ClassRegistry::instance().create("Pelx.CNotify");
    com::callMethod(*conduit, "ShowSetup");
  } catch (const std::exception& e) {
    // Started from a desktop menu, nobody reads standard error.
    std::string what = e.what();
    if (auto* com = dynamic_cast<const com::ComError*>(&e)) what = com->description();
    std::fprintf(stderr, "pelorix setup: %s\n", what.c_str());
    setup::showMessage(setup::MessageKind::Critical, "Conduit Setup could not open.\r\n" + what);
    return 1;
  }
  return 0;
}

}  // namespace pelorix::cli
