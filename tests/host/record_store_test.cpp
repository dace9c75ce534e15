// CMVData's record store and category list against a recording connector.

#include <gtest/gtest.h>

#include "base/marks.h"
#include "com/datetime.h"
#include "host/cdt_categories.h"
#include "host/cmvdata.h"
#include "host/record_list.h"
#include "host/settings_writer.h"
#include "palm/hotsync_session.h"
#include "records/cmemo_pad.h"
#include "records/mod_pelx.h"
#include "support/recording_connector.h"
#include "support/test_support.h"

namespace pelorix::host {
namespace {

using com::Variant;
using test::HostCall;
using test::RecordingConnector;

const std::string VM(1, kValueMark);
const std::string AM(1, kAttributeMark);

// A memo as the host sends it.
std::string memo(const std::string& id, const std::string& text, const std::string& key = "", bool dirty = true) {
  return id + VM + "0" + VM + "0" + VM + "0" + VM + (dirty ? "1" : "0") + VM + "0" + VM + text + VM + key;
}

Variant bytes(const std::string& text) { return Variant(com::ByteArray(text.begin(), text.end() + 1)); }

class RecordStore : public ::testing::Test {
 protected:
  RecordStore() : handheld(dir.path()) {
    SetupValues v;
    v.applications[3].programName = "SYNC.MEMOS";
    v.connectionType = 3;
    desktop::SettingsStore store = desktop::SettingsStore::user();
    writeSettings(store, v);
    palm::HotSyncRequest r;
    r.syncType = 0;
    r.infoText = "Memo Pad";
    r.userDate = com::makeDate(2001, 5, 7);
    session.emplace(handheld, r);
    store_->PalmDatabaseName = "MemoDB";
    store_->ModDate = com::makeDate(1968, 1, 1);
    store_->CreateDate = com::makeDate(1967, 12, 30);
    EXPECT_TRUE(store_->OpenDatabase(dir.path().string(), "MemoDB"));
  }
  void answer(std::function<std::string(const HostCall&)> f) { RecordingConnector::answer = std::move(f); }
  void fromHost(const std::string& to) {
    answer([to](const HostCall& c) { return c.code() == 0 ? to : ""; });
    store_->RequestInformation();
  }
  void fromPalm(std::int32_t id, const std::string& text, std::int32_t attributes = 0) {
    Variant v(id);
    store_->WriteRecord(v, 0, attributes, bytes(text));
  }
  std::string textAt(std::int32_t index) {
    Variant id;
    std::int32_t category, attributes;
    Variant data = store_->ReadByIndex(index, id, category, attributes);
    return std::string(reinterpret_cast<const char*>(data.bytes().data()));
  }

  test::IsolatedConfig config;
  test::TempDir dir;
  palm::Handheld handheld;
  std::optional<palm::HotSyncSession> session;
  test::RecordingHost host;
  com::Ref<CMVData> store_ = com::make<CMVData>();
};

TEST_F(RecordStore, PalmInfoCarriesTheRequestTheSyncAndTheDates) {
  store_->RemoveAllRecords();
  const HostCall& c = RecordingConnector::calls.at(0);
  EXPECT_EQ(c.program, "SYNC.MEMOS");
  EXPECT_EQ(c.info, (std::vector<std::string>{"3", "0", "Memo Pad", "MemoDB", "1", "-1", "12181"}));
}

TEST_F(RecordStore, HostRecordsAreKeptByKeyInOrder) {
  fromPalm(42, "from the handheld");
  fromHost(memo("", "new one", "K1") + AM + memo("", "same key", "K1") + AM + memo("42", "host's 42"));
  // The second K1 is dropped; the host's 42 replaces the handheld's and goes to the end.
  ASSERT_EQ(store_->RecordCount(), 2);
  EXPECT_EQ(textAt(1), "new one");
  EXPECT_EQ(textAt(2), "host's 42");
  store_->RecordIndex = 0;
  std::int32_t index;
  Variant id;
  std::int32_t category, attributes;
  ASSERT_TRUE(store_->ReadNextModified(index, id, category, attributes));
  EXPECT_EQ(index, 1);
  ASSERT_TRUE(store_->ReadNextModified(index, id, category, attributes));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(id.toInt32(), 42);
  EXPECT_FALSE(store_->ReadNextModified(index, id, category, attributes));
  EXPECT_EQ(store_->RecordIndex, 2);
}

// MultiValue item ids are case-sensitive: K1 and k1 are two items.
TEST_F(RecordStore, HostKeysThatDifferOnlyInCaseAreTwoRecords) {
  fromHost(memo("", "upper", "K1") + AM + memo("", "lower", "k1"));
  ASSERT_EQ(store_->RecordCount(), 2);
  EXPECT_EQ(textAt(1), "upper");
  EXPECT_EQ(textAt(2), "lower");

  RecordList list;
  EXPECT_TRUE(list.tryAdd("MVK1", com::make<records::CMemoPad>()));
  EXPECT_TRUE(list.tryAdd("MVk1", com::make<records::CMemoPad>()));
  EXPECT_FALSE(list.tryAdd("MVK1", com::make<records::CMemoPad>())) << "a duplicate is told, not kept";
  EXPECT_EQ(list.size(), 2);
  EXPECT_EQ(list.find("mvk1"), nullptr);
}

TEST_F(RecordStore, OnlyHandheldRecordsAreSentAndAnEmptyAnswerAddsNothing) {
  fromHost("");
  EXPECT_EQ(RecordingConnector::calls.at(0).from, "");
  EXPECT_EQ(store_->RecordCount(), 0);
  fromPalm(1, "one");
  fromPalm(2, "two", 0x40);
  fromHost("");
  auto sent = RecordingConnector::split(RecordingConnector::calls.at(1).from);
  EXPECT_EQ(sent.size(), 2u);
  EXPECT_EQ(store_->RecordCount(), 2);
}

TEST_F(RecordStore, ReviewAnswersBringTheHostsCategoryAndPrivateFlagButKeepTheId) {
  // id, category 5, not deleted, not archived, changed, private
  answer([](const HostCall& c) {
    return c.code() == 1 ? "9" + VM + "5" + VM + "0" + VM + "0" + VM + "1" + VM + "1" + VM + "host text" + VM : "";
  });
  Variant id(7);
  std::int32_t category = 3, attributes = 0xC0;
  Variant data = store_->ReviewRecord(id, category, attributes, bytes("handheld text"));
  EXPECT_EQ(attributes, 0x50);
  EXPECT_EQ(category, 5);
  EXPECT_EQ(id.toInt32(), 7);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.bytes().data())), "host text");
  answer(nullptr);
  attributes = 0x40;
  EXPECT_TRUE(store_->ReviewRecord(id, category, attributes, bytes("x")).bytes().empty());
  EXPECT_EQ(attributes, 0);
  EXPECT_FALSE(store_->takeSilentFailure());
}

TEST_F(RecordStore, NewIdsAreReportedEveryTimeInOrder) {
  fromHost(memo("", "a", "K1") + AM + memo("", "b", "K2"));
  store_->UpdateRecordNo(2, Variant(9));
  store_->UpdateRecordNo(1, Variant(8));
  store_->UpdateRecordNo(5, Variant(7));  // no such position: nothing
  store_->NotifyDatabase();
  store_->NotifyDatabase();
  std::string expected = "NewId " + VM + "9" + VM + "K2" + AM + "NewId " + VM + "8" + VM + "K1";
  EXPECT_EQ(RecordingConnector::calls.at(1).from, expected);
  EXPECT_EQ(RecordingConnector::calls.at(2).from, expected);
}

TEST_F(RecordStore, RemoveAllDeletedRecordsRefusesDuplicateIdsAndChangesNothing) {
  fromHost(memo("", "a", "K1") + AM + memo("", "b", "K2"));
  size_t calls = RecordingConnector::calls.size();
  try {
    store_->RemoveAllDeletedRecords();
    ADD_FAILURE();
  } catch (const com::ComError& e) {
    EXPECT_EQ(e.number(), kDuplicateKey);
  }
  EXPECT_EQ(store_->RecordCount(), 2);
  EXPECT_EQ(RecordingConnector::calls.size(), calls);
}

TEST_F(RecordStore, AnotherDatabaseNameIsRefusedUnderEachOperationsName) {
  store_->PalmDatabaseName = "PhoneDB";
  Variant id(1);
  fromPalm(1, "x");  // stores nothing, raises nothing
  EXPECT_EQ(store_->RecordCount(), 0);
  for (auto [source, f] : std::vector<std::pair<std::string, std::function<void()>>>{
           {"DeleteRecord", [&] { store_->DeleteRecord(id, 0, 0x80, bytes("x")); }},
           {"ProgName", [&] { store_->NotifyDatabase(); }},
           {"ProgName", [&] { store_->RemoveAllRecords(); }},
       }) {
    try {
      f();
      ADD_FAILURE() << source;
    } catch (const com::ComError& e) {
      EXPECT_EQ(e.number(), com::err::kPelorix);
      EXPECT_EQ(e.source(), source);
      EXPECT_EQ(e.description(), "PhoneDB");
    }
  }
}

TEST_F(RecordStore, MoreThan32767RecordsCrossBothWays) {
  std::string answerText;
  for (int i = 1; i <= 40000; ++i) {
    if (i > 1) answerText += AM;
    answerText += memo("", "m", "K" + std::to_string(i));
  }
  fromHost(answerText);
  ASSERT_EQ(store_->RecordCount(), 40000);
  for (std::int32_t i = 1; i <= 40000; ++i) store_->UpdateRecordNo(i, Variant(i));
  store_->NotifyDatabase();
  EXPECT_EQ(RecordingConnector::split(RecordingConnector::calls.back().from).size(), 40000u);
}

TEST_F(RecordStore, TheCategoryListIsReadOnceAndReportedOnRelease) {
  std::string list;
  for (int i = 1; i <= 15; ++i)
    list += (i > 1 ? AM : "") + (i == 3 ? "  Business " + VM + " False" : i == 4 ? "Home" + VM : "" + VM + "0");
  answer([list](const HostCall& c) { return c.code() == 6 ? list : ""; });
  {
    com::Ref<ICategoryList> categories = store_->Categories();
    EXPECT_EQ(categories->Name(3), "Business       ");
    EXPECT_EQ(categories->Id(3), 3);
    EXPECT_FALSE(categories->Dirty(3));
    EXPECT_TRUE(categories->Dirty(4));  // an empty flag counts as changed
    EXPECT_EQ(categories->Name(0), std::string(15, ' '));
    test::expectComError([&] { categories->Name(16); }, com::err::kSubscriptOutOfRange);
    test::expectComError([&] { categories->Dirty(-1); }, com::err::kSubscriptOutOfRange);
    categories->Name(5, "A name longer than fifteen");
    EXPECT_EQ(categories->Name(5), "A name longer t");
    categories->Name(6, "Caf\xC3\xA9s");  // counted in characters, not bytes
    EXPECT_EQ(categories->Name(6), "Caf\xC3\xA9s" + std::string(10, ' '));
    EXPECT_EQ(RecordingConnector::codes(), std::vector<int>{6});
  }
  EXPECT_EQ(RecordingConnector::codes(), (std::vector<int>{6, 7}));
  auto sent = RecordingConnector::split(RecordingConnector::calls.back().from);
  ASSERT_EQ(sent.size(), 15u);
  EXPECT_EQ(sent[2], "Business       " + VM + "0");
  EXPECT_EQ(sent[4], "A name longer t" + VM + "0");
}

TEST_F(RecordStore, AShortCategoryAnswerFailsCreate) {
  answer([](const HostCall& c) { return c.code() == 6 ? "One" + VM + "0" + AM + "no mark" : ""; });
  test::expectComError([&] { store_->Categories(); }, com::err::kInvalidArgument);
}

}  // namespace
}  // namespace pelorix::host
