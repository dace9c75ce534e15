#include "palm/pdb_database.h"

#include <gtest/gtest.h>

#include "palm/category_info.h"
#include "palm/handheld.h"
#include "palm/palm_text.h"
#include "support/test_support.h"

namespace pelorix::palm {
namespace {

namespace fs = std::filesystem;

PdbDatabase parseFile(const fs::path& file) {
  auto bytes = test::readBytes(file);
  return PdbDatabase::parse(bytes, file.string());
}

TEST(PdbFile, TheSampleDatabasesRoundTripByteForByte) {
  for (const char* name : {"AddressDB", "DatebookDB", "MemoDB", "ToDoDB"}) {
    fs::path file = test::sampleHandheld() / (std::string(name) + ".pdb");
    PdbDatabase db = parseFile(file);
    EXPECT_EQ(db.name(), name);
    EXPECT_EQ(db.header.type, fourCC("DATA"));
    EXPECT_TRUE(db.records.empty());
    EXPECT_EQ(db.serialize(), test::readBytes(file)) << name;
  }
}

TEST(PdbFile, SampleCategoriesReadAsTheHandheldShowsThem) {
  PdbDatabase memo = parseFile(test::sampleHandheld() / "MemoDB.pdb");
  EXPECT_EQ(memo.header.creator, fourCC("memo"));
  CategoryInfo categories(memo.appInfo);
  EXPECT_EQ(categories.label(0), "Unfiled");
  // "Business" and "Personal" were deleted on the handheld: their first byte is 0.
  EXPECT_EQ(categories.label(1), "");
  EXPECT_EQ(categories.label(2), "");
  EXPECT_EQ(categories.label(15), "");
  // The Address Book keeps its field labels after the category block.
  PdbDatabase address = parseFile(test::sampleHandheld() / "AddressDB.pdb");
  ASSERT_GT(address.appInfo.size(), CategoryInfo::kSize);
  CategoryInfo unchanged(address.appInfo);
  std::vector<std::uint8_t> copy = address.appInfo;
  unchanged.storeInto(copy);
  EXPECT_EQ(copy, address.appInfo);
}

TEST(PdbFile, RecordsAndBlocksRoundTrip) {
  PdbDatabase db = newDatabase("MemoDB", fourCC("memo"), fourCC("DATA"));
  db.sortInfo = {9, 8, 7};
  db.records.push_back({0x40 | 3, 0x123456, {'h', 'i', 0}});
  db.records.push_back({0x80 | 0x08, 0x000001, {}});
  db.records.push_back({0x10, 0xFFFFFF, std::vector<std::uint8_t>(1000, 0xAB)});
  auto bytes = db.serialize();
  PdbDatabase back = PdbDatabase::parse(bytes, "memory");
  ASSERT_EQ(back.records.size(), 3u);
  EXPECT_EQ(back.records[0].uniqueId, 0x123456u);
  EXPECT_EQ(back.records[0].attributes, 0x43);
  EXPECT_EQ(back.records[1].data.size(), 0u);
  EXPECT_EQ(back.records[2].data, db.records[2].data);
  EXPECT_EQ(back.appInfo, db.appInfo);
  EXPECT_EQ(back.sortInfo, db.sortInfo);
  EXPECT_EQ(back.serialize(), bytes);
}

TEST(PdbFile, DamagedFilesAreRefusedWithTheFileAndTheFault) {
  PdbDatabase db = newDatabase("MemoDB", fourCC("memo"), fourCC("DATA"));
  db.records.push_back({0, 1, {'a', 0}});
  db.records.push_back({0, 2, {'b', 0}});
  const auto good = db.serialize();

  auto expectRefused = [](std::vector<std::uint8_t> bytes, const std::string& fault) {
    try {
      PdbDatabase::parse(bytes, "/h/MemoDB.pdb");
      ADD_FAILURE() << "accepted a file with " << fault;
    } catch (const PdbFormatError& e) {
      EXPECT_NE(std::string(e.what()).find("/h/MemoDB.pdb"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(fault), std::string::npos) << e.what();
    }
  };
  expectRefused({}, "truncated");
  expectRefused({good.begin(), good.begin() + 77}, "truncated");
  expectRefused({good.begin(), good.begin() + 85}, "record list is cut off");
  auto bad = good;
  bad[76] = 0xFF;  // 65,280+ records announced
  bad[77] = 0x00;
  expectRefused(bad, "truncated");
  bad = good;
  bad[78 + 3] = 0xFF;  // first record beyond the end
  bad[78 + 2] = 0xFF;
  expectRefused(bad, "outside the file");
  bad = good;
  bad[86 + 3] = static_cast<std::uint8_t>(bad[78 + 3] - 1);
  expectRefused(bad, "before the record ahead");
  bad = good;
  bad[86 + 7] = 1;  // the second record takes the first one's id
  expectRefused(bad, "share the id");
  bad = good;
  bad[33] |= 0x01;
  expectRefused(bad, "resource database");
  bad = good;
  bad[75] = 1;
  expectRefused(bad, "chained");
  bad = good;
  std::fill(bad.begin(), bad.begin() + 32, 'x');
  expectRefused(bad, "name is not terminated");
}

TEST(Handheld, ACorruptFileIsRefusedAndLeftUntouched) {
  test::TempDir dir;
  fs::path folder = test::copySampleHandheld(dir);
  auto file = folder / "MemoDB.pdb";
  std::vector<std::uint8_t> cut(test::readBytes(file));
  cut.resize(40);
  test::writeBytes(file, cut);
  Handheld handheld(folder);
  EXPECT_THROW(handheld.read("MemoDB"), PdbFormatError);
  EXPECT_EQ(test::readBytes(file), cut);
}

TEST(Handheld, WritesReplaceTheFileWhole) {
  test::TempDir dir;
  Handheld handheld(test::copySampleHandheld(dir));
  PdbDatabase db = handheld.read("ToDoDB");
  db.records.push_back({0x40, db.allocateUniqueId(), {1, 2, 3}});
  handheld.write("ToDoDB", db);
  EXPECT_EQ(handheld.read("ToDoDB").records.size(), 1u);
  for (const auto& entry : fs::directory_iterator(handheld.folder()))
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos);
  EXPECT_EQ(handheld.databases(), (std::vector<std::string>{"AddressDB", "DatebookDB", "MemoDB", "ToDoDB"}));
}

TEST(Handheld, NamesThatAreNotPlainDatabaseNamesAreRefused) {
  test::TempDir dir;
  Handheld handheld(dir.path());
  for (const char* name : {"", ".", "..", "../MemoDB", "a/b", ".hidden", "a\\b", "0123456789012345678901234567890123"})
    EXPECT_THROW(handheld.fileOf(name), std::invalid_argument) << name;
  EXPECT_EQ(handheld.fileOf("MemoDB"), dir / "MemoDB.pdb");
  EXPECT_THROW(Handheld(dir / "missing"), std::runtime_error);
}

TEST(UniqueIds, NewIdsAreNeverReusedWithinADatabase) {
  PdbDatabase db = newDatabase("MemoDB", fourCC("memo"), fourCC("DATA"));
  std::uint32_t first = db.allocateUniqueId();
  std::uint32_t second = db.allocateUniqueId();
  EXPECT_GT(first, 0u);
  EXPECT_EQ(second, first + 1);
  db.records.push_back({0, second, {}});
  // The record went away, but its id stays spent after a save and a load.
  db.records.clear();
  PdbDatabase reloaded = PdbDatabase::parse(db.serialize(), "memory");
  EXPECT_GT(reloaded.allocateUniqueId(), second);
  // Ids already in the file count, whatever the seed says.
  PdbDatabase seeded = newDatabase("X", 0, 0);
  seeded.records.push_back({0, 500, {}});
  PdbDatabase loaded = PdbDatabase::parse(seeded.serialize(), "memory");
  EXPECT_EQ(loaded.allocateUniqueId(), 501u);
  loaded.reserveUniqueId(0xFFFFFF);
  EXPECT_THROW(loaded.allocateUniqueId(), PdbFormatError);
}

TEST(PalmText, LatinAndUtf8ConvertBothWays) {
  EXPECT_EQ(fromPalmText("caf\xE9 \x80 \x8F"), "caf\xC3\xA9 \xE2\x82\xAC \xE2\x99\xA5");
  EXPECT_EQ(toPalmText("caf\xC3\xA9 \xE2\x82\xAC \xE2\x99\xA5"), "caf\xE9 \x80 \x8F");
  // Every handheld byte survives the trip to the desktop and back.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(toPalmText(fromPalmText(all)), all);
  // What the handheld cannot hold becomes "?".
  EXPECT_EQ(toPalmText("\xE4\xB8\xAD|\xF0\x9F\x98\x80|\xE2\x99\xA3"), "?|?|?");
  EXPECT_EQ(palmTextLength("caf\xC3\xA9\xE4\xB8\xAD"), 5u);
  // The handheld's characters 0xFC to 0xFE are never the desktop's marks.
  std::string marks = fromPalmText("\xFC\xFD\xFE");
  EXPECT_EQ(marks.find('\xFC'), std::string::npos);
  EXPECT_EQ(marks.find('\xFD'), std::string::npos);
  EXPECT_EQ(marks.find('\xFE'), std::string::npos);
}

// The handheld's high bytes are Windows-1252's wherever Windows-1252
// defines one.
TEST(PalmText, HighBytesAreWindows1252WhereItDefinesThem) {
  const std::pair<int, const char*> windows1252[] = {
      {0x80, "\u20AC"}, {0x82, "\u201A"}, {0x83, "\u0192"}, {0x84, "\u201E"}, {0x85, "\u2026"}, {0x86, "\u2020"},
      {0x87, "\u2021"}, {0x88, "\u02C6"}, {0x89, "\u2030"}, {0x8A, "\u0160"}, {0x8B, "\u2039"}, {0x8C, "\u0152"},
      {0x8E, "\u017D"}, {0x91, "\u2018"}, {0x92, "\u2019"}, {0x93, "\u201C"}, {0x94, "\u201D"}, {0x95, "\u2022"},
      {0x96, "\u2013"}, {0x97, "\u2014"}, {0x98, "\u02DC"}, {0x99, "\u2122"}, {0x9A, "\u0161"}, {0x9B, "\u203A"},
      {0x9C, "\u0153"}, {0x9E, "\u017E"}, {0x9F, "\u0178"}};
  for (auto [byte, utf8] : windows1252) {
    std::string palm(1, static_cast<char>(byte));
    EXPECT_EQ(fromPalmText(palm), utf8) << std::hex << byte;
    EXPECT_EQ(toPalmText(utf8), palm) << std::hex << byte;
  }
}

// Hosts that keep Latin-1 send bytes that are not UTF-8; a NUL would end the
// text early on the handheld. Both are counted as they are replaced.
TEST(PalmText, HostTextThatIsNotUtf8IsReadAsWindows1252AndANulBecomesABlank) {
  EXPECT_EQ(toPalmText("Caf\xE9 \x80 na\xEFve"), "Caf\xE9 \x80 na\xEFve");
  EXPECT_EQ(toPalmText("\xC3|\xFF|\xED\xA0\x80|\xC3\xA9"), "\xC3|\xFF|\xED\xA0\x80|\xE9");
  EXPECT_EQ(unheldCharacters("Caf\xE9 \x80"), 0u);
  // Latin-1's C1 controls at the handheld's card suits cannot be held.
  EXPECT_EQ(toPalmText("\x8D\x8F\x90\x81"), "???\x81");
  EXPECT_EQ(unheldCharacters("\x8D\x8F\x90\x81"), 3u);

  const std::string withNul("a\0b\0", 4);
  EXPECT_EQ(toPalmText(withNul), "a b ");
  EXPECT_EQ(palmTextLength(withNul), 4u);
  EXPECT_EQ(unheldCharacters(withNul + "\xE4\xB8\xAD"), 3u);
}

// The count is a 16-bit field, the ids 24 bits, and the reader refuses a
// record above 64 KB: the writer fails rather than narrow any of them.
TEST(PdbFile, TheWriterRefusesWhatTheFileCannotHold) {
  PdbDatabase db = newDatabase("MemoDB", fourCC("memo"), fourCC("DATA"));
  db.records.resize(kMaxRecords);
  for (size_t i = 0; i < db.records.size(); ++i) db.records[i].uniqueId = static_cast<std::uint32_t>(i + 1);
  auto bytes = db.serialize();
  EXPECT_EQ(PdbDatabase::parse(bytes, "memory").records.size(), kMaxRecords);

  db.records.push_back({0, 0x10000, {}});
  try {
    db.serialize();
    ADD_FAILURE() << "65,536 records were written";
  } catch (const PdbFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("MemoDB"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("65536 records"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos) << e.what();
  }

  PdbDatabase big = newDatabase("MemoDB", fourCC("memo"), fourCC("DATA"));
  big.records.push_back({0, 1, std::vector<std::uint8_t>(kMaxRecordSize + 1, 'x')});
  EXPECT_THROW(big.serialize(), PdbFormatError);
  big.records[0].data.pop_back();
  EXPECT_EQ(PdbDatabase::parse(big.serialize(), "memory").records[0].data.size(), kMaxRecordSize);
  big.records[0].uniqueId = kMaxUniqueId + 1;
  EXPECT_THROW(big.serialize(), PdbFormatError);
}

}  // namespace
}  // namespace pelorix::palm
