// Records arrive whole and right through a whole HotSync: what the handheld
// cannot hold is never written over a real record, flags and keys come as
// the host sent them, and odd handheld files are mended or refused, never
// synchronised wrong.

#include <gtest/gtest.h>

#include "conduit/sync_world.h"
#include "desktop/atomic_file.h"
#include "mv/dynamic_array.h"
#include "palm/app_info.h"
#include "palm/category_info.h"
#include "palm/handheld.h"
#include "palm/palm_text.h"
#include "palm/record_adapter.h"

namespace pelorix::test {
namespace {

namespace fs = std::filesystem;
using mv::AM;
using mv::VM;

class Fidelity : public SyncWorld {
 protected:
  palm::PdbDatabase db(const std::string& name) const { return palm::Handheld(handheld).read(name); }
  void save(const std::string& name, const palm::PdbDatabase& d) { palm::Handheld(handheld).write(name, d); }
  static std::string text(const palm::PdbRecord& r) { return std::string(r.data.begin(), r.data.end()); }
  static std::string item(const std::string& category, const std::string& isPrivate, const std::string& fields) {
    return std::string() + AM + category + AM + "0" + AM + isPrivate + AM + "1" + AM + "0" + AM + fields;
  }
  std::string desktopLog() const {
    std::error_code ec;
    return fs::exists(config.dir() / "pelorix.log", ec) ? desktop::readWholeFile(config.dir() / "pelorix.log") : "";
  }
};

TEST_F(Fidelity, AHostRecordTheHandheldCannotHoldNeverReplacesARealOne) {
  ASSERT_TRUE(sync(std::nullopt, {"todo"}).ok());
  ASSERT_EQ(db("ToDoDB").records.size(), 2u);
  palm::PdbRecord kept = db("ToDoDB").records[0];
  std::string id = std::to_string(kept.uniqueId);
  mv::Account a = account();
  std::string ours = a.read("TO.DO.LIST", id).value();
  std::string fields = mv::Extract(ours, 7);
  a.write("TO.DO.LIST", id, mv::Replace(mv::Replace(ours, 5, 0, 0, "1"), 7, 1, 0, "next friday"));
  a.write("TO.DO.LIST", "T9", item("0", "0", std::string("99999") + VM + "0" + VM + "1" + VM + "never due" + VM));

  palm::HotSyncResult r = sync(std::nullopt, {"todo"});
  EXPECT_FALSE(r.ok());
  ASSERT_FALSE(r.problems.empty());
  EXPECT_NE(r.problems[0].find("record " + id), std::string::npos) << r.problems[0];
  EXPECT_NE(r.problems[0].find("\"T9\""), std::string::npos) << r.problems[0];
  EXPECT_NE(r.problems[0].find("field 7"), std::string::npos) << r.problems[0];
  palm::PdbDatabase after = db("ToDoDB");
  ASSERT_EQ(after.records.size(), 2u) << "the new record that cannot be held was not added empty";
  EXPECT_EQ(after.findById(kept.uniqueId)->data, kept.data) << "the handheld keeps its copy";
  for (const palm::PdbRecord& rec : after.records) EXPECT_FALSE(rec.data.empty());
  // The host's copy was not blanked either, and the new record is still new.
  EXPECT_EQ(mv::Extract(account().read("TO.DO.LIST", id).value(), 7, 1), "next friday");
  EXPECT_TRUE(account().read("TO.DO.LIST", "T9").has_value());
  EXPECT_NE(desktopLog().find("cannot be held by the handheld"), std::string::npos);
}

TEST_F(Fidelity, AReviewedRecordTakesTheHostsPrivateFlagAndCategory) {
  ASSERT_TRUE(sync(std::nullopt, {"memo"}).ok());
  palm::PdbRecord memo = db("MemoDB").records[0];
  std::string id = std::to_string(memo.uniqueId);
  mv::Account a = account();
  std::string ours = a.read("MEMO.PAD", id).value();
  a.write("MEMO.PAD", id, mv::Replace(mv::Replace(mv::Replace(ours, 5, 0, 0, "1"), 4, 0, 0, "1"), 2, 0, 0, "3"));
  ASSERT_TRUE(sync(std::nullopt, {"memo"}).ok());
  std::uint8_t attributes = db("MemoDB").findById(memo.uniqueId)->attributes;
  EXPECT_EQ(attributes & 0x10, 0x10) << "private";
  EXPECT_EQ(attributes & 0x0F, 3) << "category";
}

TEST_F(Fidelity, HostKeysThatDifferOnlyInCaseAreTwoRecords) {
  mv::Account a = account();
  a.write("MEMO.PAD", "K1", item("0", "0", "upper"));
  a.write("MEMO.PAD", "k1", item("0", "0", "lower"));
  ASSERT_TRUE(sync(std::nullopt, {"memo"}).ok());
  std::vector<std::string> texts = memoTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "upper"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "lower"), texts.end());
}

TEST_F(Fidelity, RecordsWithoutAnIdGetOneOnceAndAreNotDuplicated) {
  palm::PdbDatabase d = db("MemoDB");
  for (const char* t : {"first", "second"}) {
    std::string bytes = std::string(t) + '\0';
    d.records.push_back({0x40, 0, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
  }
  save("MemoDB", d);
  std::vector<std::string> printed;
  palm::HotSyncOptions options;
  options.handheld = handheld;
  options.userName = "Pat";
  options.applications = {"memo"};
  ASSERT_TRUE(palm::runHotSync(options, [&](const std::string& line) { printed.push_back(line); }).ok());
  ASSERT_TRUE(sync(std::nullopt, {"memo"}).ok());
  ASSERT_TRUE(sync(std::nullopt, {"memo"}).ok());
  EXPECT_EQ(memoTexts().size(), 3u);  // the sample's memo and the two
  for (const palm::PdbRecord& r : db("MemoDB").records) EXPECT_NE(r.uniqueId, 0u);
  EXPECT_EQ(hostMemoKeys().size(), 3u);
  bool told = false;
  for (const std::string& line : printed)
    told |= line.find("2 records without a unique id got one") != std::string::npos;
  EXPECT_TRUE(told);
}

TEST_F(Fidelity, AMislabelledDatabaseIsRefusedUntouched) {
  palm::PdbDatabase d = db("MemoDB");
  palm::PdbDatabase todo = db("ToDoDB");
  d.setName("ToDoDB");
  save("MemoDB", d);
  auto before = readBytes(handheld / "MemoDB.pdb");
  palm::HotSyncResult r = sync(std::nullopt, {"memo"});
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.problems[0].find("holds the database \"ToDoDB\""), std::string::npos) << r.problems[0];
  EXPECT_EQ(readBytes(handheld / "MemoDB.pdb"), before);

  // The right name but the To Do List's creator.
  todo.setName("MemoDB");
  save("MemoDB", todo);
  r = sync(std::nullopt, {"memo"});
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.problems[0].find("belongs to the application 'todo'"), std::string::npos) << r.problems[0];
  EXPECT_EQ(hostMemo("M1").empty(), false);
}

TEST_F(Fidelity, AReadOnlyDatabaseIsRefusedAndALinkedOneIsWrittenThrough) {
  fs::permissions(handheld / "MemoDB.pdb", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto before = readBytes(handheld / "MemoDB.pdb");
  palm::HotSyncResult r = sync(std::nullopt, {"memo"});
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.problems[0].find("is read-only"), std::string::npos) << r.problems[0];
  EXPECT_EQ(readBytes(handheld / "MemoDB.pdb"), before);
  fs::permissions(handheld / "MemoDB.pdb", fs::perms::owner_read | fs::perms::owner_write);

  fs::rename(handheld / "MemoDB.pdb", dir / "real-MemoDB.pdb");
  fs::create_symlink(dir / "real-MemoDB.pdb", handheld / "MemoDB.pdb");
  ASSERT_TRUE(sync(std::nullopt, {"memo"}).ok());
  EXPECT_TRUE(fs::is_symlink(handheld / "MemoDB.pdb"));
  EXPECT_EQ(memoTexts().size(), 1u) << "the host's memo reached the file the link names";
}

TEST_F(Fidelity, ACreatedDatabaseCarriesItsApplicationsOwnAppInfo) {
  fs::remove(handheld / "ToDoDB.pdb");
  ASSERT_TRUE(sync(std::nullopt, {"todo"}).ok());
  EXPECT_EQ(db("ToDoDB").appInfo, palm::applicationAppInfo(palm::fourCC("todo")));
  EXPECT_EQ(db("ToDoDB").records.size(), 2u);
}

TEST_F(Fidelity, TheSixtyFifthThousandFiveHundredAndThirtySixthRecordIsRefused) {
  palm::Handheld h(handheld);
  palm::HotSyncSession session(h, palm::HotSyncRequest{});
  auto working = session.open("MemoDB");
  std::string bytes("x\0", 2);
  for (std::uint32_t i = working->db.records.size(); i < palm::kMaxRecords; ++i)
    working->db.records.push_back({0, i + 1, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
  auto adapter = com::make<palm::PDRecordAdapter>(working);
  com::Variant id;
  expectComError([&] { adapter->WriteRecord(id, 0, 0x40, com::Variant(com::ByteArray{'y', 0})); }, com::err::kFail);
  EXPECT_EQ(working->db.records.size(), palm::kMaxRecords);
}

}  // namespace
}  // namespace pelorix::test

namespace pelorix::test {
namespace {

TEST_F(Fidelity, DesktopOverwritesHandheldKeepsUnfiled) {
  ASSERT_TRUE(sync(3, {"memo"}).ok());
  palm::CategoryInfo categories(db("MemoDB").appInfo);
  EXPECT_EQ(palm::fromPalmText(categories.label(0)), "Unfiled");
}

TEST_F(Fidelity, AFailedCategoryReadReportsNothingBack) {
  mv::Account a = account();
  std::string list;
  for (int i = 1; i <= 15; ++i) list += std::string(i > 1 ? 1 : 0, AM) + (i == 2 ? "Suppliers" : "") + VM + "0";
  a.write("PALM.CONTROL", "MEMO.PAD*CATEGORIES", list);
  a.write("BP", "NO.CATEGORIES",
          "SUBROUTINE NO.CATEGORIES(PALM.INFO,FROM.PALM,TO.PALM)\n"
          "IF PALM.INFO<1> = 6 THEN ABORT 'categories unavailable'\n"
          "CALL PALM.SYNC('MEMO.PAD', PALM.INFO, FROM.PALM, TO.PALM)\n"
          "RETURN\n");
  host::SetupValues v = settings();
  v.applications[3].programName = "NO.CATEGORIES";
  saveSettings(v);
  palm::HotSyncResult r = sync(std::nullopt, {"memo"});
  EXPECT_FALSE(r.ok()) << "the category step failed and says so";
  EXPECT_EQ(memoTexts().size(), 1u) << "the records still moved";
  EXPECT_EQ(mv::Extract(account().read("PALM.CONTROL", "MEMO.PAD*CATEGORIES").value(), 2, 1), "Suppliers");
}

}  // namespace
}  // namespace pelorix::test
