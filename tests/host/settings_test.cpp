#include "host/settings.h"

#include <gtest/gtest.h>

#include "host/settings_writer.h"
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

// A writer and a reader that disagreed on a section or a position would hand
// one application's program to another.
TEST_F(SettingsTest, WhatTheSetupWritesReadsBackInTheSetupAndInTheHotSync) {
  SetupValues v;
  for (const palm::Application& app : palm::applications())
    v.of(app.kind) = {std::string("SYNC.") + app.key, app.kind == palm::AppKind::ToDoList ? 1 : 0};
  v.connectionType = 3;
  v.brasqHostName = "brasq";
  v.odbcDataSource = "dsn";
  v.doa = 1;
  v.uniHostName = "unihost";
  v.accountName = "/srv/SALES";
  v.userName = "ann";
  v.password = "s3cret";
  v.uniType = 1;
  writeSettings(store, v);
  EXPECT_EQ(store.get(sectionKey("ToDoList"), "mvProgName"), "SYNC.todo");
  EXPECT_EQ(store.get(sectionKey("ToDoList"), "Active"), "1");
  EXPECT_EQ(store.get(sectionKey("DateBook"), "Active"), "0");

  SetupValues back;
  EXPECT_EQ(readSettings(store, back), "");
  for (const palm::Application& app : palm::applications()) {
    EXPECT_EQ(back.of(app.kind).programName, v.of(app.kind).programName) << app.name;
    EXPECT_EQ(back.of(app.kind).active, v.of(app.kind).active) << app.name;
  }
  EXPECT_EQ(back.connectionType, 3);
  EXPECT_EQ(back.brasqHostName, "brasq");
  EXPECT_EQ(back.odbcDataSource, "dsn");
  EXPECT_EQ(back.doa, 1);
  EXPECT_EQ(back.uniHostName, "unihost");
  EXPECT_EQ(back.accountName, "/srv/SALES");
  EXPECT_EQ(back.userName, "ann");
  EXPECT_EQ(back.password, "s3cret");
  EXPECT_EQ(back.uniType, 1);

  readSettings(store, s);
  for (const palm::Application& app : palm::applications())
    EXPECT_EQ(s.programNames.at(app.database), std::string("SYNC.") + app.key);
  EXPECT_EQ(s.hostName, "unihost");
  EXPECT_EQ(s.accountPath, "/srv/SALES");
  EXPECT_EQ(s.databaseType, 1);
}

// The setup leaves a control as it was for a number it cannot read, and
// saving does not turn that number into another.
TEST_F(SettingsTest, UnusableNumbersReadAsNoneAndWritingLeavesThemStored) {
  set("Connection", "UniType", "UniData");
  set("Connection", "DOA", "70000");
  set("MemoPad", "Active", " 1 ");
  SetupValues v;
  readSettings(store, v);
  EXPECT_EQ(v.uniType, std::nullopt);
  EXPECT_EQ(v.doa, std::nullopt);
  EXPECT_EQ(v.of(palm::AppKind::MemoPad).active, 1);
  EXPECT_EQ(v.of(palm::AppKind::DateBook).active, 0) << "missing reads as 0";
  EXPECT_EQ(v.connectionType, 0);
  writeSettings(store, v);
  EXPECT_EQ(store.get(sectionKey("Connection"), "UniType"), "UniData");
  EXPECT_EQ(store.get(sectionKey("Connection"), "DOA"), "70000");
  EXPECT_EQ(store.get(sectionKey("MemoPad"), "Active"), "1");
  EXPECT_EQ(store.get(sectionKey("Connection"), "OSType"), "0");
}

// Scripts and tests fill SetupValues by position, and pelorix config lists
// the sections: both in this order.
TEST(SettingsLayout, TheApplicationsSectionsComeFirstInOneOrderThenTheConnection) {
  const auto& layout = settingsLayout();
  std::vector<std::string> names;
  for (const SettingsSection& section : layout) names.push_back(section.name);
  EXPECT_EQ(names, (std::vector<std::string>{"AddressBook", "DateBook", "ToDoList", "MemoPad", "Connection"}));
  for (size_t i = 0; i < SetupValues().applications.size(); ++i) {
    EXPECT_EQ(layout[i].application, &SetupValues::applicationAt(i));
    EXPECT_EQ(layout[i].application->section, names[i]);
  }
  EXPECT_EQ(layout.back().application, nullptr);
  EXPECT_EQ(sectionOfDatabase("DatebookDB"), "DateBook");
  EXPECT_EQ(sectionOfDatabase("MailDB"), "");
}

}  // namespace
}  // namespace pelorix::host
