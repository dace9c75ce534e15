// pelorix register / unregister / uninstall / configure, run as a script runs them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "desktop/settings_store.h"
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
  auto settings = desktop::SettingsStore::user();
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

  desktop::SettingsStore(entries.file()).removeKey("Conduits\\746F646F");
  r = run("configure todo", noDisplay);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Pelorix does not serve the To Do List (it has no conduit)"), std::string::npos) << r.err;
  EXPECT_FALSE(entries.value(id("todo"), "Conduit")) << "no entry is made";
}

TEST(SetupCommands, FailuresGoToStandardErrorWithAnExitStatus) {
  test::IsolatedConfig config;
  auto entries = palm::ConduitEntries::user();
  desktop::SettingsStore(entries.file()).removeKey("Conduits\\6D656D6F");
  Outcome r = run("register memo address");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Unable to find the Creator ID.  Conduit not likely installed.\n"
                        "The default Conduit must be installed by installing the Palm Desktop.\n"
                        "Application: Memo Pad\n",
                        0),
            0u)
      << r.err;
  EXPECT_NE(r.err.find(entries.file().string() + "; if it is damaged or an entry is missing, delete it to start "
                                                 "again from the default entries."),
            std::string::npos)
      << r.err;
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
  EXPECT_NE(r.err.find("pelorix config set"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("pelorix register"), std::string::npos) << r.err;

  // A display that is named but gone must not end in Qt's abort.
  r = run("setup", "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("There is no display to show the dialog on (the X display :97 cannot be reached)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("Reinstalling"), std::string::npos) << r.err;
}

TEST(SetupCommands, RegisterWarnsOfWhatTheHotSyncWillLack) {
  test::IsolatedConfig config;
  Outcome r = run("register memo");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: no connection is set"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("warning: the Memo Pad has no program name"), std::string::npos) << r.err;
  ASSERT_EQ(run("config set Connection OSType 3").status, 0);
  ASSERT_EQ(run("config set MemoPad mvProgName SYNC.MEMOS").status, 0);
  r = run("register memo");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(SetupCommands, ConfigSetRefusesValuesTheHotSyncCannotUse) {
  test::IsolatedConfig config;
  auto settings = desktop::SettingsStore::user();
  for (const char* bad :
       {"Connection OSType 4", "Connection OSType 0", "connection ostype three", "Connection DOA 2",
        "Connection UniType yes", "MemoPad Active 2", "Host MaxSteps 0", "Host MaxSteps -5", "Host MaxSteps 12x",
        "Host LockWait 86401", "Host MaxValueSize 0", "Host MaxValueSize 5000", "Host MaxSeconds 1.5"}) {
    Outcome r = run(std::string("config set ") + bad);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find(" must be "), std::string::npos) << bad << ": " << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(settings.file())) << "nothing refused was written";
  Outcome r = run("config set Connection OSType 4");
  EXPECT_NE(r.err.find("OSType must be 1 (Brasq), 2 (D3/Objects (ODBC)) or 3 (UniObjects), not \"4\""),
            std::string::npos)
      << r.err;
  EXPECT_NE(run("config set Mail Box 1").err.find("no section \"Mail\""), std::string::npos);
  EXPECT_NE(run("config set Connection Port 1").err.find("no key \"Port\""), std::string::npos);

  for (const char* good : {"connection ostype 3", "Connection DOA 0", "Connection UniType 1", "ToDoList Active 1",
                           "Host MaxSteps 500", "Host LockWait 5", "Host MaxValueSize 4096", "Host MaxSeconds 60",
                           "Connection UniHostName 'mv.example.com:4243'"})
    EXPECT_EQ(run(std::string("config set ") + good).status, 0) << good;
  EXPECT_EQ(settings.get("Software\\Pelorix\\Connection", "OSType"), "3");
  EXPECT_EQ(settings.get("Software\\Pelorix\\Host", "MaxValueSize"), "4096");
}

TEST(StatusCommand, TellsEachApplicationsConduitProgramActionsAndLastHotSync) {
  test::IsolatedConfig config;
  ASSERT_EQ(run("config set Connection OSType 3").status, 0);
  ASSERT_EQ(run("config set Connection AccountName /srv/SALES").status, 0);
  ASSERT_EQ(run("config set MemoPad mvProgName SYNC.MEMOS").status, 0);
  ASSERT_EQ(run("register memo").status, 0);
  auto entries = palm::ConduitEntries::user();
  entries.setValue(id("memo"), "SyncTemp", "3");
  entries.setValue(id("todo"), "SyncPerm", "6");
  test::TempDir handheld;
  std::ofstream(handheld / "HotSync.state") << "LastSync=2026-12-01 10:00:00\nLastSync.MemoDB=2026-12-01 10:00:05\n";

  test::TempDir dir;
  std::string command = std::string(PELORIX_BIN_DIR) + "/pelorix status " + handheld.path().string() + " >" +
                        (dir / "out").string() + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(dir / "out");
  std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto section = [&](const std::string& name) {
    size_t from = out.find("\n" + name + " (");
    EXPECT_NE(from, std::string::npos) << name << "\n" << out;
    return from == std::string::npos ? "" : out.substr(from, out.find("\n\n", from + 1) - from);
  };
  std::string memo = section("Memo Pad"), todo = section("To Do List"), address = section("Address Book");
  EXPECT_NE(memo.find("Pelorix (unregistering gives it back to MemoConduit.DLL)"), std::string::npos) << memo;
  EXPECT_NE(memo.find("program        SYNC.MEMOS"), std::string::npos) << memo;
  EXPECT_NE(memo.find("next HotSync   the desktop overwrites the handheld (once)"), std::string::npos) << memo;
  EXPECT_NE(memo.find("last HotSync   2026-12-01 10:00:05"), std::string::npos) << memo;
  EXPECT_NE(todo.find("ToDoConduit.DLL, not Pelorix"), std::string::npos) << todo;
  EXPECT_NE(todo.find("action         do nothing"), std::string::npos) << todo;
  EXPECT_EQ(todo.find("next HotSync"), std::string::npos) << todo;
  EXPECT_NE(todo.find("last HotSync   never"), std::string::npos) << todo;
  EXPECT_NE(address.find("program        (none)"), std::string::npos) << address;
  EXPECT_NE(out.find("type           3 UniObjects"), std::string::npos) << out;
  EXPECT_NE(out.find("account        /srv/SALES"), std::string::npos) << out;
}

}  // namespace
}  // namespace pelorix
