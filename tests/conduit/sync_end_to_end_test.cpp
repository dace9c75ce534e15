// Whole HotSyncs of a handheld folder against an account of the embedded
// host running the sample subroutines, checking both sides afterwards.

#include <gtest/gtest.h>

#include "conduit/sync_world.h"
#include "desktop/atomic_file.h"
#include "desktop/desktop_log.h"
#include "mv/account_users.h"
#include "mv/dynamic_array.h"
#include "palm/category_info.h"
#include "palm/handheld.h"

namespace pelorix::test {
namespace {

namespace fs = std::filesystem;
using palm::PdbDatabase;

constexpr const char* kSampleMemo = "Warehouse checklist\n- count pallets\n- check the forklift log";

class EndToEnd : public SyncWorld {
 protected:
  // The first HotSync: the sample memo reaches the handheld; its id.
  std::uint32_t firstSync() {
    EXPECT_TRUE(sync().ok());
    auto all = memos();
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? 0 : all[0].id;
  }
  std::string key(std::uint32_t id) { return std::to_string(id); }
  std::string files() {
    std::string all;
    for (const auto& entry : fs::recursive_directory_iterator(accountFolder))
      if (entry.is_regular_file() && entry.path().filename() != "host.log")
        all += entry.path().string() + "=" + desktop::readWholeFile(entry.path()) + "\n";
    return all;
  }
};

TEST_F(EndToEnd, TheHostsRecordsReachTheHandheldAndTheSecondSyncMovesNothing) {
  std::uint32_t id = firstSync();
  EXPECT_EQ(memoTexts(), std::vector<std::string>{kSampleMemo});
  EXPECT_EQ(memos()[0].attributes & 0x40, 0);  // saved clean
  EXPECT_EQ(hostMemoKeys(), std::vector<std::string>{key(id)});

  auto handheldBefore = readBytes(handheld / "MemoDB.pdb");
  std::string hostBefore = files();
  palm::HotSyncResult second = sync();
  EXPECT_TRUE(second.ok());
  EXPECT_EQ(readBytes(handheld / "MemoDB.pdb"), handheldBefore);
  EXPECT_EQ(files(), hostBefore);
}

TEST_F(EndToEnd, AllFourApplicationsSync) {
  palm::HotSyncResult result = sync(std::nullopt, {});
  EXPECT_TRUE(result.ok());
  palm::Handheld h(handheld);
  EXPECT_EQ(h.read("AddressDB").records.size(), 2u);
  EXPECT_EQ(h.read("DatebookDB").records.size(), 2u);
  EXPECT_EQ(h.read("ToDoDB").records.size(), 2u);
  EXPECT_EQ(h.read("MemoDB").records.size(), 1u);
  // Non-ASCII text crosses both ways intact.
  std::uint32_t stockholm = 0;
  for (const auto& r : h.read("AddressDB").records)
    if (std::string(r.data.begin(), r.data.end()).find("Sveav\xE4gen") != std::string::npos) stockholm = r.uniqueId;
  ASSERT_NE(stockholm, 0u);
  auto item = account().read("ADDRESS.BOOK", std::to_string(stockholm));
  ASSERT_TRUE(item);
  EXPECT_NE(item->find("Sveav\xC3\xA4gen 44"), std::string::npos);
}

TEST_F(EndToEnd, HandheldChangesNewRecordsAndDeletionsReachTheHost) {
  std::uint32_t id = firstSync();
  setMemo(id, "Checked on the handheld");
  std::uint32_t fresh = addMemo("New on the handheld");
  std::uint32_t doomed = addMemo("delete me", 0);
  std::uint32_t kept = addMemo("archive me", 0);
  ASSERT_TRUE(sync(1).ok());  // slow: the clean records reach the host too
  EXPECT_EQ(hostMemo(key(doomed)), "delete me");

  setMemo(doomed, "delete me", 0x80);
  setMemo(kept, "archive me", 0x88);
  ASSERT_TRUE(sync().ok());
  EXPECT_EQ(hostMemo(key(id)), "Checked on the handheld");
  EXPECT_EQ(hostMemo(key(fresh)), "New on the handheld");
  EXPECT_FALSE(account().read("MEMO.PAD", key(doomed)));
  EXPECT_EQ(mv::Extract(*account().read("MEMO.PAD", key(kept)), 3), "1");
  // Deleted and archived records are purged from the handheld.
  EXPECT_EQ(memos().size(), 2u);
}

TEST_F(EndToEnd, HostChangesAndRecordsTheHostCreatesReachTheHandheld) {
  std::uint32_t id = firstSync();
  changeHostMemo(key(id), "Changed on the host");
  mv::Account a = account();
  a.write("MEMO.PAD", "CUST7",
          std::string() + mv::AM + "0" + mv::AM + "0" + mv::AM + "0" + mv::AM + "1" + mv::AM + "0" + mv::AM +
              "Typed on the host");
  ASSERT_TRUE(sync().ok());
  auto texts = memoTexts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"Changed on the host", "Typed on the host"}));
  // The new record's handheld id reached the host with request 5 ...
  EXPECT_FALSE(account().read("MEMO.PAD", "CUST7"));
  EXPECT_EQ(hostMemoKeys().size(), 2u);
  // ... so the next HotSync does not duplicate it.
  ASSERT_TRUE(sync().ok());
  EXPECT_EQ(memos().size(), 2u);
  ASSERT_TRUE(sync(1).ok());
  EXPECT_EQ(memos().size(), 2u);
}

TEST_F(EndToEnd, ARecordChangedOnBothSidesIsKeptTwice) {
  std::uint32_t id = firstSync();
  changeHostMemo(key(id), "host version");
  setMemo(id, "handheld version");
  ASSERT_TRUE(sync().ok());
  auto texts = memoTexts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"handheld version", "host version"}));
  EXPECT_EQ(hostMemo(key(id)), "handheld version");
  EXPECT_EQ(hostMemoKeys().size(), 2u);
}

TEST_F(EndToEnd, HandheldOverwritesDesktop) {
  std::uint32_t id = firstSync();
  changeHostMemo(key(id), "lost on purpose");
  std::uint32_t fresh = addMemo("only on the handheld");
  addMemo("deleted", 0x80);
  ASSERT_TRUE(sync(2).ok());
  EXPECT_EQ(hostMemoKeys(), (std::vector<std::string>{key(id), key(fresh)}));
  EXPECT_EQ(hostMemo(key(id)), kSampleMemo);
  EXPECT_EQ(memos().size(), 2u);
}

TEST_F(EndToEnd, DesktopOverwritesHandheld) {
  std::uint32_t id = firstSync();
  setMemo(id, "lost on purpose");
  addMemo("only on the handheld");
  ASSERT_TRUE(sync(3).ok());
  ASSERT_EQ(memos().size(), 1u);
  EXPECT_EQ(memos()[0].id, id);
  EXPECT_EQ(memos()[0].text, kSampleMemo);
}

TEST_F(EndToEnd, CategoriesFollowTheRules) {
  firstSync();
  palm::Handheld h(handheld);
  // A category named on the handheld reaches the host.
  {
    PdbDatabase db = h.read("MemoDB");
    palm::CategoryInfo c(db.appInfo);
    c.setLabel(1, "Business");
    c.storeInto(db.appInfo);
    h.write("MemoDB", db);
  }
  ASSERT_TRUE(sync().ok());
  std::string kept = account().read("PALM.CONTROL", "MEMO.PAD*CATEGORIES").value_or("");
  // Slot n is attribute n of the host's list.
  EXPECT_EQ(mv::Extract(kept, 1, 1), "Business");
  // One renamed on the host (marked dirty) wins over the handheld's.
  account().write("PALM.CONTROL", "MEMO.PAD*CATEGORIES", mv::Replace(mv::Replace(kept, 1, 1, 0, "Work"), 1, 2, 0, "1"));
  ASSERT_TRUE(sync().ok());
  EXPECT_EQ(palm::CategoryInfo(h.read("MemoDB").appInfo).label(1), "Work");
  // Equal names stay; the host keeps the name and the handheld too.
  ASSERT_TRUE(sync().ok());
  EXPECT_EQ(palm::CategoryInfo(h.read("MemoDB").appInfo).label(1), "Work");
  EXPECT_EQ(mv::Extract(account().read("PALM.CONTROL", "MEMO.PAD*CATEGORIES").value_or(""), 1, 1), "Work");
}

TEST_F(EndToEnd, AMissingHandheldDatabaseIsCreated) {
  fs::remove(handheld / "MemoDB.pdb");
  ASSERT_TRUE(sync().ok());
  EXPECT_EQ(memoTexts(), std::vector<std::string>{kSampleMemo});
}

TEST_F(EndToEnd, APCStoreThatCannotOpenTouchesNothing) {
  host::SetupValues v = settings();
  v.accountName = (dir / "no such account").string();
  saveSettings(v);
  auto before = readBytes(handheld / "MemoDB.pdb");
  palm::HotSyncResult result = sync();
  bool logged = false;
  for (const auto& line : result.log)
    logged |= line.text == "Pelorix for PalmPilot - Unable make connection to Database";
  EXPECT_TRUE(logged);
  EXPECT_EQ(readBytes(handheld / "MemoDB.pdb"), before);
  EXPECT_NE(desktop::readWholeFile(desktop::desktopLogFile()).find("No account"), std::string::npos);
}

TEST_F(EndToEnd, AWrongPasswordIsRefusedAndSaysWhy) {
  mv::AccountUsers(accountFolder).add("pat", "right");
  host::SetupValues v = settings();
  v.userName = "pat";
  v.password = "wrong";
  saveSettings(v);
  sync();
  EXPECT_TRUE(memos().empty());
  EXPECT_NE(desktop::readWholeFile(desktop::desktopLogFile()).find("Wrong password"), std::string::npos);
  v.password = "right";
  saveSettings(v);
  ASSERT_TRUE(sync().ok());
  EXPECT_EQ(memos().size(), 1u);
}

}  // namespace
}  // namespace pelorix::test

namespace pelorix::test {
namespace {

// The sample memo subroutine behind a host that goes down at its n-th call
// and stays down: a failing call saves nothing, its count included.
constexpr const char* kFlaky =
    "SUBROUTINE FLAKY(PALM.INFO,FROM.PALM,TO.PALM)\n"
    "OPEN 'PALM.CONTROL' TO F ELSE ABORT 'no control file'\n"
    "READ CALLS FROM F, 'CALLS' ELSE CALLS = 0\n"
    "READ FAIL.AT FROM F, 'FAIL.AT' ELSE FAIL.AT = 0\n"
    "CALLS = CALLS + 1\n"
    "IF FAIL.AT > 0 AND CALLS >= FAIL.AT THEN ABORT 'host down at call ' : CALLS\n"
    "WRITE CALLS ON F, 'CALLS'\n"
    "CALL PALM.SYNC('MEMO.PAD', PALM.INFO, FROM.PALM, TO.PALM)\n"
    "RETURN\n";

class FailingHost : public EndToEnd {
 protected:
  struct Outcome {
    std::vector<std::string> handheld, host;
    bool operator==(const Outcome&) const = default;
  };

  // Changes on both sides since a first HotSync.
  void prepare() {
    std::uint32_t id = firstSync();
    setMemo(id, "edited on the handheld");
    addMemo("new on the handheld");
    std::uint32_t doomed = addMemo("deleted on the handheld", 0);
    ASSERT_TRUE(sync().ok());
    setMemo(doomed, "deleted on the handheld", 0x80);
    setMemo(id, "edited again");
    mv::Account a = account();
    a.write("MEMO.PAD", "CUST9",
            std::string() + mv::AM + "0" + mv::AM + "0" + mv::AM + "0" + mv::AM + "1" + mv::AM + "0" + mv::AM +
                "new on the host");
    a.write("BP", "FLAKY", kFlaky);
    host::SetupValues v = settings();
    v.applications[3].programName = "FLAKY";
    saveSettings(v);
  }
  Outcome outcome() {
    Outcome o{memoTexts(), {}};
    for (const std::string& key : hostMemoKeys()) o.host.push_back(hostMemo(key));
    std::sort(o.handheld.begin(), o.handheld.end());
    std::sort(o.host.begin(), o.host.end());
    return o;
  }
  void copyTree(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
  }
  void failAt(int call) {
    account().write("PALM.CONTROL", "FAIL.AT", std::to_string(call));
    account().remove("PALM.CONTROL", "CALLS");
  }
};

TEST_F(FailingHost, AHostThatFailsAtAnyRequestLosesNothingAndTheNextSyncRepairs) {
  prepare();
  copyTree(handheld, dir / "snapshot-handheld");
  copyTree(accountFolder, dir / "snapshot-host");

  failAt(0);
  ASSERT_TRUE(sync().ok());
  Outcome clean = outcome();
  int calls = std::stoi(account().read("PALM.CONTROL", "CALLS").value_or("0"));
  ASSERT_EQ(calls, 6);  // categories twice, a review, a delete, requests 0 and 5

  for (int n = 1; n <= calls; ++n) {
    SCOPED_TRACE("host down from call " + std::to_string(n));
    copyTree(dir / "snapshot-handheld", handheld);
    copyTree(dir / "snapshot-host", accountFolder);
    auto before = readBytes(handheld / "MemoDB.pdb");
    failAt(n);
    EXPECT_FALSE(sync().ok());
    // Until request 5 the host has been told nothing the handheld must keep.
    if (n < calls) {
      EXPECT_EQ(readBytes(handheld / "MemoDB.pdb"), before);
    }
    failAt(0);
    ASSERT_TRUE(sync().ok());
    EXPECT_EQ(outcome(), clean);
  }
}

}  // namespace
}  // namespace pelorix::test

namespace pelorix::test {
namespace {

TEST_F(EndToEnd, ProgressIsReportedWhileManyRecordsMove) {
  palm::Handheld h(handheld);
  palm::PdbDatabase db = h.read("MemoDB");
  for (int i = 0; i < 450; ++i) {
    std::string bytes = "memo " + std::to_string(i) + '\0';
    db.records.push_back({0x40, db.allocateUniqueId(), std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
  }
  h.write("MemoDB", db);
  std::vector<std::pair<size_t, size_t>> seen;
  palm::HotSyncOptions options;
  options.handheld = handheld;
  options.userName = "Pat";
  options.applications = {"memo"};
  options.progress = [&](const std::string& database, size_t sent, size_t received) {
    EXPECT_EQ(database, "MemoDB");
    seen.emplace_back(sent, received);
  };
  ASSERT_TRUE(palm::runHotSync(options).ok());
  ASSERT_GE(seen.size(), 2u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_LE(seen.back().first, 450u);
}

}  // namespace
}  // namespace pelorix::test
