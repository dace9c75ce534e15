#include "setup/frm_setup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "host/settings.h"
#include "setup/control_lock.h"
#include "setup/dialog_driver.h"
#include "support/test_support.h"

namespace pelorix::setup {
namespace {

using palm::AppKind;

using test::click;

class SetupDialog : public ::testing::Test {
 protected:
  test::IsolatedConfig config;
  test::DialogDriver driver;
  desktop::SettingsStore store = desktop::SettingsStore::user();

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
  for (AppKind kind : {AppKind::AddressBook, AppKind::DateBook, AppKind::ToDoList, AppKind::MemoPad})
    EXPECT_FALSE(f.tab(kind).use->isChecked());
  for (AppKind kind : {AppKind::AddressBook, AppKind::DateBook, AppKind::ToDoList, AppKind::MemoPad}) {
    QLineEdit* t = f.tab(kind).program;
    EXPECT_FALSE(t->isEnabled());
    EXPECT_EQ(t->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Active, QPalette::Window));
  }
  EXPECT_FALSE(buttonsEnabled(f));
  f.txtHost->setText("mvhost");
  f.tab(AppKind::DateBook).program->setText("SYNC.DATES");
  EXPECT_FALSE(buttonsEnabled(f));
  // Nothing is written by opening.
  EXPECT_FALSE(std::filesystem::exists(store.file()));
}

// Stored forms and scripts find the controls by these names.
TEST_F(SetupDialog, EachApplicationsControlsKeepTheirNames) {
  frmSetup f;
  const std::tuple<AppKind, const char*, const char*> names[] = {
      {AppKind::AddressBook, "txtProgName", "chkAddressBook"},
      {AppKind::DateBook, "txtDateBookProg", "chkDateBook"},
      {AppKind::ToDoList, "txtToDoProg", "chkToDoList"},
      {AppKind::MemoPad, "txtMemoPadProg", "chkMemoPad"}};
  for (const auto& [kind, program, use] : names) {
    EXPECT_EQ(test::child<QLineEdit>(f, program), f.tab(kind).program) << program;
    EXPECT_EQ(test::child<QCheckBox>(f, use), f.tab(kind).use) << use;
    EXPECT_EQ(f.SSTab1->tabText(f.SSTab1->indexOf(&f.tab(kind))).toStdString(), palm::application(kind).name);
  }
}

TEST_F(SetupDialog, TickingUnlocksTheBoxAndTheNextChangeChecksIt) {
  frmSetup f;
  click(f, "optOSType_3");
  EXPECT_TRUE(buttonsEnabled(f));
  click(f, "chkMemoPad");
  EXPECT_TRUE(f.tab(AppKind::MemoPad).program->isEnabled());
  EXPECT_EQ(f.tab(AppKind::MemoPad).program->palette().color(QPalette::Base),
            QApplication::palette().color(QPalette::Active, QPalette::Base));
  EXPECT_TRUE(buttonsEnabled(f)) << "the check box alone does not update the buttons";
  f.txtHost->setText("h");
  EXPECT_FALSE(buttonsEnabled(f)) << "Memo Pad is ticked without a program";
  f.tab(AppKind::MemoPad).program->setText("SYNC.MEMOS");
  EXPECT_TRUE(buttonsEnabled(f));
  click(f, "chkMemoPad");
  EXPECT_FALSE(f.tab(AppKind::MemoPad).program->isEnabled());
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
  f.tab(AppKind::AddressBook).program->setText("x");  // ticking alone does not update the buttons
  f.tab(AppKind::AddressBook).program->setText("");
  EXPECT_FALSE(buttonsEnabled(f));
  QString why = f.lblWhyDisabled->text();
  EXPECT_NE(why.indexOf("Memo Pad"), -1) << why.toStdString();
  EXPECT_NE(why.indexOf("Address Book"), -1) << why.toStdString();
  EXPECT_EQ(why.indexOf("Date Book"), -1) << why.toStdString();
  EXPECT_EQ(why.indexOf("Connection Info"), -1) << why.toStdString();
  f.tab(AppKind::MemoPad).program->setText("SYNC.MEMOS");
  why = f.lblWhyDisabled->text();
  EXPECT_EQ(why.indexOf("Memo Pad"), -1) << why.toStdString();
  EXPECT_NE(why.indexOf("Address Book"), -1) << why.toStdString();
  f.tab(AppKind::AddressBook).program->setText("SYNC.ADDRESS");
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
  // In twips at the screen's dots per inch (a fixed 15 twips a pixel before).
  EXPECT_EQ(f.frmOsType[3]->y(), std::lround(2160 * f.logicalDpiY() / 1440.0));
  EXPECT_EQ(f.frmOsType[3]->height(), std::lround(1935 * f.logicalDpiY() / 1440.0));
  click(f, "optOSType_1");
  EXPECT_FALSE(f.frmOsType[1]->isHidden());
  EXPECT_TRUE(f.frmOsType[3]->isHidden());
  EXPECT_EQ(f.frmOsType[1]->y(), f.frmOsType[3]->y());
}

// Every caption on every tab is whole at the dialog's present size, and each
// connection frame sits in view at its place in twips.
void expectNothingCut(frmSetup& f, const std::string& when) {
  const int dpi = f.logicalDpiY();
  auto twips = [dpi](int t) { return std::lround(t * dpi / 1440.0); };
  QTabBar* bar = f.SSTab1->tabBar();
  for (QToolButton* arrow : bar->findChildren<QToolButton*>())
    EXPECT_FALSE(arrow->isVisible()) << when << ": the tab bar scrolls";
  for (int i = 0; i < f.SSTab1->count(); ++i) {
    QRect r = bar->tabRect(i);
    EXPECT_TRUE(bar->rect().contains(r)) << when << ": tab " << f.SSTab1->tabText(i).toStdString();
    EXPECT_GE(r.width(), bar->fontMetrics().horizontalAdvance(f.SSTab1->tabText(i))) << when;
  }
  auto inspect = [&](const std::string& where) {
    for (QWidget* w : f.findChildren<QWidget*>()) {
      if (!w->isVisible() || w->isWindow()) continue;
      std::string what = where + ": " + w->metaObject()->className() + " " + w->objectName().toStdString();
      EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << what << " lies partly outside its parent";
      const QFontMetrics fm = w->fontMetrics();
      if (auto* l = qobject_cast<QLabel*>(w)) {
        what += " \"" + l->text().toStdString() + "\"";
        if (l->wordWrap()) {
          EXPECT_GE(l->height(), l->heightForWidth(l->width())) << what;
        } else {
          EXPECT_GE(l->contentsRect().width(), fm.horizontalAdvance(l->text())) << what;
          EXPECT_GE(l->contentsRect().height(), fm.height()) << what;
        }
      } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        // The text and, for a check box or an option, its mark before it.
        int mark = qobject_cast<QPushButton*>(b) ? 0 : fm.height();
        if (!qobject_cast<QToolButton*>(b)) {
          EXPECT_GE(b->width(), fm.horizontalAdvance(b->text().remove('&')) + mark)
              << what << " \"" << b->text().toStdString() << "\"";
        }
      } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        EXPECT_GE(g->width(), fm.horizontalAdvance(g->title())) << what << " \"" << g->title().toStdString() << "\"";
      } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) {
        EXPECT_GE(w->height(), fm.height()) << what;
      }
    }
  };
  for (int i = 0; i < f.SSTab1->count(); ++i) {
    f.SSTab1->setCurrentIndex(i);
    QApplication::processEvents();
    inspect(when + ", tab " + f.SSTab1->tabText(i).toStdString());
  }
  f.SSTab1->setCurrentIndex(2);
  for (int i = 1; i <= 3; ++i) {
    f.optOSType[i]->click();
    QApplication::processEvents();
    QGroupBox* frame = f.frmOsType[i];
    std::string what = when + ", " + frame->title().toStdString();
    EXPECT_EQ(frame->y(), twips(2160)) << what;
    EXPECT_EQ(frame->height(), twips(1935)) << what;
    EXPECT_LE(frame->geometry().bottom(), frame->parentWidget()->height()) << what << ": out of view";
    inspect(what);
  }
}

// Set by the test below for the child process it starts at one dpi.
const char* const kDpiVariable = "PELORIX_TEST_DPI";

TEST_F(SetupDialog, NothingIsCutAtTheDpiItWasStartedWith) {
  const char* wanted = std::getenv(kDpiVariable);
  if (!wanted) GTEST_SKIP() << "run by NothingIsCutAt96_120And144Dpi at each dpi";
  frmSetup f;
  ASSERT_EQ(f.logicalDpiY(), std::atoi(wanted)) << "the fonts are not drawn at the dpi asked";
  f.show();
  QApplication::processEvents();
  expectNothingCut(f, std::string("at ") + wanted + " dpi, as opened");
  f.resize(1, 1);  // as small as it lets itself be
  QApplication::processEvents();
  expectNothingCut(f, std::string("at ") + wanted + " dpi, at its smallest");
}

TEST_F(SetupDialog, NothingIsCutAt96_120And144Dpi) {
  // The dpi of a Qt application is fixed when it starts: one process each,
  // with fonts drawn at that dpi instead of scaled pixels.
  std::error_code ec;
  std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  for (int dpi : {96, 120, 144}) {
    std::string command = "QT_QPA_PLATFORM=offscreen QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=" + std::to_string(dpi) +
                          " " + kDpiVariable + "=" + std::to_string(dpi) + " '" + self +
                          "' --gtest_filter=SetupDialog.NothingIsCutAtTheDpiItWasStartedWith 2>&1";
    FILE* child = ::popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, child)) output.append(buffer, n);
    int status = ::pclose(child);
    EXPECT_EQ(status, 0) << "at " << dpi << " dpi:\n" << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << "at " << dpi << " dpi:\n" << output;
  }
}

TEST_F(SetupDialog, WideningWidensTheTabsAndTheConnectionFrame) {
  frmSetup f;
  f.SSTab1->setCurrentIndex(2);
  f.show();
  click(f, "optOSType_3");
  QApplication::processEvents();
  const QSize before = f.size();
  const int frame = f.frmOsType[3]->width(), host = f.txtHost->width(), tabs = f.SSTab1->width();
  f.resize(before.width() + 200, before.height() + 100);
  QApplication::processEvents();
  EXPECT_EQ(f.SSTab1->width(), tabs + 200);
  EXPECT_EQ(f.frmOsType[3]->width(), frame + 200);
  EXPECT_GT(f.txtHost->width(), host);
  EXPECT_EQ(f.frmOsType[3]->height(), std::lround(1935 * f.logicalDpiY() / 1440.0)) << "its height stays";
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
  f.tab(AppKind::ToDoList).program->setText("SYNC.TODOS");
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
  EXPECT_TRUE(again.tab(AppKind::ToDoList).use->isChecked());
  EXPECT_TRUE(again.tab(AppKind::ToDoList).program->isEnabled());
  EXPECT_EQ(again.txtUserPassword->text(), "s3cret");
  EXPECT_EQ(again.txtUserPassword->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(again.optUniType[1]->isChecked());
}

TEST_F(SetupDialog, ExitSavesNothingAndOkSavesAndCloses) {
  store.set(host::sectionKey("MemoPad"), "mvProgName", "OLD.NAME");
  {
    frmSetup f;
    click(f, "optOSType_3");
    f.tab(AppKind::MemoPad).program->setText("NEW.NAME");
    driver.answers.push_back([](QDialog& d) { click(d, "cmdExit"); });
    EXPECT_EQ(showModal(f), QDialog::Rejected);
  }
  EXPECT_EQ(stored("MemoPad", "mvProgName"), "OLD.NAME");
  EXPECT_EQ(stored("Connection", "OSType"), "<missing>");

  frmSetup f;
  click(f, "optOSType_3");
  f.tab(AppKind::MemoPad).program->setText("NEW.NAME");
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
  EXPECT_FALSE(f.tab(AppKind::DateBook).use->isChecked());
  EXPECT_TRUE(f.tab(AppKind::AddressBook).use->isChecked());
  EXPECT_TRUE(f.tab(AppKind::MemoPad).use->isChecked());
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
