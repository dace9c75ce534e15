// The sample account's subroutines driven through the connector with the
// requests a HotSync makes, checking both the answers and the files.

#include <gtest/gtest.h>

#include "desktop/class_registry.h"
#include "host/host_connector.h"
#include "mv/account.h"
#include "mv/basic_host.h"
#include "mv/dynamic_array.h"
#include "records/caddress_book_rec.h"
#include "records/cdate_book.h"
#include "records/cmemo_pad.h"
#include "records/cto_do_list.h"
#include "support/test_support.h"

namespace pelorix::mv {
namespace {

namespace fs = std::filesystem;

enum SyncType { Fast = 0, Slow = 1, ToPC = 2, ToPalm = 3 };

class SampleAccount : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(PELORIX_SOURCE_DIR) / "samples" / "host", dir.path(), fs::copy_options::recursive);
    desktop::ClassRegistry::instance().registerLibrary(test::hostConnectorLibrary().string());
    host = host::HostConnector::create(3);
    host.AcctPath(dir.path().string());
    host.Connect();
  }
  std::string call(int request, const std::string& from = "", int syncType = Fast,
                   const std::string& program = "SYNC.MEMOS") {
    std::string info = std::to_string(request) + AM + std::to_string(syncType) + AM + "Pat" + AM + "MemoDB" + AM +
                       "21525" + AM + "12000" + AM + "21520";
    std::string to;
    host.CallHost(program, info, from, to);
    return to;
  }
  std::string item(const std::string& id, const std::string& file = "MEMO.PAD") {
    return account.read(file, id).value_or("(none)");
  }
  // A memo as the handheld sends it: id, category, deleted, archived,
  // changed, private, text, host key.
  static std::string memo(const std::string& id, const std::string& text, const std::string& flags = "0]0]1]0") {
    return m(id + "]0]" + flags + "]" + text + "]");
  }
  // Makes the sample's memo M1 the handheld's record 101, as the first
  // HotSync does.
  void firstSync() {
    call(0);
    call(5, m("NewId ]101]M1"));
  }
  void changeHere(const std::string& id, const std::string& text) {
    std::string i = Replace(item(id), 7, 0, 0, text);
    account.write("MEMO.PAD", id, Replace(i, 5, 0, 0, "1"));
  }

  test::IsolatedConfig config;
  test::TempDir dir;
  Account account{dir.path()};
  host::HostConnector host{nullptr};
};

TEST_F(SampleAccount, EveryApplicationsRecordsReachTheHandheldAsValidRecords) {
  struct App {
    const char* program;
    std::function<com::Ref<records::IPalmRecord>()> make;
    size_t records;
  };
  std::vector<App> apps = {
      {"SYNC.MEMOS", [] { return com::Ref<records::IPalmRecord>(com::make<records::CMemoPad>()); }, 1},
      {"SYNC.ADDRESS", [] { return com::Ref<records::IPalmRecord>(com::make<records::CAddressBookRec>()); }, 2},
      {"SYNC.TODOS", [] { return com::Ref<records::IPalmRecord>(com::make<records::CToDoList>()); }, 2},
      {"SYNC.DATES", [] { return com::Ref<records::IPalmRecord>(com::make<records::CDateBook>()); }, 2},
  };
  for (const App& app : apps) {
    std::vector<std::string> sent = split(call(0, "", Fast, app.program), AM);
    ASSERT_EQ(sent.size(), app.records) << app.program;
    for (const std::string& record : sent) {
      auto r = app.make();
      ASSERT_NO_THROW(r->ExtractDynamicArray(record)) << app.program << ": " << record;
      EXPECT_TRUE(r->IsNew());
      EXPECT_TRUE(r->IsDirty());
      EXPECT_FALSE(r->mvRecNo().empty());
      EXPECT_FALSE(r->CreatePalmData().bytes().empty()) << app.program;
      // What the handheld sends back is what the host keeps.
      EXPECT_EQ(r->CreateDynamicArray(), record);
    }
  }
}

TEST_F(SampleAccount, NewRecordsAreKeyedByTheirHandheldIdsAndNotSentAgain) {
  EXPECT_EQ(split(call(0), AM).size(), 1u);
  call(5, m("NewId ]101]M1"));
  EXPECT_EQ(item("M1"), "(none)");
  EXPECT_EQ(Extract(item("101"), 1), "101");
  EXPECT_EQ(Extract(item("101"), 5), "0");
  EXPECT_EQ(call(0), "");
  // The same entries again, as a second notification sends them: no change.
  call(5, m("NewId ]101]M1"));
  EXPECT_EQ(account.items("MEMO.PAD"), std::vector<std::string>{"101"});
}

TEST_F(SampleAccount, AHandheldChangeIsKeptAndNeedsNoAnswer) {
  firstSync();
  EXPECT_EQ(call(1, memo("101", "Edited on the handheld")), "");
  EXPECT_EQ(Extract(item("101"), 7), "Edited on the handheld");
  EXPECT_EQ(call(1, memo("202", "New on the handheld")), "");
  EXPECT_EQ(Extract(item("202"), 1), "202");
  EXPECT_EQ(call(0), "");
}

TEST_F(SampleAccount, AHostChangeGoesToTheHandheldOnce) {
  firstSync();
  changeHere("101", "Edited here");
  std::string sent = call(0);
  EXPECT_EQ(sent, memo("101", "Edited here"));
  // The conduit reviews it against the handheld's unchanged copy.
  EXPECT_EQ(call(1, memo("101", "old text", "0]0]0]0")), memo("101", "Edited here"));
  call(5);
  EXPECT_EQ(call(0), "");
}

TEST_F(SampleAccount, ARecordChangedOnBothSidesIsKeptTwice) {
  firstSync();
  changeHere("101", "Edited here");
  EXPECT_EQ(call(1, memo("101", "Edited there")), "");
  EXPECT_EQ(Extract(item("101"), 7), "Edited there");
  std::string copy = call(0);
  EXPECT_EQ(copy, m("]0]0]0]1]0]Edited here]NEW*1"));
  call(5, m("NewId ]303]NEW*1"));
  EXPECT_EQ(account.items("MEMO.PAD"), (std::vector<std::string>{"101", "303"}));
  EXPECT_EQ(call(0), "");
}

TEST_F(SampleAccount, DeletionsAndArchivesOnEitherSide) {
  firstSync();
  call(1, memo("202", "to archive"));
  call(1, memo("203", "to delete"));
  call(2, memo("202", "to archive", "0]1]0]0"));
  call(2, memo("203", "to delete", "1]0]0]0"));
  EXPECT_EQ(Extract(item("202"), 3), "1");  // archived: kept here, never sent
  EXPECT_EQ(item("203"), "(none)");
  EXPECT_EQ(call(0), "");

  // Deleted here: the handheld is told, then the item goes.
  account.write("MEMO.PAD", "101", Replace(item("101"), 6, 0, 0, "1"));
  EXPECT_EQ(Extract(call(0), 1, 3), "1");
  call(5);
  EXPECT_EQ(item("101"), "(none)");

  // Deleted there but changed here: the change wins and returns as new.
  call(1, memo("204", "keep me"));
  changeHere("204", "changed here");
  call(2, memo("204", "keep me", "1]0]0]0"));
  EXPECT_EQ(call(0), m("]0]0]0]1]0]changed here]NEW*1"));
}

TEST_F(SampleAccount, HandheldOverwritesDesktopReplacesTheFileInOneStep) {
  firstSync();
  call(3, "", ToPC);
  EXPECT_NE(item("101"), "(none)");  // nothing is lost before the records arrive
  call(0, memo("7", "one") + AM + memo("8", "two"), ToPC);
  EXPECT_EQ(account.items("MEMO.PAD"), (std::vector<std::string>{"7", "8"}));
}

TEST_F(SampleAccount, DesktopOverwritesHandheldSendsEveryLiveRecord) {
  firstSync();
  call(1, memo("202", "second"));
  account.write("MEMO.PAD", "202", Replace(item("202"), 6, 0, 0, "1"));
  std::vector<std::string> sent = split(call(0, "", ToPalm), AM);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(Extract(sent[0], 1, 1), "101");
  call(5, "", ToPalm);
  call(4, "", ToPalm);
  EXPECT_EQ(account.items("MEMO.PAD"), std::vector<std::string>{"101"});
}

TEST_F(SampleAccount, CategoriesAreKeptAndHandedBack) {
  std::vector<std::string> fresh = split(call(6), AM);
  ASSERT_EQ(fresh.size(), 15u);
  EXPECT_EQ(fresh[0], m("]0"));
  std::string list;
  for (int i = 1; i <= 15; ++i)
    list += (i > 1 ? std::string(1, AM) : "") + (i == 2 ? "Business       " : std::string(15, ' ')) + VM +
            (i == 2 ? "1" : "0");
  call(7, list);
  std::vector<std::string> kept = split(call(6), AM);
  EXPECT_EQ(kept[1], m("Business]0"));
  EXPECT_EQ(kept[2], m("]0"));
}

TEST_F(SampleAccount, AMissingFileFailsTheCallAndSaysWhich) {
  fs::remove_all(dir / "MEMO.PAD");
  try {
    call(0);
    ADD_FAILURE();
  } catch (const com::ComError& e) {
    EXPECT_NE(e.description().find("no file MEMO.PAD"), std::string::npos) << e.description();
  }
}

}  // namespace
}  // namespace pelorix::mv
