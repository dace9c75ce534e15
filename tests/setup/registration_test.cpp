#include "setup/registration.h"

#include <QCheckBox>
#include <QLineEdit>

#include "host/settings.h"
#include "palm/applications.h"
#include "palm/conduit_controls.h"
#include "palm/pdb_database.h"
#include "setup/dialog_driver.h"
#include "setup/frm_setup.h"
#include "support/test_support.h"

namespace pelorix::setup {
namespace {

using palm::AppKind;

using palm::ConduitEntries;

std::uint32_t id(const char* creator) { return *ConduitEntries::creatorId(creator); }

class Registration : public ::testing::Test {
 protected:
  test::IsolatedConfig config;
  test::DialogDriver driver;
  desktop::SettingsStore settings = desktop::SettingsStore::user();
  ConduitEntries entries = ConduitEntries::user();
  ConduitControls controls = ConduitControls::create();

  std::string kept(const char* section, const char* key) {
    return settings.get(host::sectionKey(section), key).value_or("<missing>");
  }
};

TEST_F(Registration, TakesOverAnEntryKeepingWhatItNamedAndGivesItBack) {
  entries.setValue(id("date"), "COMClient", "Desktop.Dates");
  ASSERT_TRUE(UpdateConduit(controls, settings, "date", true));
  EXPECT_EQ(kept("DateBook", "OldDll"), "DatebookConduit.DLL");
  EXPECT_EQ(kept("DateBook", "OldCOMClient"), "Desktop.Dates");
  auto e = entries.entry(id("date"));
  EXPECT_EQ(e->dll, "ComConduit.DLL");
  EXPECT_EQ(e->name, "Date Book");
  EXPECT_EQ(e->comClient, "Pelx.CNotify");
  EXPECT_EQ(entries.comClass(id("date")), "Pelx.CNotify");
  EXPECT_EQ(entries.reloads(), 1);

  // Already ours: nothing is kept again and the manager is not told.
  ASSERT_TRUE(UpdateConduit(controls, settings, "date", true));
  EXPECT_EQ(kept("DateBook", "OldDll"), "DatebookConduit.DLL");
  EXPECT_EQ(entries.reloads(), 1);

  ASSERT_TRUE(UpdateConduit(controls, settings, "date", false));
  e = entries.entry(id("date"));
  EXPECT_EQ(e->dll, "DatebookConduit.DLL");
  EXPECT_EQ(e->comClient, "Desktop.Dates");
  EXPECT_EQ(e->name, "Date Book");
  EXPECT_FALSE(entries.comClass(id("date")));
  // Restoring again gives the same result.
  ASSERT_TRUE(UpdateConduit(controls, settings, "date", false));
  EXPECT_EQ(entries.entry(id("date"))->dll, "DatebookConduit.DLL");
  EXPECT_EQ(entries.reloads(), 3);
  EXPECT_TRUE(driver.messages.empty());
}

TEST_F(Registration, AnEntryNamingTheOlderCOMClientLibraryCountsAsOurs) {
  entries.put(id("memo"), {"comclient.dll", "Memo", "pelx.cnotify"});
  ASSERT_TRUE(UpdateConduit(controls, settings, "memo", true));
  EXPECT_EQ(kept("MemoPad", "OldDll"), "<missing>");
  EXPECT_EQ(entries.reloads(), 0);
}

TEST_F(Registration, UntickingANeverTakenEntryWritesItsOwnValuesBack) {
  ASSERT_TRUE(UpdateConduit(controls, settings, "todo", false));
  auto e = entries.entry(id("todo"));
  EXPECT_EQ(e->dll, "ToDoConduit.DLL");
  EXPECT_EQ(e->comClient, "");
}

TEST_F(Registration, UnknownCreatorsAndMissingEntriesAreSaidAndChangeNothing) {
  EXPECT_FALSE(UpdateConduit(controls, settings, "mail", true));
  ASSERT_EQ(driver.messages.size(), 1u);
  EXPECT_EQ(driver.messages[0], "critical: Invalid Creator Id");

  desktop::SettingsStore(entries.file()).removeKey("Conduits\\6D656D6F");
  EXPECT_FALSE(UpdateConduit(controls, settings, "memo", true));
  ASSERT_EQ(driver.messages.size(), 2u);
  EXPECT_EQ(driver.messages[1],
            "critical: Unable to find the Creator ID.  Conduit not likely installed.\r\n"
            "The default Conduit must be installed by installing the Palm Desktop.\r\n"
            "Application: Memo Pad");
  EXPECT_FALSE(entries.exists(id("memo")));
  EXPECT_EQ(kept("MemoPad", "OldDll"), "<missing>");
}

TEST_F(Registration, SavingWithoutAMemoEntryTellsItOnceAndHandlesTheOthers) {
  desktop::SettingsStore(entries.file()).removeKey("Conduits\\6D656D6F");
  frmSetup f;
  test::click(f, "optOSType_3");
  for (AppKind kind : {AppKind::AddressBook, AppKind::MemoPad, AppKind::ToDoList}) {
    f.tab(kind).use->click();
    f.tab(kind).program->setText("SYNC.X");
  }
  test::click(f, "cmdApply");
  ASSERT_EQ(driver.messages.size(), 1u);
  EXPECT_NE(driver.messages[0].find("Unable to find the Creator ID."), std::string::npos);
  EXPECT_EQ(entries.comClass(id("addr")), "Pelx.CNotify");
  EXPECT_EQ(entries.comClass(id("todo")), "Pelx.CNotify");
  EXPECT_FALSE(entries.comClass(id("date")));
  EXPECT_EQ(kept("AddressBook", "Active"), "1");
}

// Values kept for an application no conduit serves are no entry, and a
// one-time action chosen before the take-over is not Pelorix's to run.
TEST_F(Registration, OnlyRegistrationMakesEntriesAndAPendingActionIsNotTakenOver) {
  desktop::SettingsStore(entries.file()).removeKey("Conduits\\6D656D6F");
  entries.setValue(id("memo"), "SyncTemp", "2");
  EXPECT_FALSE(entries.exists(id("memo")));
  EXPECT_FALSE(entries.value(id("memo"), "SyncTemp"));

  desktop::SettingsStore(entries.file()).set("Conduits\\6D656D6F", "SyncTemp", "2");
  EXPECT_FALSE(UpdateConduit(controls, settings, "memo", true));
  ASSERT_EQ(driver.messages.size(), 1u);
  EXPECT_NE(driver.messages[0].find("Unable to find the Creator ID."), std::string::npos);
  EXPECT_EQ(kept("MemoPad", "OldDll"), "<missing>");

  entries.setValue(id("todo"), "SyncTemp", "2");
  entries.setValue(id("todo"), "SyncPerm", "0");
  ASSERT_TRUE(UpdateConduit(controls, settings, "todo", true));
  EXPECT_EQ(entries.value(id("todo"), "SyncTemp"), "");
  EXPECT_EQ(entries.value(id("todo"), "SyncPerm"), "0");
}

// A conduit-data control whose writes fail after the first.
class BrokenData : public com::Object {
 public:
  explicit BrokenData(ConduitEntries entries) : real_(com::make<palm::ConduitData>(std::move(entries))) {}
  com::Variant Invoke(com::DispId id, com::InvokeKind kind, std::span<com::Variant> args) override {
    if (kind == com::InvokeKind::PropertyPut && id == 5)
      com::raise(com::err::kAccessDenied, "ConduitData", "The entry is read-only");
    return real_->Invoke(id, kind, args);
  }

 private:
  com::Ref<palm::ConduitData> real_;
};

TEST_F(Registration, AFailingControlEndsTheUpdateWithItsErrorAndKeepsEarlierWrites) {
  controls.cndData = com::make<BrokenData>(entries);
  EXPECT_FALSE(UpdateConduit(controls, settings, "addr", true));
  ASSERT_EQ(driver.messages.size(), 1u);
  EXPECT_EQ(driver.messages[0], "critical: Error In Conduit Update\r\n" + std::to_string(com::err::kAccessDenied) +
                                    " The entry is read-only\r\nApplication: Address Book");
  EXPECT_EQ(kept("AddressBook", "OldDll"), "AddressConduit.DLL");
  EXPECT_EQ(entries.entry(id("addr"))->dll, "ComConduit.DLL");
  EXPECT_EQ(entries.reloads(), 0);
}

// Saving touches four applications; four identical boxes would not say which failed.
TEST_F(Registration, AnUnreadableEntriesFileIsToldOncePerApplicationByName) {
  test::writeBytes(entries.file(), {'[', 'C', 'o', 'n', 'd'});
  frmSetup f;
  test::click(f, "optOSType_3");
  test::click(f, "cmdApply");
  ASSERT_EQ(driver.messages.size(), 4u);
  const char* names[] = {"Address Book", "Date Book", "Memo Pad", "To Do List"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(driver.messages[i].rfind("critical: Error In Conduit Update\r\n", 0), 0u) << driver.messages[i];
    EXPECT_TRUE(driver.messages[i].ends_with(std::string("\r\nApplication: ") + names[i])) << driver.messages[i];
  }
}

TEST_F(Registration, UnInstallRestoresAllFourInOrder) {
  for (const palm::Application& app : palm::applications())
    ASSERT_TRUE(UpdateConduit(controls, settings, palm::fourCCText(app.creator), true));
  frmSetup f;
  f.UnInstall();
  for (const palm::Application& app : palm::applications()) EXPECT_FALSE(entries.comClass(app.creator)) << app.key;
  EXPECT_EQ(entries.entry(id("addr"))->dll, "AddressConduit.DLL");
  EXPECT_EQ(entries.reloads(), 8);
  EXPECT_TRUE(driver.messages.empty());
}

}  // namespace
}  // namespace pelorix::setup
