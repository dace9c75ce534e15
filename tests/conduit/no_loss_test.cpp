// No record lost or duplicated whatever fails: a host call that fails once
// at each position in turn, a process killed at each file write and at
// random instants, a full disk, an unreachable host, an unreadable file.
// After each, normal HotSyncs must bring both sides to what a run without
// the failure gives.

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "com/dispatch.h"
#include "conduit/sync_world.h"
#include "desktop/atomic_file.h"
#include "desktop/class_registry.h"
#include "mv/dynamic_array.h"
#include "palm/category_info.h"
#include "palm/handheld.h"
#include "palm/palm_text.h"

namespace pelorix::test {
namespace {

namespace fs = std::filesystem;
using com::Variant;

// Serves trivex3.Host with the embedded host (as trivex1.Host on the account
// folder) and fails the call numbered failAt, once.
class FailOnceHost : public com::Object {
 public:
  static inline int failAt = 0;
  static inline int calls = 0;
  static inline std::vector<int> codes;  // request code of each call

  com::DispId GetIDOfName(std::string_view name) override {
    if (pelorix::namesEqual(name, "HostName")) return kIgnored;
    if (pelorix::namesEqual(name, "CallHost")) return kCallHost;
    return inner_->GetIDOfName(pelorix::namesEqual(name, "AcctPath") ? "HostName" : name);
  }
  Variant Invoke(com::DispId id, com::InvokeKind kind, std::span<Variant> args) override {
    if (id == kIgnored) return {};
    if (id != kCallHost) return inner_->Invoke(id, kind, args);
    ++calls;
    std::string info = args.size() > 1 ? args[1].toText() : "";
    codes.push_back(std::atoi(info.substr(0, info.find(mv::AM)).c_str()));
    if (calls == failAt)
      com::raise(com::err::kFail, "trivex3.Host", "the host failed once, at call " + std::to_string(calls));
    return inner_->Invoke(inner_->GetIDOfName("CallHost"), kind, args);
  }

 private:
  static constexpr com::DispId kIgnored = 9001, kCallHost = 9002;
  com::Ref<com::Object> inner_ = desktop::ClassRegistry::instance().create("trivex1.Host");
};

// What one side holds, without the ids that a rerun may hand out anew.
struct Outcome {
  std::multiset<std::string> handheld, host;
  std::vector<std::string> palmCategories, hostCategories;
  bool operator==(const Outcome&) const = default;
};

std::string describe(const Outcome& o) {
  std::string s = "handheld:";
  for (const auto& r : o.handheld) s += " [" + r + "]";
  s += "\nhost:";
  for (const auto& r : o.host) s += " [" + r + "]";
  return s;
}

class NoLoss : public SyncWorld {
 protected:
  NoLoss() {
    desktop::ClassRegistry::instance().addBuiltin("trivex3.Host", [] { return com::make<FailOnceHost>(); });
    FailOnceHost::failAt = 0;
  }
  ~NoLoss() override { desktop::ClassRegistry::instance().removeBuiltin("trivex3.Host"); }

  palm::PdbDatabase memoDb() const { return palm::Handheld(handheld).read("MemoDB"); }
  void saveMemoDb(const palm::PdbDatabase& db) { palm::Handheld(handheld).write("MemoDB", db); }

  std::string hostItem(const std::string& id, int attribute) {
    return mv::Extract(account().read("MEMO.PAD", id).value_or(""), attribute, 0, 0);
  }
  void setHostItem(const std::string& id, int attribute, const std::string& value) {
    mv::Account a = account();
    std::string item = a.read("MEMO.PAD", id).value_or("");
    a.write("MEMO.PAD", id, mv::Replace(item, attribute, 0, 0, value));
  }

  // Changes on both sides since two HotSyncs: edits, deletions, an archive,
  // new records and a category renamed on each side.
  void prepare() {
    std::uint32_t edited = addMemo("to edit on the handheld");
    std::uint32_t deleted = addMemo("to delete on the handheld");
    std::uint32_t archived = addMemo("to archive on the handheld");
    addMemo("to edit on the host");
    addMemo("to delete on the host");
    addMemo("edited on both sides");
    ASSERT_TRUE(sync().ok());
    ASSERT_TRUE(sync().ok());

    setMemo(edited, "edited on the handheld");
    setMemo(deleted, "to delete on the handheld", 0xC0);
    setMemo(archived, "to archive on the handheld", 0xC8);
    addMemo("new on the handheld");
    palm::PdbDatabase db = memoDb();
    for (palm::PdbRecord& r : db.records) {
      std::string text = palm::fromPalmText(std::string(r.data.begin(), r.data.end()).c_str());
      std::string id = std::to_string(r.uniqueId);
      if (text == "to edit on the host") {
        setHostItem(id, 7, "edited on the host");
        setHostItem(id, 5, "1");
      } else if (text == "to delete on the host") {
        setHostItem(id, 6, "1");
      } else if (text == "edited on both sides") {
        setHostItem(id, 7, "both: the host's");
        setHostItem(id, 5, "1");
        std::string bytes = palm::toPalmText("both: the handheld's") + '\0';
        r.data.assign(bytes.begin(), bytes.end());
        r.attributes |= 0x40;
      }
    }
    palm::CategoryInfo categories(db.appInfo);
    categories.setLabel(1, palm::toPalmText("Clients"));
    categories.setRenamed(1, true);
    categories.storeInto(db.appInfo);
    saveMemoDb(db);
    account().write("MEMO.PAD", "CUST9",
                    std::string() + mv::AM + "0" + mv::AM + "0" + mv::AM + "0" + mv::AM + "1" + mv::AM + "0" + mv::AM +
                        "new on the host");
    mv::Account a = account();
    std::string list = a.read("PALM.CONTROL", "MEMO.PAD*CATEGORIES").value_or("");
    a.write("PALM.CONTROL", "MEMO.PAD*CATEGORIES", mv::Replace(mv::Replace(list, 2, 1, 0, "Suppliers"), 2, 2, 0, "1"));
  }

  // With check, both sides must also agree record by record, as they do
  // once the HotSyncs have settled.
  Outcome outcome(bool check = false) {
    Outcome o;
    palm::PdbDatabase db = memoDb();
    std::set<std::uint32_t> ids;
    std::map<std::uint32_t, std::string> texts;
    for (const palm::PdbRecord& r : db.records) {
      bool fresh = ids.insert(r.uniqueId).second;
      EXPECT_TRUE(fresh) << "id " << r.uniqueId << " twice";
      std::string text = palm::fromPalmText(std::string(r.data.begin(), r.data.end()).c_str());
      texts[r.uniqueId] = text;
      o.handheld.insert(text + "|" + std::to_string(r.attributes));
    }
    palm::CategoryInfo categories(db.appInfo);
    for (size_t i = 0; i < 16; ++i) o.palmCategories.push_back(palm::fromPalmText(categories.label(i)));
    for (const std::string& key : hostMemoKeys()) {
      std::string item = account().read("MEMO.PAD", key).value_or("");
      std::string id = mv::Extract(item, 1, 0, 0);
      if (check && !id.empty() && mv::Extract(item, 3, 0, 0) != "1") {
        // A record the handheld holds is keyed by its id there, with its text.
        std::string text = mv::Extract(item, 7, 0, 0);
        std::replace(text.begin(), text.end(), mv::SVM, '\n');
        EXPECT_EQ(key, id);
        EXPECT_EQ(texts[static_cast<std::uint32_t>(std::stoul(id))], text) << "item " << key;
      }
      o.host.insert(mv::Replace(item, 1, 0, 0, id.empty() ? "" : "id"));
    }
    std::string list = account().read("PALM.CONTROL", "MEMO.PAD*CATEGORIES").value_or("");
    for (int i = 1; i <= 15; ++i) o.hostCategories.push_back(mv::Extract(list, i, 1, 0));
    return o;
  }

  // HotSyncs without failures until neither side changes.
  Outcome settle(std::optional<std::int32_t> type) {
    if (type) {
      EXPECT_TRUE(sync(type).ok());
    }
    Outcome last = outcome();
    for (int round = 0; round < 4; ++round) {
      EXPECT_TRUE(sync().ok());
      Outcome now = outcome();
      if (now == last) return outcome(true);
      last = now;
    }
    ADD_FAILURE() << "the HotSyncs never settled";
    return last;
  }

  void snapshot() {
    copyTree(handheld, dir / "snapshot-handheld");
    copyTree(accountFolder, dir / "snapshot-host");
  }
  void restore() {
    copyTree(dir / "snapshot-handheld", handheld);
    copyTree(dir / "snapshot-host", accountFolder);
  }
  static void copyTree(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
  }
};

// Each sync type, the host failing once at each of its calls in turn.
class FailingOnce : public NoLoss, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(FailingOnce, EveryCallInTurnLosesAndDuplicatesNothing) {
  std::int32_t type = GetParam();
  prepare();
  snapshot();

  FailOnceHost::calls = 0;
  FailOnceHost::codes.clear();
  ASSERT_TRUE(sync(type).ok());
  std::vector<int> codes = FailOnceHost::codes;
  restore();
  // The one-time actions are run again after a failure; a fast or slow sync
  // is followed by the normal HotSync.
  std::optional<std::int32_t> rerun = type >= 2 ? std::optional(type) : std::nullopt;
  Outcome reference = settle(type);
  ASSERT_GE(codes.size(), 3u);

  for (size_t n = 1; n <= codes.size(); ++n) {
    SCOPED_TRACE("the host fails once at call " + std::to_string(n) + ", request " + std::to_string(codes[n - 1]));
    restore();
    FailOnceHost::calls = 0;
    FailOnceHost::failAt = static_cast<int>(n);
    palm::HotSyncResult failed = sync(type);
    FailOnceHost::failAt = 0;
    // Only the release of the categories (request 7) may fail and the
    // records still complete; every failure is reported.
    EXPECT_FALSE(failed.ok());
    Outcome after = settle(rerun);
    EXPECT_EQ(after, reference) << describe(after) << "\nreference:\n" << describe(reference);
  }
}

std::string syncTypeName(const ::testing::TestParamInfo<std::int32_t>& info) {
  static const char* names[] = {"Fast", "Slow", "HandheldOverwritesDesktop", "DesktopOverwritesHandheld"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(EachSyncType, FailingOnce, ::testing::Values(0, 1, 2, 3), syncTypeName);

// Runs `pelorix hotsync` for the memo pad; returns the wait status.
pid_t startHotsync(const fs::path& handheld, const std::map<std::string, std::string>& env,
                   const fs::path& output = "/dev/null") {
  pid_t child = ::fork();
  if (child == 0) {
    for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
    std::string program = (fs::path(PELORIX_BIN_DIR) / "pelorix").string();
    int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::execl(program.c_str(), program.c_str(), "hotsync", "-q", "-u", "Pat", "-a", "memo", handheld.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return child;
}

int hotsyncProcess(const fs::path& handheld, const std::map<std::string, std::string>& env,
                   std::chrono::microseconds killAfter = {}) {
  pid_t child = startHotsync(handheld, env);
  if (killAfter.count() > 0) {
    std::this_thread::sleep_for(killAfter);
    ::kill(child, SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

class Crashes : public NoLoss {
 protected:
  void SetUp() override {
    // The command's HotSync is served by the conduit entries.
    int status = 0;
    pid_t child = ::fork();
    if (child == 0) {
      std::string program = (fs::path(PELORIX_BIN_DIR) / "pelorix").string();
      ::execl(program.c_str(), program.c_str(), "register", "memo", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // More records than the sample, so that a random kill lands inside the work.
  void prepareMany(int each) {
    prepare();
    for (int i = 0; i < each; ++i) addMemo("handheld " + std::to_string(i));
    mv::Account a = account();
    for (int i = 0; i < each; ++i)
      a.write("MEMO.PAD", "NEW" + std::to_string(i),
              std::string() + mv::AM + "0" + mv::AM + "0" + mv::AM + "0" + mv::AM + "1" + mv::AM + "0" + mv::AM +
                  "host " + std::to_string(i));
  }
  std::vector<std::string> leftovers() {
    std::vector<std::string> found;
    for (const fs::path& root : {handheld, accountFolder})
      for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.path().filename().string().find(".tmp-") != std::string::npos) found.push_back(e.path().string());
    return found;
  }
};

TEST_F(Crashes, KilledAtEachFileWriteTheNextHotSyncsRepairEverything) {
  prepare();
  // The embedded host serves the command itself, as trivex3.Host.
  desktop::ClassRegistry::instance().removeBuiltin("trivex3.Host");
  snapshot();
  ASSERT_EQ(hotsyncProcess(handheld, {}), 0);
  Outcome reference = settle(std::nullopt);

  bool finished = false;
  for (int n = 1; n < 200 && !finished; ++n) {
    SCOPED_TRACE("killed at file operation " + std::to_string(n));
    restore();
    int status = hotsyncProcess(handheld, {{"PELORIX_CRASH_AT", std::to_string(n)}});
    finished = !(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ASSERT_EQ(hotsyncProcess(handheld, {}), 0);
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
    Outcome after = settle(std::nullopt);
    EXPECT_EQ(after, reference) << describe(after) << "\nreference:\n" << describe(reference);
  }
  EXPECT_TRUE(finished) << "the HotSync never ran to its end";
}

TEST_F(Crashes, KilledAtRandomInstantsTheNextHotSyncsRepairEverything) {
  prepareMany(150);
  desktop::ClassRegistry::instance().removeBuiltin("trivex3.Host");
  snapshot();
  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(hotsyncProcess(handheld, {}), 0);
  auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  Outcome reference = settle(std::nullopt);

  std::mt19937 random(20261207);
  for (int run = 0; run < 12; ++run) {
    auto at = std::chrono::microseconds(std::uniform_int_distribution<long>(1, whole.count())(random));
    SCOPED_TRACE("killed after " + std::to_string(at.count()) + " us");
    restore();
    hotsyncProcess(handheld, {}, at);
    hotsyncProcess(handheld, {});
    Outcome after = settle(std::nullopt);
    EXPECT_EQ(after, reference) << describe(after) << "\nreference:\n" << describe(reference);
  }
}

TEST_F(Crashes, TwoHotSyncsOfOneHandheldAtOnceNeverInterleave) {
  prepareMany(60);
  desktop::ClassRegistry::instance().removeBuiltin("trivex3.Host");
  snapshot();
  ASSERT_EQ(hotsyncProcess(handheld, {}), 0);
  Outcome reference = settle(std::nullopt);

  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    restore();
    pid_t first = startHotsync(handheld, {}, dir / "first.out");
    pid_t second = startHotsync(handheld, {}, dir / "second.out");
    int statuses[2] = {0, 0};
    ::waitpid(first, &statuses[0], 0);
    ::waitpid(second, &statuses[1], 0);
    int completed = 0;
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(WIFEXITED(statuses[i]));
      if (WEXITSTATUS(statuses[i]) == 0) {
        ++completed;
        continue;
      }
      // The other one refuses, says why, and touches nothing.
      EXPECT_EQ(WEXITSTATUS(statuses[i]), 1);
      EXPECT_NE(desktop::readWholeFile(dir / (i == 0 ? "first.out" : "second.out")).find("in use by another HotSync"),
                std::string::npos);
    }
    EXPECT_GE(completed, 1);
    Outcome after = settle(std::nullopt);
    EXPECT_EQ(after, reference) << describe(after) << "\nreference:\n" << describe(reference);
  }
}

// A small file system that the test fills up; needs root to mount.
class FullDisk : public NoLoss {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    mount_ = dir / "small";
    fs::create_directories(mount_);
    if (::mount("tmpfs", mount_.c_str(), "tmpfs", 0, "size=256k") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  void TearDown() override {
    if (!mount_.empty()) ::umount2(mount_.c_str(), MNT_DETACH);
  }
  // Fills the file system but for `spare` bytes.
  void fill(size_t spare) {
    std::error_code ec;
    fs::remove(mount_ / "filler", ec);
    std::string chunk(4096, 'x');
    FILE* f = std::fopen((mount_ / "filler").c_str(), "w");
    while (f && std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size() && std::fflush(f) == 0) {
    }
    if (f) std::fclose(f);
    std::uintmax_t size = fs::file_size(mount_ / "filler");
    fs::resize_file(mount_ / "filler", size > spare ? size - spare : 0);
  }
  void unfill() { fs::remove(mount_ / "filler"); }
  fs::path mount_;
};

TEST_F(FullDisk, AFullHandheldFolderFailsTheHotSyncAndTheNextOneRepairs) {
  prepare();
  snapshot();
  Outcome reference = settle(std::nullopt);
  restore();
  // The handheld moves onto the small file system.
  copyTree(handheld, mount_ / "handheld");
  fs::remove_all(handheld);
  fs::create_symlink(mount_ / "handheld", handheld);
  fill(0);
  EXPECT_FALSE(sync().ok());
  unfill();
  Outcome after = settle(std::nullopt);
  EXPECT_EQ(after, reference) << describe(after) << "\nreference:\n" << describe(reference);
}

TEST_F(FullDisk, AFullAccountFolderFailsTheHotSyncAndTheNextOneRepairs) {
  prepare();
  snapshot();
  Outcome reference = settle(std::nullopt);
  restore();
  copyTree(accountFolder, mount_ / "host");
  fs::remove_all(accountFolder);
  fs::create_symlink(mount_ / "host", accountFolder);
  fill(0);
  EXPECT_FALSE(sync().ok());
  unfill();
  Outcome after = settle(std::nullopt);
  EXPECT_EQ(after, reference) << describe(after) << "\nreference:\n" << describe(reference);
}

// What the user is told when nothing could be synchronised.
class HonestOutcome : public NoLoss {
 protected:
  std::string hotsyncLog() { return desktop::readWholeFile(palm::userFolder("Pat") / "HotSync.log"); }
};

TEST_F(HonestOutcome, AnUnreachableHostIsAProblemAndRecordsNoSync) {
  std::uint32_t id = addMemo("clean on the handheld", 0);
  host::SetupValues v = settings();
  v.accountName = (dir / "no-such-account").string();
  saveSettings(v);
  palm::HotSyncResult failed = sync();
  ASSERT_FALSE(failed.ok());
  EXPECT_NE(failed.problems[0].find("MemoDB: the host could not be reached"), std::string::npos) << failed.problems[0];
  EXPECT_NE(hotsyncLog().find(" with problems\n"), std::string::npos);
  // No sync was recorded, so the next one is slow and hands the host the clean record.
  saveSettings(settings());
  ASSERT_TRUE(sync().ok());
  EXPECT_EQ(hostMemo(std::to_string(id)), "clean on the handheld");
}

TEST_F(HonestOutcome, AnUnreadableDatabaseIsNamedWithItsReason) {
  auto bytes = readBytes(handheld / "MemoDB.pdb");
  struct Case {
    const char* what;
    std::function<void()> spoil;
  };
  std::vector<Case> cases = {
      {"truncated",
       [&] {
         writeBytes(handheld / "MemoDB.pdb", {bytes.begin(), bytes.begin() + 40});
       }},
      {"unreadable",
       [&] {
         writeBytes(handheld / "MemoDB.pdb", bytes);
         fs::permissions(handheld / "MemoDB.pdb", fs::perms::none);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.spoil();
    if (std::string(c.what) == "unreadable" && ::geteuid() == 0) continue;  // root reads anything
    auto before = readBytes(handheld / "MemoDB.pdb");
    palm::HotSyncResult r = sync();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.problems[0].rfind("MemoDB: cannot be opened: ", 0), 0u) << r.problems[0];
    EXPECT_EQ(readBytes(handheld / "MemoDB.pdb"), before);
  }
  fs::permissions(handheld / "MemoDB.pdb", fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(HonestOutcome, AOneTimeActionThatFailedStaysPending) {
  // Served through the conduit entries, with "Desktop Overwrites handheld" chosen once.
  palm::ConduitEntries entries = palm::ConduitEntries::user();
  auto memo = palm::findApplication("memo");
  entries.put(memo->creator, {"ComConduit.DLL", "Memo Pad", "Pelx.CNotify"});
  entries.setValue(memo->creator, "SyncTemp", "3");
  addMemo("only on the handheld", 0);
  auto run = [&] {
    palm::HotSyncOptions options;
    options.handheld = handheld;
    options.userName = "Pat";
    options.applications = {"memo"};
    options.entries = &entries;
    return palm::runHotSync(options);
  };
  FailOnceHost::calls = 0;
  FailOnceHost::failAt = 3;  // request 0, after the categories
  EXPECT_FALSE(run().ok());
  EXPECT_EQ(entries.value(memo->creator, "SyncTemp").value_or(""), "3");
  FailOnceHost::failAt = 0;
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(entries.value(memo->creator, "SyncTemp").value_or(""), "");
  // The handheld now holds the host's one memo only.
  ASSERT_EQ(memoTexts().size(), 1u);
  EXPECT_NE(memoTexts()[0], "only on the handheld");
}

}  // namespace
}  // namespace pelorix::test
