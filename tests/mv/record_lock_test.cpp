// READU locks an item against other processes until the call that took it
// has its changes on disk; LOCKED runs while another process holds it.

#include <gtest/gtest.h>

#include "desktop/class_registry.h"
#include "desktop/settings_store.h"
#include "host/host_connector.h"
#include "mv/basic_host.h"
#include "mv/process_support.h"
#include "mv/step_limit.h"
#include "support/test_support.h"

namespace pelorix::mv {
namespace {

using namespace proc;
using pelorix::test::IsolatedConfig;
using pelorix::test::TempDir;

// Another process in the middle of a call: it runs `body` up to its
// CRT 'hold' and goes on when finished.
class Holder {
 public:
  Holder(const fs::path& account, const std::string& body) {
    if (::pipe(ready_) != 0 || ::pipe(go_) != 0) throw std::runtime_error("pipe failed");
    pid_ = forkChild([&] {
      ::close(ready_[0]);
      ::close(go_[1]);
      Account a(account);
      Interpreter vm(
          {},
          [&](const std::string& line) {
            char c = 'h';
            if (line == "hold" && ::write(ready_[1], &c, 1) == 1) (void)!::read(go_[0], &c, 1);
          },
          1'000'000, &a);
      std::vector<std::string> args{"", "", ""};
      vm.run("HOLD", "SUBROUTINE HOLD(A,B,C)\nOPEN 'DATA' TO F ELSE STOP\n" + body, args);
      return 0;
    });
    ::close(ready_[1]);
    ::close(go_[0]);
    char c;
    holding_ = ::read(ready_[0], &c, 1) == 1;
  }
  ~Holder() {
    if (pid_ > 0) kill();
    ::close(ready_[0]);
    ::close(go_[1]);
  }
  bool holding() const { return holding_; }
  int finish() {
    char c = 'g';
    if (::write(go_[1], &c, 1) != 1) return -1;
    int code = waitFor(pid_).exitCode;
    pid_ = -1;
    return code;
  }
  void kill() {
    ::kill(pid_, SIGKILL);
    waitFor(pid_);
    pid_ = -1;
  }

 private:
  int ready_[2]{-1, -1}, go_[2]{-1, -1};
  pid_t pid_ = -1;
  bool holding_ = false;
};

class RecordLocks : public ::testing::Test {
 protected:
  RecordLocks() {
    account.createFile("DATA");
    account.createFile("BP");
    account.write("DATA", "ITEM", "before");
    account.write("DATA", "OTHER", "other");
  }
  // Runs the body in this process; returns C.
  std::string call(const std::string& body, std::chrono::milliseconds wait = std::chrono::seconds(30)) {
    Interpreter vm({}, {}, 1'000'000, &account);
    vm.setLockWait(wait);
    std::vector<std::string> args{"", "", ""};
    vm.run("TEST", "SUBROUTINE TEST(A,B,C)\nOPEN 'DATA' TO F ELSE STOP\n" + body, args);
    return args[2];
  }
  std::string waitingReadFails() {
    try {
      call("READU Y FROM F, 'ITEM' ELSE NULL", std::chrono::milliseconds(50));
    } catch (const BasicError& e) {
      return e.cause();
    }
    return "no error";
  }

  IsolatedConfig config;
  TempDir dir;
  Account account{dir.path()};
};

struct Holding {
  const char* what;
  const char* body;
  const char* committed;  // ITEM once the holder's call ended
};

const std::vector<Holding> kHoldings = {
    {"READU", "READU X FROM F, 'ITEM' ELSE NULL", "before"},
    {"READVU", "READVU X FROM F, 'ITEM', 1 ELSE NULL", "before"},
    {"READU of the item in a loop", "FOR I = 1 TO 3\n READU X FROM F, 'ITEM' ELSE NULL\nNEXT I", "before"},
    {"READU then WRITE", "READU X FROM F, 'ITEM' ELSE NULL\nWRITE 'after' ON F, 'ITEM'", "after"},
    {"READU then WRITEV", "READU X FROM F, 'ITEM' ELSE NULL\nWRITEV 'after' ON F, 'ITEM', 1", "after"},
    {"READU then DELETE", "READU X FROM F, 'ITEM' ELSE NULL\nDELETE F, 'ITEM'", "(none)"},
    {"READU, RELEASE of the item, WRITE",
     "READU X FROM F, 'ITEM' ELSE NULL\nRELEASE F, 'ITEM'\nWRITE 'after' ON F, 'ITEM'", "after"},
    {"READU, RELEASE of every lock", "READU X FROM F, 'ITEM' ELSE NULL\nRELEASE", "before"},
};

TEST_F(RecordLocks, LockedRunsWhileAnotherProcessHoldsTheItemAndNotAfter) {
  for (const Holding& h : kHoldings) {
    SCOPED_TRACE(h.what);
    Holder holder(dir.path(), std::string(h.body) + "\nCRT 'hold'");
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(call("READU Y FROM F, 'ITEM' LOCKED C = 'locked ' : STATUS() THEN C = Y ELSE C = 'none'"), "locked 1");
    EXPECT_EQ(call("READVU Y FROM F, 'ITEM', 1 LOCKED C = 'locked' ELSE C = 'none'"), "locked");
    // Reading without a lock neither waits nor sees the holder's pending change.
    EXPECT_EQ(call("READ C FROM F, 'ITEM' ELSE C = 'none'"), "before");
    EXPECT_EQ(call("READU C FROM F, 'OTHER' LOCKED C = 'locked' ELSE C = 'none'"), "other");
    std::string cause = waitingReadFails();
    EXPECT_NE(cause.find("ITEM"), std::string::npos) << cause;
    EXPECT_NE(cause.find("DATA"), std::string::npos) << cause;
    EXPECT_NE(cause.find("locked by another process"), std::string::npos) << cause;
    EXPECT_EQ(holder.finish(), 0);
    EXPECT_EQ(call("READU C FROM F, 'ITEM' LOCKED C = 'locked' ELSE C = '(none)'"), h.committed);
    account.write("DATA", "ITEM", "before");
  }
}

TEST_F(RecordLocks, AKilledHoldersLockAndChangesAreGone) {
  Holder holder(dir.path(), "READU X FROM F, 'ITEM' ELSE NULL\nWRITE 'after' ON F, 'ITEM'\nCRT 'hold'");
  ASSERT_TRUE(holder.holding());
  holder.kill();
  EXPECT_EQ(call("READU C FROM F, 'ITEM' LOCKED C = 'locked' ELSE C = 'none'"), "before");
}

TEST_F(RecordLocks, AWaitingReadUReadsWhatTheHolderCommitted) {
  Holder holder(dir.path(), "READU X FROM F, 'ITEM' ELSE NULL\nWRITE 'after' ON F, 'ITEM'\nCRT 'hold'");
  ASSERT_TRUE(holder.holding());
  std::thread finisher([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(holder.finish(), 0);
  });
  EXPECT_EQ(call("READU C FROM F, 'ITEM' ELSE C = 'none'"), "after");
  finisher.join();
}

TEST_F(RecordLocks, ACallHoldingALockTakesItAgainFreely) {
  EXPECT_EQ(call("READU A FROM F, 'ITEM' ELSE NULL\nWRITE 'x' ON F, 'ITEM'\n"
                 "READU C FROM F, 'ITEM' LOCKED C = 'self' ELSE C = 'none'"),
            "x");
  EXPECT_EQ(call("READU A FROM F, 'NEW' ELSE A = 'missing'\nREADVU C FROM F, 'NEW', 1 LOCKED C = 'self' ELSE C = A"),
            "missing");
}

TEST_F(RecordLocks, ReleaseTakesAFileAndIdOrNothing) {
  EXPECT_EQ(call("READU A FROM F, 'ITEM' ELSE NULL\nRELEASE F, 'ITEM'\nRELEASE F\nRELEASE\n"
                 "IF 1 THEN RELEASE ELSE NULL\nC = STATUS()"),
            "0");
  EXPECT_THROW(call("RELEASE G, 'ITEM'"), BasicError);
  EXPECT_THROW(call("RELEASE F, ''"), BasicError);
}

// Slow enough between reading and writing that two such calls overlap.
const char* kIncrement =
    "SUBROUTINE INC(TIMES)\n"
    "OPEN 'DATA' TO F ELSE ABORT 'no DATA'\n"
    "FOR I = 1 TO TIMES\n"
    "  READU N FROM F, 'COUNT' ELSE N = 0\n"
    "  FOR J = 1 TO 5000 ; NEXT J\n"
    "  WRITE N + 1 ON F, 'COUNT'\n"
    "NEXT I\n"
    "RETURN\n";

TEST_F(RecordLocks, TwoProcessesIncrementingInOneCallEachLoseNothing) {
  account.write("BP", "INC", kIncrement);
  pid_t first = startPelorix({"run", dir.path().string(), "INC", "100"});
  pid_t second = startPelorix({"run", dir.path().string(), "INC", "100"});
  EXPECT_EQ(waitFor(first).exitCode, 0);
  EXPECT_EQ(waitFor(second).exitCode, 0);
  EXPECT_EQ(account.read("DATA", "COUNT"), "200");
}

TEST_F(RecordLocks, TwoProcessesIncrementingOnceACallLoseNothing) {
  auto increments = [this] {
    return forkChild([this] {
      Account a(dir.path());
      Interpreter vm({}, {}, 1'000'000, &a);
      for (int i = 0; i < 100; ++i) {
        std::vector<std::string> args{"1"};
        vm.run("INC", kIncrement, args);
      }
      return 0;
    });
  };
  pid_t first = increments();
  pid_t second = increments();
  EXPECT_EQ(waitFor(first).exitCode, 0);
  EXPECT_EQ(waitFor(second).exitCode, 0);
  EXPECT_EQ(account.read("DATA", "COUNT"), "200");
}

TEST_F(RecordLocks, TheConnectorWaitsAsLongAsTheSettingsSay) {
  desktop::ClassRegistry::instance().registerLibrary(pelorix::test::hostConnectorLibrary().string());
  account.write("BP", "TAKE",
                "SUBROUTINE TAKE(A,B,C)\nOPEN 'DATA' TO F ELSE STOP\nREADU C FROM F, 'ITEM' ELSE NULL\nRETURN\n");
  desktop::SettingsStore::user().set(kHostSettingsKey, kLockWaitValue, "0.05");
  host::HostConnector host = host::HostConnector::create(3);
  host.AcctPath(dir.path().string());
  host.Connect();
  Holder holder(dir.path(), "READU X FROM F, 'ITEM' ELSE NULL\nCRT 'hold'");
  ASSERT_TRUE(holder.holding());
  std::string to;
  try {
    host.CallHost("TAKE", "", "", to);
    ADD_FAILURE() << "the call did not wait for the lock";
  } catch (const com::ComError& e) {
    EXPECT_NE(e.description().find("ITEM"), std::string::npos) << e.description();
  }
  EXPECT_EQ(holder.finish(), 0);
  host.CallHost("TAKE", "", "", to);
  EXPECT_EQ(to, "before");
}

TEST(LockWaitSetting, OnlyAPositiveNumberOfSecondsCounts) {
  IsolatedConfig config;
  EXPECT_EQ(configuredLockWait(), kDefaultLockWait);
  for (const char* odd : {"", "abc", "-3", "0", "1e9"}) {
    desktop::SettingsStore::user().set(kHostSettingsKey, kLockWaitValue, odd);
    EXPECT_EQ(configuredLockWait(), kDefaultLockWait) << odd;
  }
  desktop::SettingsStore::user().set(kHostSettingsKey, kLockWaitValue, "2.5");
  EXPECT_EQ(configuredLockWait(), std::chrono::milliseconds(2500));
}

}  // namespace
}  // namespace pelorix::mv
