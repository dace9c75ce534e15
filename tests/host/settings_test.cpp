#include <gtest/gtest.h>

#include "host/settings.h"
#include "support/test_support.h"

namespace pelorix::host {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void set(const std::string& section, const std::string& key, const std::string& value) {
    store.set(sectionKey(section), key, value);
  }
  test::TempDir dir;
  desktop::SettingsStore store{dir / "settings.reg"};
  ConduitSettings s;
};

TEST_F(SettingsTest, NoSettingsAtAllGiveConnectionTypeZero) {
  EXPECT_EQ(readSettings(store, s), "");
  EXPECT_EQ(s.connectionType, 0);
  EXPECT_EQ(s.programNames.at("MemoDB"), "");
}

TEST_F(SettingsTest, EachApplicationsProgramIsReadWhateverTheCase) {
  set("addressbook", "MVPROGNAME", "ADDR.SYNC");
  set("DateBook", "mvprogname", "DATE.SYNC");
  set("ToDoList", "mvProgName", "TODO.SYNC");
  set("MemoPad", "mvProgName", "MEMO.SYNC");
  readSettings(store, s);
  EXPECT_EQ(s.programNames.at("AddressDB"), "ADDR.SYNC");
  EXPECT_EQ(s.programNames.at("DatebookDB"), "DATE.SYNC");
  EXPECT_EQ(s.programNames.at("ToDoDB"), "TODO.SYNC");
  EXPECT_EQ(s.programNames.at("MemoDB"), "MEMO.SYNC");
}

TEST_F(SettingsTest, OnlyTheChosenConnectionTypesKeysAreRead) {
  set("Connection", "OSType", "2");
  set("Connection", "ODBCDataSource", "D3DSN");
  set("Connection", "DOA", "1");
  set("Connection", "UniHostName", "unihost");
  set("Connection", "UserPasswd", "secret");
  readSettings(store, s);
  EXPECT_EQ(s.hostName, "D3DSN");
  EXPECT_EQ(s.doa, 1);
  EXPECT_EQ(s.password, "");
  set("Connection", "OSType", "3");
  set("Connection", "UniType", "1");
  ConduitSettings t;
  readSettings(store, t);
  EXPECT_EQ(t.hostName, "unihost");
  EXPECT_EQ(t.password, "secret");
  EXPECT_EQ(t.databaseType, 1);
}

TEST_F(SettingsTest, NumbersThatAreNotNumbersKeepTheOldValue) {
  s.connectionType = 3;
  set("Connection", "OSType", "three");
  readSettings(store, s);
  EXPECT_EQ(s.connectionType, 3);
  set("Connection", "OSType", "70000");
  readSettings(store, s);
  EXPECT_EQ(s.connectionType, 3);
  set("Connection", "OSType", "1.5");
  readSettings(store, s);
  EXPECT_EQ(s.connectionType, 2);  // halves round to even
}

TEST_F(SettingsTest, ACorruptStoreIsReportedAndReadsAsDefaults) {
  std::string bad = "garbage\n";
  test::writeBytes(store.file(), {bad.begin(), bad.end()});
  std::string problem = readSettings(store, s);
  EXPECT_NE(problem.find("settings.reg"), std::string::npos) << problem;
  EXPECT_EQ(s.connectionType, 0);
}

}  // namespace
}  // namespace pelorix::host
