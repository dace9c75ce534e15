#include "mv/account.h"

#include <gtest/gtest.h>

#include <fstream>

#include "mv/dynamic_array.h"
#include "support/test_support.h"

namespace pelorix::mv {
namespace {

namespace fs = std::filesystem;

TEST(ItemIds, EscapingIsReversibleAndSafe) {
  for (std::string id : {"ABC", "PALM*123", "a/b", "..", ".hidden", "%41", "sp ace", "caf\xC3\xA9", "x\xFEy"}) {
    std::string name = escapeName(id);
    EXPECT_EQ(name.find('/'), std::string::npos) << id;
    EXPECT_NE(name.front(), '.') << id;
    EXPECT_EQ(unescapeName(name), id);
  }
  EXPECT_EQ(escapeName("MEMO.1"), "MEMO.1");
  for (std::string bad : {"%4", "%ZZ", "a b", "%41%", ".x", "%2e"})
    EXPECT_THROW(unescapeName(bad), std::invalid_argument) << bad;
}

TEST(Account, ItemsAreStoredOneFilePerItemWithTheirMarks) {
  test::TempDir dir;
  Account account(dir.path());
  account.createFile("PALM.MEMOS");
  std::string item = std::string("first") + AM + "v1" + VM + "v2" + SVM + "s";
  account.write("PALM.MEMOS", "MV*1", item);
  account.write("PALM.MEMOS", "../escape", "x");
  EXPECT_EQ(account.read("PALM.MEMOS", "MV*1"), item);
  EXPECT_EQ(account.read("PALM.MEMOS", "missing"), std::nullopt);
  EXPECT_EQ(account.items("PALM.MEMOS"), (std::vector<std::string>{"../escape", "MV*1"}));
  EXPECT_FALSE(fs::exists(dir / "escape"));
  EXPECT_TRUE(account.remove("PALM.MEMOS", "MV*1"));
  EXPECT_FALSE(account.remove("PALM.MEMOS", "MV*1"));
  EXPECT_EQ(account.files(), std::vector<std::string>{"PALM.MEMOS"});
}

TEST(Account, MissingPiecesAreClearErrors) {
  test::TempDir dir;
  EXPECT_THROW(Account(dir / "nowhere"), AccountError);
  Account account(dir.path());
  EXPECT_THROW(account.read("NOFILE", "1"), AccountError);
  EXPECT_THROW(account.write("NOFILE", "1", "x"), AccountError);
  account.createFile("F");
  EXPECT_THROW(account.write("F", "", "x"), AccountError);
  // Temporary files of an interrupted write are not items.
  std::ofstream(dir / "F" / ".A.tmp-123456") << "half";
  account.write("F", "A", "whole");
  EXPECT_EQ(account.items("F"), std::vector<std::string>{"A"});
}

}  // namespace
}  // namespace pelorix::mv
