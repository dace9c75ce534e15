// A call's changes reach the account all or none: when the call fails, when
// the disk fills up under its commit, and when its process is killed at any
// point of the commit or of the replay that finishes it.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <random>

#include "mv/account_session.h"
#include "mv/basic_host.h"
#include "mv/process_support.h"
#include "support/test_support.h"

namespace pelorix::mv {
namespace {

using namespace proc;
using pelorix::test::IsolatedConfig;
using pelorix::test::TempDir;
using Items = std::map<std::string, std::string>;

Items without(Items items, const std::string& file) {
  std::erase_if(items, [&](const auto& entry) { return entry.first.rfind(file + "/", 0) == 0; });
  return items;
}

// A call that re-keys an item (new key written, old deleted), changes one
// item, adds two, writes to a second file and counts the calls.
constexpr const char* kMove =
    "SUBROUTINE MOVE(X)\n"
    "OPEN 'DATA' TO F ELSE ABORT 'no DATA'\n"
    "READU G FROM F, 'COUNTER' ELSE G = 0\n"
    "READU OLD FROM F, 'K' : G ELSE ABORT 'no K' : G\n"
    "WRITE OLD ON F, 'K' : (G + 1)\n"
    "DELETE F, 'K' : G\n"
    "FOR I = 1 TO 3\n"
    "  WRITE G + 1 ON F, 'ITEM' : I\n"
    "NEXT I\n"
    "OPEN 'OTHER' TO O ELSE ABORT 'no OTHER'\n"
    "WRITE 'from call ' : (G + 1) ON O, 'NOTE'\n"
    "WRITE G + 1 ON F, 'COUNTER'\n"
    "RETURN\n";

class KilledCommits : public ::testing::Test {
 protected:
  void SetUp() override {
    Account account(pristine.path());
    for (const char* file : {"BP", "DATA", "OTHER"}) account.createFile(file);
    account.write("BP", "MOVE", kMove);
    account.write("DATA", "COUNTER", "0");
    account.write("DATA", "K0", "payload");
    account.write("DATA", "ITEM1", "0");
    before = items(pristine.path());
    copyAccount(pristine.path(), dir / "done");
    EXPECT_EQ(runPelorix({"run", (dir / "done").string(), "MOVE"}).exitCode, 0);
    after = items(dir / "done");
    ASSERT_NE(before, after);
  }
  // The account as a run killed at crash point n left it; false if the run was not killed.
  bool killedAt(long n, const fs::path& where) {
    copyAccount(pristine.path(), where);
    Ended run = runPelorix({"run", where.string(), "MOVE"}, n);
    if (!run.killed) {
      EXPECT_EQ(run.exitCode, 0) << "crash point " << n;
    }
    return run.killed;
  }
  // After the next open: all of the call or none, one key of the moved item, nothing left over.
  void expectWholeAfterOpen(const fs::path& where, const std::string& context) {
    Account(where).recover();
    Items now = items(where);
    EXPECT_TRUE(now == before || now == after) << context;
    EXPECT_EQ(now.count("DATA/K0") + now.count("DATA/K1"), 1u) << context;
    EXPECT_EQ(leftovers(where), std::vector<std::string>{}) << context;
  }

  IsolatedConfig config;
  TempDir pristine, dir;
  Items before, after;
};

TEST_F(KilledCommits, AtEveryCrashPointTheNextOpenFindsAllOrNone) {
  bool sawNone = false, sawAll = false;
  long n = 1;
  for (; killedAt(n, dir / "run"); ++n) {
    std::string context = "killed at crash point " + std::to_string(n);
    expectWholeAfterOpen(dir / "run", context);
    (items(dir / "run") == after ? sawAll : sawNone) = true;
  }
  EXPECT_EQ(items(dir / "run"), after);
  EXPECT_EQ(leftovers(dir / "run"), std::vector<std::string>{});
  // The kills fell on both sides of the commit's point of no return.
  EXPECT_TRUE(sawNone);
  EXPECT_TRUE(sawAll);
  EXPECT_GT(n, 10);
}

TEST_F(KilledCommits, AReplayKilledAtAnyPointIsFinishedByTheNextOpen) {
  for (long n = 1; killedAt(n, dir / "crashed"); ++n) {
    if (!fs::exists(dir / "crashed" / kJournalName)) continue;
    copyAccount(dir / "crashed", dir / "direct");
    Account(dir / "direct").recover();
    Items decided = items(dir / "direct");
    for (long m = 1;; ++m) {
      copyAccount(dir / "crashed", dir / "replay");
      Ended open = runPelorix({"list", (dir / "replay").string()}, m);
      std::string context = "commit killed at " + std::to_string(n) + ", its replay at " + std::to_string(m);
      expectWholeAfterOpen(dir / "replay", context);
      EXPECT_EQ(items(dir / "replay"), decided) << context;
      if (!open.killed) break;
    }
  }
}

TEST_F(KilledCommits, AJournalCutShortIsNoCommit) {
  long n = 1;
  while (killedAt(n, dir / "crashed")) {
    std::string journal = fs::exists(dir / "crashed" / kJournalName)
                              ? desktop::readWholeFile(dir / "crashed" / kJournalName)
                              : std::string();
    if (journal.find("\ncommit ") != std::string::npos) break;
    ++n;
  }
  std::string journal = desktop::readWholeFile(dir / "crashed" / kJournalName);
  for (size_t length = 0; length <= journal.size(); ++length) {
    copyAccount(dir / "crashed", dir / "cut");
    fs::resize_file(dir / "cut" / kJournalName, length);
    std::string context = "journal cut to " + std::to_string(length) + " of " + std::to_string(journal.size());
    expectWholeAfterOpen(dir / "cut", context);
    EXPECT_EQ(items(dir / "cut"), length == journal.size() ? after : before) << context;
  }
}

TEST_F(KilledCommits, KilledAtRandomInstantsTheAccountStaysWhole) {
  // Many items, so that kills land inside the commit too.
  constexpr const char* kBulk =
      "SUBROUTINE BULK(X)\n"
      "OPEN 'DATA' TO F ELSE ABORT\n"
      "READU G FROM F, 'COUNTER' ELSE G = 0\n"
      "G += 1\n"
      "FOR I = 1 TO 40\n"
      "  WRITE G : '/' : STR('x', 2000) ON F, 'ITEM' : I\n"
      "NEXT I\n"
      "DELETE F, 'KEY' : (G - 1)\n"
      "WRITE 'moved' ON F, 'KEY' : G\n"
      "WRITE G ON F, 'COUNTER'\n"
      "RETURN\n";
  Account account(dir.path());
  account.createFile("BP");
  account.createFile("DATA");
  account.write("BP", "BULK", kBulk);
  account.write("DATA", "COUNTER", "0");
  account.write("DATA", "KEY0", "moved");
  auto whole = [&](const std::string& context) {
    account.recover();
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{}) << context;
    std::string g = account.read("DATA", "COUNTER").value_or("?");
    std::vector<std::string> ids = account.items("DATA");
    std::vector<std::string> expected{"COUNTER", "KEY" + g};
    if (g != "0")
      for (int i = 1; i <= 40; ++i) expected.push_back("ITEM" + std::to_string(i));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ids, expected) << context;
    for (const std::string& id : ids) {
      if (id.rfind("ITEM", 0) == 0) {
        EXPECT_EQ(Extract(*account.read("DATA", id), 1).substr(0, g.size() + 1), g + "/") << context;
      }
    }
  };

  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(runPelorix({"run", dir.path().string(), "BULK"}).exitCode, 0);
  auto oneRun = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);

  unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<long> delay(0, 2 * oneRun.count());
  for (int round = 0; round < 30; ++round) {
    pid_t pid = startPelorix({"run", dir.path().string(), "BULK"});
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(pid, SIGKILL);
    waitFor(pid);
    whole("round " + std::to_string(round));
  }
}

// ---- calls that fail ----

class FailingCalls : public ::testing::Test {
 protected:
  FailingCalls() {
    for (const char* file : {"DATA", "OTHER", "GONE"}) account.createFile(file);
    account.write("DATA", "OLD", "old");
    account.write("DATA", "KEPT", "kept");
    account.write("OTHER", "O1", m("one^two"));
  }

  test::TempDir dir;
  Account account{dir.path()};
};

// Each a change of its own kind: new, replaced, deleted, one attribute, re-keyed.
const std::vector<std::string> kChanges = {
    "WRITE 'new' ON F, 'NEW'",    "WRITE 'replaced' ON F, 'OLD'", "DELETE F, 'KEPT'",
    "WRITEV 'TWO' ON O, 'O1', 2", "WRITE 'o1' ON O, 'O2'",        "DELETE O, 'O1'",
};

struct Failure {
  const char* what;
  const char* statement;
};

TEST_F(FailingCalls, AFailureAfterAnyNumberOfChangesLeavesTheAccountAsItWas) {
  const std::vector<Failure> failures = {
      {"ABORT", "ABORT 'on purpose'"},
      {"a runtime error", "X = 1 / 0"},
      {"the step limit", "LOOP\nREPEAT"},
      {"a file removed under the call, then read", "CRT 'remove GONE'\nREAD X FROM G, 'ANY' ELSE NULL"},
      {"a file removed under the call, then written at the commit", "CRT 'remove GONE'"},
  };
  for (const Failure& failure : failures) {
    for (size_t k = 0; k <= kChanges.size(); ++k) {
      std::string body =
          "OPEN 'DATA' TO F ELSE STOP\nOPEN 'OTHER' TO O ELSE STOP\nOPEN 'GONE' TO G ELSE STOP\n"
          "WRITE 'g' ON G, 'G1'\n";
      for (size_t i = 0; i < kChanges.size(); ++i) {
        if (i == k) body += std::string(failure.statement) + "\n";
        body += kChanges[i] + "\n";
      }
      if (k == kChanges.size()) body += std::string(failure.statement) + "\n";
      if (!account.hasFile("GONE")) account.createFile("GONE");
      Items before = without(items(dir.path()), "GONE");
      Interpreter vm(
          {},
          [&](const std::string& line) {
            if (line == "remove GONE") fs::remove_all(dir / "GONE");
          },
          5000, &account);
      std::vector<std::string> args{"", "", ""};
      std::string context = std::string(failure.what) + " after " + std::to_string(k) + " changes";
      EXPECT_THROW(vm.run("TEST", "SUBROUTINE TEST(A,B,C)\n" + body, args), BasicError) << context;
      EXPECT_EQ(without(items(dir.path()), "GONE"), before) << context;
      EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{}) << context;
    }
  }
}

// A small file system of its own that the test fills up.
class SmallDisk {
 public:
  SmallDisk() {
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, "size=512k") != 0)
      error_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
  }
  ~SmallDisk() {
    if (error_.empty()) ::umount2(dir_.path().c_str(), MNT_DETACH);
  }
  const std::string& error() const { return error_; }
  const fs::path& path() const { return dir_.path(); }
  // Leaves exactly `pages` pages free.
  void fill(size_t pages) {
    fs::path filler = path() / "filler";
    fs::remove(filler);
    int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
    std::string page(4096, 'f');
    off_t size = 0;
    while (::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size())) size += 4096;
    ::ftruncate(fd, std::max<off_t>(0, size - static_cast<off_t>(pages) * 4096));
    ::close(fd);
  }
  void free() { fs::remove(path() / "filler"); }

 private:
  test::TempDir dir_;
  std::string error_;
};

TEST(FullDisk, ACommitThatRunsOutOfSpaceAnywhereLeavesTheAccountAsItWas) {
  if (::geteuid() != 0) GTEST_SKIP() << "filling a disk needs a small tmpfs, and mounting one needs root";
  SmallDisk disk;
  ASSERT_EQ(disk.error(), "");
  fs::path folder = disk.path() / "account";
  fs::create_directory(folder);
  Account account(folder);
  std::string body = "OPEN 'DATA' TO F ELSE STOP\nOPEN 'OTHER' TO O ELSE STOP\n";
  for (size_t i = 0; i < kChanges.size(); ++i) body += kChanges[i] + "\n";
  // Items of a page each, so that each free page is one more write that fits.
  body += "FOR I = 1 TO 4\n  WRITE STR('p', 3000) ON F, 'PAGE' : I\nNEXT I\n";

  bool failed = false, succeeded = false;
  for (size_t pages = 0; pages < 16; ++pages) {
    disk.free();
    for (const std::string& file : account.files()) fs::remove_all(folder / escapeName(file));
    for (const char* file : {"DATA", "OTHER"}) account.createFile(file);
    account.write("DATA", "OLD", "old");
    account.write("DATA", "KEPT", "kept");
    account.write("OTHER", "O1", m("one^two"));
    Items before = items(folder);
    disk.fill(pages);
    std::string context = std::to_string(pages) + " pages free";
    Host run;
    run.account = &account;
    try {
      run.c(body);
      succeeded = true;
      Items now = items(folder);
      EXPECT_EQ(now.count("DATA/PAGE4") + now.count("DATA/NEW") + now.count("OTHER/O2"), 3u) << context;
      EXPECT_EQ(now.count("DATA/KEPT") + now.count("OTHER/O1"), 0u) << context;
    } catch (const BasicError& e) {
      failed = true;
      EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos) << context << ": " << e.what();
      EXPECT_EQ(items(folder), before) << context;
    }
    EXPECT_EQ(leftovers(folder), std::vector<std::string>{}) << context;
  }
  EXPECT_TRUE(failed);
  EXPECT_TRUE(succeeded);
}

// ---- what a commit leaves out ----

TEST(CommitsThatChangeNothing, WriteNothingAndKeepTheItemAsItWas) {
  test::TempDir dir;
  Account account(dir.path());
  account.createFile("F");
  account.write("F", "SAME", "same\xFEtext");
  account.write("F", "OLD", "old");
  struct stat before {};
  ASSERT_EQ(::stat((dir / "F" / "SAME").c_str(), &before), 0);
  AccountSession session(account);
  session.write("F", "SAME", "same\xFEtext");  // as read
  session.write("F", "OLD", "new");
  session.remove("F", "NEVER");  // not there
  session.write("F", "ADDED", "");
  session.commit();
  struct stat after {};
  ASSERT_EQ(::stat((dir / "F" / "SAME").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "an item written as it was is not replaced";
  EXPECT_EQ(account.read("F", "SAME"), "same\xFEtext");
  EXPECT_EQ(account.read("F", "OLD"), "new");
  EXPECT_EQ(account.read("F", "ADDED"), "") << "an empty item is still an item";
  EXPECT_EQ(account.read("F", "NEVER"), std::nullopt);
  EXPECT_FALSE(fs::exists(dir / kJournalName));
}

// ---- what an open tidies up ----

TEST(OpeningAnAccount, RemovesTheTemporariesOfInterruptedWritesAndNothingElse) {
  test::TempDir dir;
  Account account(dir.path());
  account.createFile("F");
  account.write("F", "A", "a");
  std::vector<std::string> temporaries = {".A.tmp-Xy12ab", ".B.tmp-123456789012", ".%2E.tmp-qwerty"};
  std::vector<std::string> others = {".keep", ".A.tmp-12", ".A.tmp-12345!", "A.tmp-abcdef"};
  for (const auto& name : temporaries) std::ofstream(dir / "F" / name) << "half";
  for (const auto& name : others) std::ofstream(dir / "F" / name) << "mine";
  // Beside the files, not in them: another program's (the users file's) may be live.
  std::ofstream(dir / ".users.tmp-abcdef") << "live";
  account.recover();
  for (const auto& name : temporaries) EXPECT_FALSE(fs::exists(dir / "F" / name)) << name;
  for (const auto& name : others) EXPECT_TRUE(fs::exists(dir / "F" / name)) << name;
  EXPECT_TRUE(fs::exists(dir / ".users.tmp-abcdef"));
  EXPECT_EQ(account.read("F", "A"), "a");
}

// As a journal's author would seal it, so that the lines below get read as a commit.
std::string sealed(const std::string& text) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ULL;
  char mark[40];
  std::snprintf(mark, sizeof mark, "commit %016llx\n", static_cast<unsigned long long>(h));
  return text + mark;
}

TEST(OpeningAnAccount, AJournalNeverReachesOutsideTheFilesOfTheAccount) {
  test::TempDir dir;
  fs::create_directory(dir / "account");
  Account account(dir / "account");
  account.createFile("F");
  auto plant = [&] {
    std::ofstream(dir / "victim") << "precious";
    std::ofstream(dir / ".x.tmp-abcdef") << "precious";
    std::ofstream(dir / "account" / ".x.tmp-abcdef") << "not in a file";
    account.write("F", "victim", "item");
  };
  auto untouched = [&](const std::string& context) {
    EXPECT_EQ(desktop::readWholeFile(dir / "victim"), "precious") << context;
    EXPECT_EQ(desktop::readWholeFile(dir / ".x.tmp-abcdef"), "precious") << context;
    EXPECT_TRUE(fs::exists(dir / "account" / ".x.tmp-abcdef")) << context;
    EXPECT_EQ(account.read("F", "victim"), "item") << context;
  };
  // Lines a damaged or planted journal might hold, none of which names a temporary or item of the account.
  const std::vector<std::string> lines = {"W .. victim F",
                                          "W F ../../victim victim",
                                          "D .. victim",
                                          "D F ../../victim",
                                          "W F .x.tmp-abcdef/../../victim x",
                                          "W %2E%2E .x.tmp-abcdef victim",
                                          "W .. .x.tmp-abcdef victim",
                                          "D F .",
                                          "W F .. victim",
                                          "W F victim victim",
                                          "D . victim",
                                          "D .. .x.tmp-abcdef",
                                          "W F .x.tmp-abcdef",
                                          "D F",
                                          "X F victim",
                                          "W  F .x.tmp-abcdef victim"};
  for (const std::string& line : lines) {
    std::string journal = "pelorix journal 1\n" + line + "\n";
    // Not sealed: a commit that never reached its point of no return.
    plant();
    std::ofstream(dir / "account" / kJournalName) << journal;
    account.recover();
    untouched("unsealed " + line);
    EXPECT_FALSE(fs::exists(dir / "account" / kJournalName)) << line;
    // Sealed: refused whole, kept for someone to look at.
    std::ofstream(dir / "account" / kJournalName) << sealed(journal);
    try {
      account.recover();
      ADD_FAILURE() << "sealed " << line << " was replayed";
    } catch (const AccountError& e) {
      EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
    }
    untouched("sealed " + line);
    EXPECT_TRUE(fs::exists(dir / "account" / kJournalName)) << line;
    fs::remove(dir / "account" / kJournalName);
  }
}

TEST(OpeningAnAccount, LeavesTheTemporariesOfALiveCommitAlone) {
  IsolatedConfig config;
  test::TempDir dir;
  Account account(dir.path());
  account.createFile("F");
  // This process plays a commit in progress: it holds the commit lock and has a temporary.
  int lock = ::open((dir / kCommitLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  std::ofstream(dir / "F" / ".A.tmp-abcdef") << "new";
  pid_t opener = startPelorix({"list", dir.path().string(), "F"});
  ASSERT_TRUE(eventually([&] { return blockedOnFileLock(opener); }));
  EXPECT_TRUE(fs::exists(dir / "F" / ".A.tmp-abcdef"));
  fs::rename(dir / "F" / ".A.tmp-abcdef", dir / "F" / "A");
  ::close(lock);
  EXPECT_EQ(waitFor(opener).exitCode, 0);
  EXPECT_EQ(account.read("F", "A"), "new");
}

}  // namespace
}  // namespace pelorix::mv
