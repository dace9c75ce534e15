#include "setup/frm_setup.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "host/settings.h"
#include "setup/control_lock.h"
#include "setup/dialog_driver.h"
#include "support/test_support.h"

namespace pelorix::setup {
namespace {

using test::click;

class SetupDialog : public ::testing::Test {
 protected:
  test::IsolatedConfig config;
  test::DialogDriver driver;
  com::SettingsStore store = com::SettingsStore::user();

  std::string stored(const char* section, const char* key) {
    return store.get(host::sectionKey(section), key).value_or("<missing>");
  }
  static bool buttonsEnabled(frmSetup& f) {
    EXPECT_EQ(f.cmdOK->isEnabled(), f.cmdApply->isEnabled());
    return f.cmdOK->isEnabled();
  }
};

TEST_F(SetupDialog, OpensWithNothingStoredLockedAndCannotSave) {
  frmSetup f;
  EXPECT_EQ(f.windowTitle(), "Conduit Setup");
  QStringList tabs;
  for (int i = 0; i < f.SSTab1->count(); ++i) tabs << f.SSTab1->tabText(i);
  EXPECT_EQ(tabs, QStringList({"Date Book", "Address Book", "Connection Info", "To Do List", "Memo Pad"}));
  for (int i = 1; i <= 3; ++i) EXPECT_FALSE(f.optOSType[i]->isChecked());
  for (QCheckBox* c : {f.chkAddressBook, f.chkDateBook, f.chkToDoList, f.chkMemoPad}) EXPECT_FALSE(c->isChecked());
  for (QLineEdit* t : {f.txtProgName, f.txtDateBookProg, f.txtToDoProg, f.txtMemoPadProg}) {
    EXPECT_FALSE(t->isEnabled());
    EXPECT_EQ(t->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Active, QPalette::Window));
  }
  EXPECT_FALSE(buttonsEnabled(f));
  f.txtHost->setText("mvhost");
  f.txtDateBookProg->setText("SYNC.DATES");
  EXPECT_FALSE(buttonsEnabled(f));
  // Nothing is written by opening.
  EXPECT_FALSE(std::filesystem::exists(store.file()));
}

TEST_F(SetupDialog, TickingUnlocksTheBoxAndTheNextChangeChecksIt) {
  frmSetup f;
  click(f, "optOSType_3");
  EXPECT_TRUE(buttonsEnabled(f));
  click(f, "chkMemoPad");
  EXPECT_TRUE(f.txtMemoPadProg->isEnabled());
  EXPECT_EQ(f.txtMemoPadProg->palette().color(QPalette::Base),
            QApplication::palette().color(QPalette::Active, QPalette::Base));
  EXPECT_TRUE(buttonsEnabled(f)) << "the check box alone does not update the buttons";
  f.txtHost->setText("h");
  EXPECT_FALSE(buttonsEnabled(f)) << "Memo Pad is ticked without a program";
  f.txtMemoPadProg->setText("SYNC.MEMOS");
  EXPECT_TRUE(buttonsEnabled(f));
  click(f, "chkMemoPad");
  EXPECT_FALSE(f.txtMemoPadProg->isEnabled());
}

TEST_F(SetupDialog, GreyedButtonsSayWhyOnTheLineUnderTheTabs) {
  frmSetup f;
  EXPECT_FALSE(f.lblWhyDisabled->isHidden());
  EXPECT_NE(f.lblWhyDisabled->text().indexOf("Connection Info"), -1) << f.lblWhyDisabled->text().toStdString();
  click(f, "optOSType_1");
  EXPECT_TRUE(buttonsEnabled(f));
  EXPECT_TRUE(f.lblWhyDisabled->isHidden());
  EXPECT_TRUE(f.lblWhyDisabled->text().isEmpty());

  // Both applications on other tabs are named, and only they.
  click(f, "chkMemoPad");
  click(f, "chkAddressBook");
  f.txtProgName->setText("x");  // ticking alone does not update the buttons
  f.txtProgName->setText("");
  EXPECT_FALSE(buttonsEnabled(f));
  QString why = f.lblWhyDisabled->text();
  EXPECT_NE(why.indexOf("Memo Pad"), -1) << why.toStdString();
  EXPECT_NE(why.indexOf("Address Book"), -1) << why.toStdString();
  EXPECT_EQ(why.indexOf("Date Book"), -1) << why.toStdString();
  EXPECT_EQ(why.indexOf("Connection Info"), -1) << why.toStdString();
  f.txtMemoPadProg->setText("SYNC.MEMOS");
  why = f.lblWhyDisabled->text();
  EXPECT_EQ(why.indexOf("Memo Pad"), -1) << why.toStdString();
  EXPECT_NE(why.indexOf("Address Book"), -1) << why.toStdString();
  f.txtProgName->setText("SYNC.ADDRESS");
  EXPECT_TRUE(f.lblWhyDisabled->isHidden());
}

TEST_F(SetupDialog, EnterSavesAndClosesAsOkDoesButNotWhileOkIsGreyed) {
  auto pressEnter = [](QDialog& d) {
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&d, &enter);
  };
  {
    frmSetup f;
    EXPECT_TRUE(f.cmdOK->isDefault());
    EXPECT_FALSE(f.cmdApply->isDefault());
    driver.answers.push_back(pressEnter);
    EXPECT_EQ(showModal(f), QDialog::Rejected) << "no connection type: OK is greyed";
    EXPECT_FALSE(std::filesystem::exists(store.file()));
  }
  frmSetup f;
  click(f, "optOSType_3");
  f.txtHost->setText("mvhost");
  driver.answers.push_back(pressEnter);
  EXPECT_EQ(showModal(f), QDialog::Accepted);
  EXPECT_EQ(stored("Connection", "UniHostName"), "mvhost");
}

TEST_F(SetupDialog, AConnectionTypeShowsItsFrameInTheSamePlace) {
  frmSetup f;
  f.show();
  click(f, "optOSType_3");
  EXPECT_FALSE(f.frmOsType[3]->isHidden());
  EXPECT_TRUE(f.frmOsType[1]->isHidden());
  EXPECT_TRUE(f.frmOsType[2]->isHidden());
  EXPECT_EQ(f.frmOsType[3]->title(), "Ardent (UniObject/Uv/Objects)");
  EXPECT_EQ(f.frmOsType[3]->y(), 2160 / 15);
  EXPECT_EQ(f.frmOsType[3]->height(), 1935 / 15);
  click(f, "optOSType_1");
  EXPECT_FALSE(f.frmOsType[1]->isHidden());
  EXPECT_TRUE(f.frmOsType[3]->isHidden());
  EXPECT_EQ(f.frmOsType[1]->y(), f.frmOsType[3]->y());
}

TEST_F(SetupDialog, ApplyWritesEveryKeyWhateverTheConnectionType) {
  frmSetup f;
  click(f, "optOSType_2");
  f.txtODBCDataSource->setText("D3DSN");
  f.txtHostName->setEditText("brasq-conn");
  f.txtHost->setText("unihost");
  f.txtUserName->setText("ann");
  f.txtUserPassword->setText("s3cret");
  f.txtAccountName->setText("/srv/SALES");
  click(f, "optUniType_1");
  click(f, "chkDOA");
  click(f, "chkToDoList");
  f.txtToDoProg->setText("SYNC.TODOS");
  click(f, "cmdApply");
  EXPECT_EQ(stored("Connection", "OSType"), "2");
  EXPECT_EQ(stored("Connection", "ODBCDataSource"), "D3DSN");
  EXPECT_EQ(stored("Connection", "DOA"), "1");
  EXPECT_EQ(stored("Connection", "BrasqHostName"), "brasq-conn");
  EXPECT_EQ(stored("Connection", "UniHostName"), "unihost");
  EXPECT_EQ(stored("Connection", "UserName"), "ann");
  EXPECT_EQ(stored("Connection", "UserPasswd"), "s3cret");
  EXPECT_EQ(stored("Connection", "AccountName"), "/srv/SALES");
  EXPECT_EQ(stored("Connection", "UniType"), "1");
  EXPECT_EQ(stored("ToDoList", "mvProgName"), "SYNC.TODOS");
  EXPECT_EQ(stored("ToDoList", "Active"), "1");
  EXPECT_EQ(stored("MemoPad", "Active"), "0");
  EXPECT_EQ(stored("MemoPad", "mvProgName"), "");
  EXPECT_TRUE(driver.messages.empty());

  // The next load shows what was saved.
  frmSetup again;
  EXPECT_TRUE(again.optOSType[2]->isChecked());
  EXPECT_FALSE(again.frmOsType[2]->isHidden());
  EXPECT_TRUE(again.chkToDoList->isChecked());
  EXPECT_TRUE(again.txtToDoProg->isEnabled());
  EXPECT_EQ(again.txtUserPassword->text(), "s3cret");
  EXPECT_EQ(again.txtUserPassword->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(again.optUniType[1]->isChecked());
}

TEST_F(SetupDialog, ExitSavesNothingAndOkSavesAndCloses) {
  store.set(host::sectionKey("MemoPad"), "mvProgName", "OLD.NAME");
  {
    frmSetup f;
    click(f, "optOSType_3");
    f.txtMemoPadProg->setText("NEW.NAME");
    driver.answers.push_back([](QDialog& d) { click(d, "cmdExit"); });
    EXPECT_EQ(showModal(f), QDialog::Rejected);
  }
  EXPECT_EQ(stored("MemoPad", "mvProgName"), "OLD.NAME");
  EXPECT_EQ(stored("Connection", "OSType"), "<missing>");

  frmSetup f;
  click(f, "optOSType_3");
  f.txtMemoPadProg->setText("NEW.NAME");
  driver.answers.push_back([](QDialog& d) { click(d, "cmdOK"); });
  EXPECT_EQ(showModal(f), QDialog::Accepted);
  EXPECT_EQ(stored("MemoPad", "mvProgName"), "NEW.NAME");
}

TEST_F(SetupDialog, StoredValuesThatAreNotUsableLeaveTheirControls) {
  auto connection = host::sectionKey("Connection");
  store.set(connection, "DOA", "2");
  store.set(connection, "UniType", "1");
  store.set(connection, "OSType", "three");
  store.set(host::sectionKey("DateBook"), "Active", "yes");
  store.set(host::sectionKey("AddressBook"), "Active", "1");
  store.set(host::sectionKey("MemoPad"), "Active", " 1 ");  // read as the HotSync reads it
  frmSetup f;
  EXPECT_FALSE(f.chkDOA->isChecked());
  EXPECT_TRUE(f.optUniType[1]->isChecked());
  for (int i = 1; i <= 3; ++i) EXPECT_FALSE(f.optOSType[i]->isChecked());
  EXPECT_FALSE(f.chkDateBook->isChecked());
  EXPECT_TRUE(f.chkAddressBook->isChecked());
  EXPECT_TRUE(f.chkMemoPad->isChecked());
  EXPECT_FALSE(buttonsEnabled(f));
}

TEST_F(SetupDialog, ASettingsFileThatCannotBeReadOpensEmptyAndIsNotOverwrittenByOpening) {
  std::filesystem::create_directories(store.file().parent_path());
  test::writeBytes(store.file(), {'[', 'b', 'r', 'o', 'k', 'e', 'n'});
  frmSetup f;
  EXPECT_FALSE(buttonsEnabled(f));
  EXPECT_EQ(test::readBytes(store.file()).size(), 7u);
  // Saving over it is refused and said, not silently lost.
  click(f, "optOSType_3");
  click(f, "cmdApply");
  ASSERT_EQ(driver.messages.size(), 1u);
  EXPECT_EQ(driver.messages[0].rfind("critical: The settings could not be saved.", 0), 0u);
  EXPECT_EQ(test::readBytes(store.file()).size(), 7u);
}

TEST(SetControlLocked, GreysBoxesAndOnlyDisablesOtherControls) {
  test::DialogDriver driver;
  QLineEdit box;
  QComboBox combo;
  QPushButton button;
  SetControlLocked(&box, 1);
  SetControlLocked(&combo, -1);
  SetControlLocked(&button, 1);
  QColor face = QApplication::palette().color(QPalette::Active, QPalette::Window);
  EXPECT_FALSE(box.isEnabled());
  EXPECT_EQ(box.palette().color(QPalette::Base), face);
  EXPECT_EQ(combo.palette().color(QPalette::Base), face);
  EXPECT_FALSE(button.isEnabled());
  EXPECT_FALSE(button.testAttribute(Qt::WA_SetPalette)) << "only boxes change colour";
  SetControlLocked(&box, 0);
  EXPECT_TRUE(box.isEnabled());
  EXPECT_EQ(box.palette().color(QPalette::Base), QApplication::palette().color(QPalette::Active, QPalette::Base));
}

}  // namespace
}  // namespace pelorix::setup
