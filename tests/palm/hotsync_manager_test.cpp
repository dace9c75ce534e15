#include "palm/hotsync_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "base/ascii_case.h"
#include "com/dispatch.h"
#include "desktop/atomic_file.h"
#include "desktop/class_registry.h"
#include "palm/pdb_database.h"
#include "palm/pddirect.h"
#include "support/test_support.h"

namespace pelorix::palm {
namespace {

namespace fs = std::filesystem;

// A conduit that writes one dirty record per HotSync and notes what it saw.
class RecordingConduit : public com::Dispatchable<RecordingConduit> {
 public:
  static inline std::vector<std::int32_t> syncTypes;
  static inline bool fail = false;
  enum class Report { Nothing, Completed, Failed };
  static inline Report report = Report::Completed;
  static const com::Members<RecordingConduit>& members() {
    static const com::Members<RecordingConduit> m = [] {
      com::Members<RecordingConduit> t;
      t.method("IPDClientNotify_BeginProcess", [](RecordingConduit&, std::span<com::Variant>) {
        auto info = pddirect::newConduitSupport()->GetHotSyncInfo();
        syncTypes.push_back(info->SyncType());
        auto query = pddirect::newDatabaseQuery();
        auto adapter = query->OpenRecordDatabase(info->RemoteDbNames(0), pddirect::kRecordAdapterProgId, 208);
        com::Variant id;
        adapter->WriteRecord(id, 0, 0x40, com::Variant(com::ByteArray{'x', 0}));
        query->AddLogEntry("wrote one", -1, false, false);
        if (report != Report::Nothing) adapter->EndTransfer(report == Report::Completed);
        if (fail) com::raise(com::err::kFail, "Test", "conduit crashed");
        return com::Variant(false);
      });
      return t;
    }();
    return m;
  }
};

class HotSyncManagerTest : public ::testing::Test {
 protected:
  HotSyncManagerTest() {
    RecordingConduit::syncTypes.clear();
    RecordingConduit::fail = false;
    RecordingConduit::report = RecordingConduit::Report::Completed;
    desktop::ClassRegistry::instance().addBuiltin("Test.Recording",
                                                  [] { return com::Ref<com::Object>(com::make<RecordingConduit>()); });
    options.handheld = test::copySampleHandheld(dir);
    options.conduitProgId = "Test.Recording";
    options.applications = {"memo"};
  }
  ~HotSyncManagerTest() override { desktop::ClassRegistry::instance().removeBuiltin("Test.Recording"); }

  test::IsolatedConfig config;
  test::TempDir dir;
  HotSyncOptions options;
};

TEST_F(HotSyncManagerTest, SlowTheFirstTimeThenFast) {
  EXPECT_TRUE(runHotSync(options).ok());
  EXPECT_TRUE(runHotSync(options).ok());
  EXPECT_EQ(RecordingConduit::syncTypes, (std::vector<std::int32_t>{1, 0}));
  options.syncType = 3;
  runHotSync(options);
  EXPECT_EQ(RecordingConduit::syncTypes.back(), 3);
}

TEST_F(HotSyncManagerTest, ACompletedDatabaseIsSavedWithItsDirtyFlagsCleared) {
  HotSyncResult result = runHotSync(options);
  EXPECT_EQ(result.committed, std::vector<std::string>{"MemoDB"});
  PdbDatabase memo = Handheld(options.handheld).read("MemoDB");
  ASSERT_EQ(memo.records.size(), 1u);
  EXPECT_EQ(memo.records[0].attributes & attr::kDirty, 0);
  ASSERT_EQ(result.log.size(), 1u);
  EXPECT_EQ(result.log[0].text, "wrote one");
}

TEST_F(HotSyncManagerTest, AFailedTransferIsDroppedAndOneNotReportedKeepsItsDirtyFlags) {
  auto before = test::readBytes(options.handheld / "MemoDB.pdb");
  RecordingConduit::report = RecordingConduit::Report::Failed;
  HotSyncResult result = runHotSync(options);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(test::readBytes(options.handheld / "MemoDB.pdb"), before);

  RecordingConduit::report = RecordingConduit::Report::Nothing;
  EXPECT_TRUE(runHotSync(options).ok());
  PdbDatabase memo = Handheld(options.handheld).read("MemoDB");
  ASSERT_EQ(memo.records.size(), 1u);
  EXPECT_NE(memo.records[0].attributes & attr::kDirty, 0);
}

TEST_F(HotSyncManagerTest, AFailedConduitLeavesTheHandheldAsItWas) {
  RecordingConduit::fail = true;
  auto before = test::readBytes(options.handheld / "MemoDB.pdb");
  HotSyncResult result = runHotSync(options);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(test::readBytes(options.handheld / "MemoDB.pdb"), before);
  // This desktop has not completed a HotSync with it, so the next one is slow again.
  RecordingConduit::fail = false;
  runHotSync(options);
  EXPECT_EQ(RecordingConduit::syncTypes, (std::vector<std::int32_t>{1, 1}));
}

TEST_F(HotSyncManagerTest, TheLogIsAppendedToTheUsersFolder) {
  options.userName = "Pat";
  runHotSync(options);
  runHotSync(options);
  std::ifstream in(userFolder("Pat") / "HotSync.log");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t first = text.find("wrote one");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(text.find("wrote one", first + 1), std::string::npos);
  EXPECT_EQ(userFolder("../x").parent_path(), userFolder("Pat").parent_path());
}

TEST_F(HotSyncManagerTest, OneHotSyncAtATimePerHandheld) {
  desktop::FileLock busy(Handheld(options.handheld).lockFile());
  EXPECT_THROW(runHotSync(options), desktop::FileError);
}

TEST_F(HotSyncManagerTest, EachApplicationIsServedAsItsConduitEntrySays) {
  ConduitEntries entries = ConduitEntries::user();
  options.entries = &entries;
  options.applications = {"memo", "todo"};
  entries.put(fourCC("memo"), {"comconduit.dll", "Memo Pad", "Test.Recording"});
  std::vector<std::string> lines;
  auto result = runHotSync(options, [&](const std::string& line) { lines.push_back(line); });
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(RecordingConduit::syncTypes, std::vector<std::int32_t>{1});
  EXPECT_EQ(result.committed, std::vector<std::string>{"MemoDB"});
  EXPECT_NE(std::find(lines.begin(), lines.end(), "To Do List: served by another conduit (ToDoConduit.DLL), skipped"),
            lines.end());

  desktop::SettingsStore(entries.file()).removeKey("Conduits\\746F646F");
  lines.clear();
  runHotSync(options, [&](const std::string& line) { lines.push_back(line); });
  EXPECT_NE(std::find(lines.begin(), lines.end(), "To Do List: served by no conduit, skipped"), lines.end());
}

TEST_F(HotSyncManagerTest, TheChosenActionServesOnceOrUntilChangedAndATypeGivenOverridesIt) {
  ConduitEntries entries = ConduitEntries::user();
  options.entries = &entries;
  entries.put(fourCC("memo"), {"ComConduit.DLL", "Memo Pad", "Test.Recording"});
  runHotSync(options);  // the first: slow
  entries.setValue(fourCC("memo"), "SyncPerm", "6");
  entries.setValue(fourCC("memo"), "SyncTemp", "3");
  runHotSync(options);
  runHotSync(options);
  entries.setValue(fourCC("memo"), "SyncPerm", "0");
  runHotSync(options);
  options.syncType = 2;
  entries.setValue(fourCC("memo"), "SyncTemp", "3");
  runHotSync(options);
  EXPECT_EQ(RecordingConduit::syncTypes, (std::vector<std::int32_t>{1, 3, 6, 0, 2}));
  EXPECT_EQ(entries.value(fourCC("memo"), "SyncTemp"), "3")
      << "a type given leaves the chosen action for the next HotSync";
}

TEST(SyncTypes, NamesAndNumbers) {
  EXPECT_EQ(parseSyncType("fast"), 0);
  EXPECT_EQ(parseSyncType("Desktop-Overwrites-Handheld"), 3);
  EXPECT_EQ(parseSyncType("nothing"), 6);
  EXPECT_EQ(parseSyncType("8"), 8);
  EXPECT_EQ(parseSyncType("quick"), std::nullopt);
  EXPECT_EQ(findApplication("ToDoDB")->creator, fourCC("todo"));
  EXPECT_EQ(findApplication("address book")->database, std::string("AddressDB"));
  EXPECT_EQ(findApplication("date"), findApplication("datebook"));
}

// A row that names another application's database or creator would sync one
// application's records with another's conduit.
TEST(Applications, EachRowMatchesItsDatabaseOnTheHandheld) {
  for (const Application& app : applications()) {
    PdbDatabase db = PdbDatabase::parse(test::readBytes(test::sampleHandheld() / (std::string(app.database) + ".pdb")),
                                        app.database);
    EXPECT_EQ(db.name(), app.database);
    EXPECT_EQ(fourCCText(db.header.creator), fourCCText(app.creator)) << app.database;
  }
}

TEST(Applications, EveryColumnFindsItsOwnRowAndNoOther) {
  for (const Application& app : applications()) {
    EXPECT_EQ(&application(app.kind), &app);
    EXPECT_EQ(applicationOfKey(app.key), &app);
    EXPECT_EQ(applicationOfDatabase(app.database), &app);
    EXPECT_EQ(applicationOfCreator(app.creator), &app);
    for (std::string name :
         {std::string(app.key), std::string(app.database), std::string(app.name), fourCCText(app.creator)}) {
      EXPECT_EQ(findApplication(name), &app) << name;
      EXPECT_EQ(findApplication(pelorix::upperAscii(name)), &app) << name;
    }
  }
  // The exact look-ups are exact: the record command takes only keys.
  EXPECT_EQ(applicationOfKey("Memo"), nullptr);
  EXPECT_EQ(applicationOfKey("MemoDB"), nullptr);
  EXPECT_EQ(applicationOfDatabase("memodb"), nullptr);
  EXPECT_EQ(applicationOfCreator(fourCC("mail")), nullptr);
  EXPECT_EQ(findApplication("mail"), nullptr);
  EXPECT_EQ(findApplication(""), nullptr);
}

}  // namespace
}  // namespace pelorix::palm
