// pelorix register / unregister / uninstall / configure, run as a script runs them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "com/settings_store.h"
#include "palm/conduit_entries.h"
#include "support/test_support.h"

namespace pelorix {
namespace {

struct Outcome {
  int status;
  std::string err;
};

Outcome run(const std::string& arguments, const std::string& environment = "") {
  test::TempDir dir;
  std::string command = environment + " " + std::string(PELORIX_BIN_DIR) + "/pelorix " + arguments + " >/dev/null 2>" +
                        (dir / "err").string() + " </dev/null";
  int status = std::system(command.c_str());
  std::ifstream err(dir / "err");
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          std::string((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>())};
}

std::uint32_t id(const char* c) { return *palm::ConduitEntries::creatorId(c); }

TEST(SetupCommands, RegisterAndUnregisterFollowTheEntriesAndTheActiveKeys) {
  test::IsolatedConfig config;
  Outcome r = run("register memo todo");
  EXPECT_EQ(r.status, 0) << r.err;
  auto entries = palm::ConduitEntries::user();
  EXPECT_EQ(entries.comClass(id("memo")), "Pelx.CNotify");
  EXPECT_EQ(entries.comClass(id("todo")), "Pelx.CNotify");
  EXPECT_FALSE(entries.comClass(id("addr")));
  auto settings = com::SettingsStore::user();
  EXPECT_EQ(settings.get("Software\\Pelorix\\MemoPad", "Active"), "1");
  EXPECT_EQ(settings.get("Software\\Pelorix\\MemoPad", "OldDll"), "MemoConduit.DLL");

  r = run("unregister memo");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(entries.entry(id("memo"))->dll, "MemoConduit.DLL");
  EXPECT_EQ(settings.get("Software\\Pelorix\\MemoPad", "Active"), "0");

  r = run("uninstall");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(entries.comClass(id("todo")));
  EXPECT_EQ(settings.get("Software\\Pelorix\\ToDoList", "Active"), "0") << "uninstall unticks as unregister does";
}

// An action kept for an entry Pelorix does not serve would run at the first
// HotSync after registration, whatever the user forgot it was.
TEST(SetupCommands, ConfigureRefusesAnApplicationPelorixDoesNotServeAndKeepsNothing) {
  test::IsolatedConfig config;
  const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
  auto entries = palm::ConduitEntries::user();
  Outcome r = run("configure memo", noDisplay);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Pelorix does not serve the Memo Pad (its conduit is MemoConduit.DLL)"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("pelorix register memo"), std::string::npos) << r.err;
  EXPECT_EQ(entries.value(id("memo"), "SyncTemp"), "");

  com::SettingsStore(entries.file()).removeKey("Conduits\\746F646F");
  r = run("configure todo", noDisplay);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Pelorix does not serve the To Do List (it has no conduit)"), std::string::npos) << r.err;
  EXPECT_FALSE(entries.value(id("todo"), "Conduit")) << "no entry is made";
}

TEST(SetupCommands, FailuresGoToStandardErrorWithAnExitStatus) {
  test::IsolatedConfig config;
  auto entries = palm::ConduitEntries::user();
  com::SettingsStore(entries.file()).removeKey("Conduits\\6D656D6F");
  Outcome r = run("register memo address");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Unable to find the Creator ID.  Conduit not likely installed.\n"
            "The default Conduit must be installed by installing the Palm Desktop.\n");
  EXPECT_EQ(entries.comClass(id("addr")), "Pelx.CNotify") << "the other application is still handled";

  EXPECT_EQ(run("register calculator").status, 2);
  EXPECT_EQ(run("register").status, 2);
}

TEST(SetupCommands, WithoutADisplayTheDialogsSaySoInsteadOfWaiting) {
  test::IsolatedConfig config;
  ASSERT_EQ(run("register memo").status, 0);
  Outcome r = run("configure memo", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("There is no display to show the dialog on"), std::string::npos) << r.err;
  r = run("setup", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
  EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace pelorix
