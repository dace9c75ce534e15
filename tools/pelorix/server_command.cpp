#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "desktop/class_registry.h"

namespace pelorix::cli {

namespace fs = std::filesystem;

namespace {

// In the build folder the plug-ins lie beside the program; installed, in
// lib/pelorix under its prefix.
std::string besideProgram(const char* library) {
  std::error_code ec;
  fs::path folder = fs::read_symlink("/proc/self/exe", ec).parent_path();
  fs::path installed = folder.parent_path() / "lib" / "pelorix" / library;
  if (!fs::exists(folder / library, ec) && fs::exists(installed, ec)) return installed.string();
  return (folder / library).string();
}

void ensureRegistered(const char* progId, const char* library) {
  auto entry = desktop::ClassRegistry::lookup(desktop::SettingsStore::user(), progId);
  std::error_code ec;
  if (entry && fs::exists(entry->second, ec)) return;
  desktop::ClassRegistry::instance().registerLibrary(besideProgram(library));
}

}  // namespace

std::string bundledComponent() { return besideProgram("pelx.so"); }

// A connector for a production host registered by its own setup is kept.
void ensureComponentRegistered() {
  ensureRegistered("Pelx.CNotify", "pelx.so");
  ensureRegistered("trivex3.Host", "mvhost.so");
}

int serverCommand(const Args& args) {
  if (args.empty() || args[0] == "--help" || (args[0] != "register" && args[0] != "unregister")) {
    std::fprintf(args.empty() ? stderr : stdout,
                 "usage: pelorix server register|unregister [library]\n"
                 "Runs DllRegisterServer or DllUnregisterServer of a server library, which enters its\n"
                 "classes in (or takes them out of) the class registry of this user's settings.\n");
    return args.empty() ? 2 : (args[0] == "--help" ? 0 : 2);
  }
  std::string library = args.size() > 1 ? fs::absolute(args[1]).string() : bundledComponent();
  if (args[0] == "register") {
    desktop::ClassRegistry::instance().registerLibrary(library);
  } else {
    desktop::ClassRegistry::instance().unregisterLibrary(library);
    // A production connector gone, the embedded host serves its ProgIDs again.
    if (fs::path(library).filename() != "mvhost.so") ensureRegistered("trivex3.Host", "mvhost.so");
  }
  std::printf("%s: %sed\n", library.c_str(), args[0].c_str());
  for (const char* progId : {"trivex1.Host", "trivex2.Host", "trivex3.Host"})
    if (auto entry = desktop::ClassRegistry::lookup(desktop::SettingsStore::user(), progId))
      std::printf("%s: served by %s\n", progId, entry->second.c_str());
  return 0;
}

}  // namespace pelorix::cli
