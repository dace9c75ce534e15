#include "palm/record_adapter.h"

#include <gtest/gtest.h>

#include "com/datetime.h"
#include "palm/category_info.h"
#include "palm/hotsync_session.h"
#include "palm/pddirect.h"
#include "support/test_support.h"

namespace pelorix::palm {
namespace {

using com::ByteArray;
using com::Variant;
using test::expectComError;

class RecordAdapterTest : public ::testing::Test {
 protected:
  RecordAdapterTest() : handheld(test::copySampleHandheld(dir)), session(handheld, request()) {}

  static HotSyncRequest request() {
    HotSyncRequest r;
    r.databaseNames = {"MemoDB"};
    return r;
  }
  com::Ref<pddirect::IPDRecordAdapter> open(const std::string& name = "MemoDB") {
    return query->OpenRecordDatabase(name, pddirect::kRecordAdapterProgId, pddirect::kModeReadWrite);
  }
  static Variant bytes(const std::string& s) { return Variant(ByteArray(s.begin(), s.end())); }
  Variant add(pddirect::IPDRecordAdapter& a, std::int32_t category, std::int32_t attributes, const std::string& data) {
    Variant id;
    a.WriteRecord(id, category, attributes, bytes(data));
    return id;
  }

  test::TempDir dir;
  Handheld handheld;
  HotSyncSession session;
  com::Ref<pddirect::IPDDatabaseQuery> query = pddirect::newDatabaseQuery();
};

TEST_F(RecordAdapterTest, WrittenRecordsReadBackByIdAndInOrder) {
  auto a = open();
  Variant first = add(*a, 2, 0x40, "one");
  Variant second = add(*a, 0, 0x10, "two");
  EXPECT_NE(first.toInt32(), second.toInt32());

  std::int32_t index, category, attributes;
  Variant data = a->ReadById(index, second, category, attributes);
  EXPECT_EQ(data, bytes("two"));
  EXPECT_EQ(category, 0);
  EXPECT_EQ(attributes, 0x10);

  a->IteratorIndex(0);
  Variant id;
  EXPECT_EQ(a->ReadNext(index, id, category, attributes), bytes("one"));
  EXPECT_EQ(id.toInt32(), first.toInt32());
  EXPECT_EQ(category, 2);
  EXPECT_FALSE(a->AtEnd());
  a->ReadNext(index, id, category, attributes);
  a->ReadNext(index, id, category, attributes);
  EXPECT_TRUE(a->AtEnd());
  a->IteratorIndex(0);
  EXPECT_FALSE(a->AtEnd());
}

TEST_F(RecordAdapterTest, ModifiedReadsSkipCleanRecordsButNotDeletedOnes) {
  auto a = open();
  add(*a, 1, 0, "clean");
  Variant dirty = add(*a, 1, 0x40, "dirty");
  Variant gone = add(*a, 1, 0x80, "");
  std::int32_t index, category, attributes;
  Variant id;
  a->IteratorIndex(0);
  a->ReadNextModified(index, id, category, attributes);
  EXPECT_EQ(id.toInt32(), dirty.toInt32());
  a->ReadNextModified(index, id, category, attributes);
  EXPECT_EQ(id.toInt32(), gone.toInt32());
  EXPECT_EQ(attributes, 0x80);
  a->ReadNextModified(index, id, category, attributes);
  EXPECT_TRUE(a->AtEnd());
}

TEST_F(RecordAdapterTest, ArchivedRecordsAreDeletedOnesWithTheArchiveBit) {
  auto a = open();
  Variant id = add(*a, 5, 0x08 | 0x40, "kept for the desktop");
  std::int32_t index, category, attributes;
  a->ReadById(index, id, category, attributes);
  EXPECT_EQ(attributes, 0x80 | 0x40 | 0x08);
  EXPECT_EQ(category, 0);
  EXPECT_EQ(joinAttributes(0x10, 7), 0x17);
  EXPECT_EQ(joinAttributes(0x80, 7), 0x80);  // a deleted record has no category
  expectComError([] { joinAttributes(0, 16); }, com::err::kInvalidArgument);
}

TEST_F(RecordAdapterTest, RewritingKeepsTheIdAndAnUnknownIdIsCreated) {
  auto a = open();
  Variant id = add(*a, 0, 0, "old");
  Variant same = id;
  a->WriteRecord(same, 3, 0x40, bytes("new"));
  EXPECT_EQ(same.toInt32(), id.toInt32());
  std::int32_t index, category, attributes;
  EXPECT_EQ(a->ReadById(index, id, category, attributes), bytes("new"));
  EXPECT_EQ(category, 3);

  Variant chosen(std::int32_t{0x00ABCDEF});
  a->WriteRecord(chosen, 0, 0, bytes("restored"));
  EXPECT_EQ(a->ReadById(index, chosen, category, attributes), bytes("restored"));
  Variant fresh = add(*a, 0, 0, "after");
  EXPECT_GT(fresh.toInt32(), 0x00ABCDEF);  // never an id already used
}

TEST_F(RecordAdapterTest, BadWritesAreRefused) {
  auto a = open();
  Variant id;
  expectComError([&] { a->WriteRecord(id, 0, 0, Variant("text")); }, com::err::kTypeMismatch);
  expectComError([&] { a->WriteRecord(id, 0, 0, Variant(ByteArray(65536))); }, com::err::kInvalidArgument);
  Variant tooBig(std::int32_t{0x01000000});
  expectComError([&] { a->WriteRecord(tooBig, 0, 0, bytes("x")); }, com::err::kInvalidArgument);
  Variant negative(std::int32_t{-5});
  expectComError([&] { a->WriteRecord(negative, 0, 0, bytes("x")); }, com::err::kInvalidArgument);
  EXPECT_TRUE(id.isEmpty());
}

TEST_F(RecordAdapterTest, UnknownIdsRaiseRecordNotFound) {
  auto a = open();
  std::int32_t index, category, attributes;
  expectComError([&] { a->ReadById(index, Variant(std::int32_t{77}), category, attributes); },
                 com::err::kRecordNotFound);
  expectComError([&] { a->RemoveRecord(Variant(std::int32_t{77})); }, com::err::kRecordNotFound);
}

TEST_F(RecordAdapterTest, RemovalsKeepTheIterationInStep) {
  auto a = open();
  Variant one = add(*a, 0, 0, "1");
  add(*a, 0, 0, "2");
  add(*a, 0, 0, "3");
  std::int32_t index, category, attributes;
  Variant id;
  a->IteratorIndex(0);
  a->ReadNext(index, id, category, attributes);
  a->ReadNext(index, id, category, attributes);
  a->RemoveRecord(one);
  EXPECT_EQ(a->ReadNext(index, id, category, attributes), bytes("3"));
}

TEST_F(RecordAdapterTest, ManyRemovalsAmongWritesKeepIdsIterationAndTheFileRight) {
  auto a = open();
  std::vector<Variant> ids;
  for (int i = 0; i < 12; ++i) ids.push_back(add(*a, 0, 0, std::to_string(i)));
  std::int32_t index, category, attributes;
  Variant id;
  a->IteratorIndex(0);
  for (int i = 0; i < 5; ++i) a->ReadNext(index, id, category, attributes);  // read up to "4"
  for (int i : {1, 3, 4, 7, 11}) a->RemoveRecord(ids[i]);
  expectComError([&] { a->RemoveRecord(ids[7]); }, com::err::kRecordNotFound);
  expectComError([&] { a->ReadById(index, ids[3], category, attributes); }, com::err::kRecordNotFound);
  a->WriteRecord(ids[6], 0, 0, bytes("6 again"));
  Variant again = ids[11];
  a->WriteRecord(again, 0, 0, bytes("11 back"));  // a removed id written anew is one record
  std::vector<std::string> rest;
  for (Variant data = a->ReadNext(index, id, category, attributes); !a->AtEnd();
       data = a->ReadNext(index, id, category, attributes))
    rest.emplace_back(data.bytes().begin(), data.bytes().end());
  EXPECT_EQ(rest, (std::vector<std::string>{"5", "6 again", "8", "9", "10", "11 back"}));
  session.commit("MemoDB", false);
  PdbDatabase saved = handheld.read("MemoDB");
  EXPECT_EQ(saved.records.size(), 8u);
  EXPECT_NE(saved.findById(static_cast<std::uint32_t>(ids[11].toInt32())), nullptr);
  EXPECT_EQ(saved.findById(static_cast<std::uint32_t>(ids[4].toInt32())), nullptr);
}

TEST_F(RecordAdapterTest, RemoveSetPurgesOrEmpties) {
  auto a = open();
  add(*a, 1, 0, "live");
  add(*a, 2, 0, "other category");
  add(*a, 0, 0x80, "");
  add(*a, 0, 0x08, "archived");
  a->RemoveSet(1, 255);
  EXPECT_EQ(session.open("MemoDB")->db.records.size(), 2u);
  a->RemoveSet(0, 2);
  EXPECT_EQ(session.open("MemoDB")->db.records.size(), 1u);
  a->RemoveSet(0, 255);
  EXPECT_TRUE(session.open("MemoDB")->db.records.empty());
  expectComError([&] { a->RemoveSet(2, 255); }, com::err::kInvalidArgument);
}

TEST_F(RecordAdapterTest, ChangesReachTheFileOnlyWhenCommitted) {
  auto before = test::readBytes(handheld.fileOf("MemoDB"));
  auto a = open();
  add(*a, 0, 0x40, "pending");
  EXPECT_EQ(test::readBytes(handheld.fileOf("MemoDB")), before);
  session.commit("MemoDB", true);
  PdbDatabase saved = handheld.read("MemoDB");
  ASSERT_EQ(saved.records.size(), 1u);
  EXPECT_EQ(saved.records[0].attributes & 0x40, 0);  // a completed HotSync clears the dirty flag
  EXPECT_EQ(saved.header.modificationNumber, PdbDatabase::parse(before, "").header.modificationNumber + 1);
}

TEST_F(RecordAdapterTest, ARolledBackDatabaseKeepsItsFile) {
  auto before = test::readBytes(handheld.fileOf("MemoDB"));
  auto a = open();
  add(*a, 0, 0, "never saved");
  a->Categories()->Name(3, "Lost");
  session.rollback("MemoDB");
  session.commit("MemoDB", true);
  EXPECT_EQ(test::readBytes(handheld.fileOf("MemoDB")), before);
}

TEST_F(RecordAdapterTest, AnUnchangedDatabaseIsNotRewritten) {
  auto before = test::readBytes(handheld.fileOf("AddressDB"));
  auto a = open("AddressDB");
  a->Categories()->Name(0, "Unfiled");  // the same name: no change
  a->Categories()->Name(1, "");         // a label whose first byte is 0 is already empty
  session.commit("AddressDB", true);
  EXPECT_EQ(test::readBytes(handheld.fileOf("AddressDB")), before);
}

TEST_F(RecordAdapterTest, CategoriesAreReadAndWrittenBySlot) {
  auto a = open();
  auto c = a->Categories();
  EXPECT_EQ(c->Name(0), "Unfiled");
  c->Name(4, "Caf\xC3\xA9 & a very long name");
  c->Id(4, 20);
  c->Dirty(4, true);
  EXPECT_EQ(c->Name(4), "Caf\xC3\xA9 & a very l");  // 15 handheld characters
  EXPECT_EQ(c->Id(4), 20);
  EXPECT_TRUE(c->Dirty(4));
  EXPECT_FALSE(c->Dirty(3));
  expectComError([&] { c->Name(16); }, com::err::kSubscriptOutOfRange);
  expectComError([&] { c->Id(-1, 0); }, com::err::kSubscriptOutOfRange);
  session.commit("MemoDB", true);
  CategoryInfo saved(handheld.read("MemoDB").appInfo);
  EXPECT_EQ(saved.label(4), "Caf\xE9 & a very l");
  EXPECT_TRUE(saved.renamed(4));
}

TEST_F(RecordAdapterTest, DatabaseInfoAndCreation) {
  auto info = open()->DatabaseInfo();
  EXPECT_EQ(info->Name(), "MemoDB");
  EXPECT_EQ(com::splitDateTime(info->CreationDate()).year, 1999);
  expectComError([&] { open("NoSuchDB"); }, com::err::kFail);
  auto created = query->CreateRecordDatabase("NewDB", pddirect::kRecordAdapterProgId, "memo", "DATA", 208, 0, 1, 0);
  EXPECT_EQ(created->Categories()->Name(0), "Unfiled");
  EXPECT_FALSE(handheld.has("NewDB"));
  session.commit("NewDB", true);
  ASSERT_TRUE(handheld.has("NewDB"));
  PdbDatabase saved = handheld.read("NewDB");
  EXPECT_EQ(fourCCText(saved.header.creator), "memo");
  expectComError(
      [&] { query->CreateRecordDatabase("../evil", pddirect::kRecordAdapterProgId, "memo", "DATA", 208, 0, 1, 0); },
      com::err::kFail);
  expectComError([&] { query->OpenRecordDatabase("MemoDB", "Other.Adapter", 208); }, com::err::kClassNotRegistered);
}

TEST_F(RecordAdapterTest, ACorruptDatabaseCannotBeOpened) {
  test::writeBytes(handheld.fileOf("ToDoDB"), {1, 2, 3});
  try {
    open("ToDoDB");
    FAIL();
  } catch (const com::ComError& e) {
    EXPECT_NE(e.description().find("ToDoDB.pdb"), std::string::npos) << e.description();
  }
}

TEST(SuiteOutsideAHotSync, ObjectsSayNoHotSyncIsRunning) {
  auto support = pddirect::newConduitSupport();
  expectComError([&] { support->GetHotSyncInfo(); }, com::err::kFail);
  expectComError([&] { support->AddLogEntry("x", -1, false, false); }, com::err::kFail);
}

TEST(SuiteInsideAHotSync, InformationAndLogComeFromTheSession) {
  test::TempDir dir;
  Handheld handheld(dir.path());
  HotSyncRequest r;
  r.syncType = 1;
  r.pathName = "/users/me";
  r.localName = "MemoDB";
  r.infoText = "Memo Pad";
  r.userName = "Me";
  r.userDate = com::makeDate(2026, 1, 2);
  r.databaseNames = {"MemoDB", "Second"};
  r.creator = fourCC("memo");
  r.dbType = fourCC("DATA");
  std::vector<std::string> printed;
  HotSyncSession session(handheld, r, [&](const LogEntry& e) { printed.push_back(e.text); });
  auto support = pddirect::newConduitSupport();
  auto info = support->GetHotSyncInfo();
  EXPECT_EQ(info->SyncType(), 1);
  EXPECT_EQ(info->PathName(), "/users/me");
  EXPECT_EQ(info->InfoText(), "Memo Pad");
  EXPECT_EQ(info->RemoteDbCount(), 2);
  EXPECT_EQ(info->RemoteDbNames(1), "Second");
  expectComError([&] { info->RemoteDbNames(2); }, com::err::kSubscriptOutOfRange);
  EXPECT_EQ(pddirect::newUtility()->LongToText(info->CreatorId(), -1), "memo");
  EXPECT_EQ(support->GetUserInfo()->UserDate(), com::makeDate(2026, 1, 2));
  support->AddLogEntry("line", 21, true, false);
  ASSERT_EQ(session.logEntries().size(), 1u);
  EXPECT_EQ(session.logEntries()[0].activity, 21);
  EXPECT_EQ(printed, std::vector<std::string>{"line"});
}

}  // namespace
}  // namespace pelorix::palm
