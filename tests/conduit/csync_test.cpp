#include "conduit/csync.h"

#include <gtest/gtest.h>

#include <array>

#include "com/datetime.h"
#include "palm/category_info.h"
#include "palm/hotsync_session.h"
#include "support/test_support.h"

namespace pelorix::conduit {
namespace {

namespace fs = std::filesystem;

struct Slot {
  std::string name;
  std::int32_t id = 0;
  bool dirty = false;
};

class FakeCategories : public host::ICategoryList {
 public:
  std::array<Slot, 16> slots;
  std::string Name(std::int32_t i) override { return slots.at(i).name; }
  void Name(std::int32_t i, const std::string& n) override { slots.at(i).name = n; }
  std::int32_t Id(std::int32_t i) override { return slots.at(i).id; }
  void Id(std::int32_t i, std::int32_t id) override { slots.at(i).id = id; }
  bool Dirty(std::int32_t i) override { return slots.at(i).dirty; }
  void Dirty(std::int32_t i, bool d) override { slots.at(i).dirty = d; }
  void Abandon() override {}
  void Report() override {}
};

// A PC store that opens when told to and hands out a fixed category list.
class FakeStore : public host::CMVData {
 public:
  bool opens = true;
  std::vector<std::string> opened;
  com::Ref<FakeCategories> categories = com::make<FakeCategories>();
  bool OpenDatabase(const std::string&, const std::string&) override {
    opened.push_back(PalmDatabaseName);
    return opens;
  }
  com::Ref<host::ICategoryList> Categories() override { return categories; }
};

class CSyncTest : public ::testing::Test {
 protected:
  CSyncTest() : handheld(test::copySampleHandheld(dir)) {}

  std::vector<std::string> run(std::int32_t syncType, std::vector<std::string> databases = {"MemoDB"}) {
    palm::HotSyncRequest r;
    r.syncType = syncType;
    r.databaseNames = std::move(databases);
    r.creator = palm::fourCC("memo");
    r.dbType = palm::fourCC("DATA");
    session.emplace(handheld, r);
    auto sync = com::make<CSync>();
    sync->setPCStore(store);
    sync->Synchronize();
    std::vector<std::string> lines;
    for (const auto& e : session->logEntries()) lines.push_back(e.text);
    return lines;
  }

  test::IsolatedConfig config;
  test::TempDir dir;
  palm::Handheld handheld;
  std::optional<palm::HotSyncSession> session;
  com::Ref<FakeStore> store = com::make<FakeStore>();
};

const std::string kProduct = "Pelorix for PalmPilot";

TEST_F(CSyncTest, LogOnlyTypesWriteTheirLineAndTouchNothing) {
  EXPECT_EQ(run(4), std::vector<std::string>{kProduct + " - Sync configured to Install"});
  EXPECT_EQ(run(7), std::vector<std::string>{kProduct + " - Sync configured to Install"});
  EXPECT_EQ(run(5), std::vector<std::string>{kProduct + " - Sync configured to Backup"});
  EXPECT_EQ(run(6), std::vector<std::string>{kProduct + " - Sync configured to Do Nothing"});
  EXPECT_TRUE(run(8).empty());
  EXPECT_TRUE(run(-1).empty());
  EXPECT_TRUE(store->opened.empty());
  EXPECT_TRUE(session->openedDatabases().empty());
  ASSERT_EQ(session->logEntries().size(), 0u);
  run(5);
  EXPECT_EQ(session->logEntries()[0].activity, -1);
  EXPECT_TRUE(session->logEntries()[0].flag1);
  EXPECT_FALSE(session->logEntries()[0].flag2);
}

TEST_F(CSyncTest, NoDatabasesLogsOnlyTheProductName) {
  EXPECT_EQ(run(0, {}), std::vector<std::string>{kProduct});
  EXPECT_FALSE(session->logEntries()[0].flag1);
}

TEST_F(CSyncTest, EachDatabaseIsOpenedAndHandedToThePCStore) {
  run(1, {"MemoDB", "ToDoDB"});
  EXPECT_EQ(store->opened, (std::vector<std::string>{"MemoDB", "ToDoDB"}));
  EXPECT_EQ(com::splitDateTime(store->CreateDate).year, 1999);
}

TEST_F(CSyncTest, AMissingDatabaseIsCreatedWithTheCreatorAndType) {
  fs::remove(handheld.fileOf("MemoDB"));
  run(0);
  EXPECT_EQ(store->opened, std::vector<std::string>{"MemoDB"});
  session->commit("MemoDB", true);
  palm::PdbDatabase created = handheld.read("MemoDB");
  EXPECT_EQ(palm::fourCCText(created.header.creator), "memo");
  EXPECT_EQ(palm::fourCCText(created.header.type), "DATA");
}

TEST_F(CSyncTest, APCStoreThatCannotOpenStopsTheLaterDatabases) {
  store->opens = false;
  auto lines = run(0, {"MemoDB", "ToDoDB"});
  EXPECT_EQ(lines, (std::vector<std::string>{kProduct, kProduct + " - Unable make connection to Database"}));
  EXPECT_EQ(session->logEntries()[1].activity, 21);
  EXPECT_EQ(store->opened, std::vector<std::string>{"MemoDB"});
  EXPECT_EQ(session->openedDatabases(), std::vector<std::string>{"MemoDB"});
}

TEST_F(CSyncTest, ADatabaseThatCanNeitherOpenNorBeCreatedIsNotConfusedWithThePrevious) {
  auto lines = run(1, {"MemoDB", "../outside"});
  // The second database has no adapter: it is skipped, so nothing of it
  // reaches the PC store as MemoDB's.
  EXPECT_EQ(store->opened.size(), 1u);
  EXPECT_EQ(session->openedDatabases(), std::vector<std::string>{"MemoDB"});
  EXPECT_FALSE(fs::exists(dir / "outside.pdb"));
}

class CategoryRules : public CSyncTest {
 protected:
  palm::CategoryInfo handheldCategories() {
    session->commit("MemoDB", false);
    return palm::CategoryInfo(handheld.read("MemoDB").appInfo);
  }
  void setHandheld(size_t slot, const std::string& name, std::uint8_t id) {
    palm::PdbDatabase db = handheld.read("MemoDB");
    palm::CategoryInfo c(db.appInfo);
    c.setLabel(slot, name);
    c.setId(slot, id);
    c.storeInto(db.appInfo);
    handheld.write("MemoDB", db);
  }
  Slot& pc(size_t slot) { return store->categories->slots[slot]; }
};

TEST_F(CategoryRules, EqualNamesChangeNothingEvenWhenThePCPadsThem) {
  pc(0) = {"Unfiled        ", 0, false};
  run(0);
  EXPECT_FALSE(pc(0).dirty);
  EXPECT_EQ(pc(0).name, "Unfiled        ");
  EXPECT_EQ(handheldCategories().label(0), "Unfiled");
}

TEST_F(CategoryRules, AnEmptyHandheldSlotTakesThePCCategory) {
  pc(3) = {"Work           ", 33, true};
  run(1);
  palm::CategoryInfo c = handheldCategories();
  EXPECT_EQ(c.label(3), "Work");
  EXPECT_EQ(c.id(3), 33);
  EXPECT_TRUE(c.renamed(3));
  EXPECT_FALSE(pc(3).dirty);
}

TEST_F(CategoryRules, ADirtyPCSlotWinsOverTheHandheld) {
  setHandheld(5, "Old", 5);
  pc(5) = {"New            ", 0x105, true};
  run(0);
  EXPECT_EQ(handheldCategories().label(5), "New");
  EXPECT_EQ(handheldCategories().id(5), 5);  // the low 8 bits of the PC id
  EXPECT_FALSE(pc(5).dirty);
}

TEST_F(CategoryRules, OtherwiseThePCTakesTheHandheldsNameAndBecomesDirty) {
  setHandheld(6, "Travel", 17);
  pc(6) = {"Trips          ", 2, false};
  run(0);
  EXPECT_EQ(pc(6).name, "Travel");
  EXPECT_EQ(pc(6).id, 17);
  EXPECT_TRUE(pc(6).dirty);
  // A handheld name against an empty PC slot goes the same way.
  EXPECT_EQ(pc(0).name, "Unfiled");
  EXPECT_TRUE(pc(0).dirty);
}

TEST_F(CategoryRules, OverwriteModesCopyEverySlotOneWay) {
  setHandheld(2, "Home", 2);
  pc(7) = {"Desk           ", 7, true};
  run(2);  // the handheld overwrites the desktop
  EXPECT_EQ(pc(2).name, "Home");
  EXPECT_EQ(pc(7).name, "");
  EXPECT_FALSE(pc(7).dirty);
  pc(9) = {"Host           ", 9, false};
  run(3);  // the desktop overwrites the handheld
  EXPECT_EQ(handheldCategories().label(9), "Host");
  EXPECT_EQ(handheldCategories().label(2), "Home");
}

}  // namespace
}  // namespace pelorix::conduit
