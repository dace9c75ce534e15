#include "setup/fconfigure.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include "conduit/cnotify.h"
#include "setup/dialog_driver.h"
#include "support/test_support.h"

namespace pelorix::setup {
using conduit::CNotify;

namespace {

using com::Arg;
using com::Variant;
using test::click;

struct Parameters {
  Variant perm, temp, fresh, pref;
};

// CfgConduit through late binding, with the dialog answered by `answer`.
Parameters cfgConduit(test::DialogDriver& driver, std::int32_t perm, test::DialogDriver::Answer answer) {
  driver.answers.push_back(std::move(answer));
  Parameters p{Variant(perm), Variant(std::int32_t{11}), Variant(std::int32_t{-7}), Variant(std::int32_t{-9})};
  auto n = com::make<CNotify>();
  com::callMethod(*n, "IPDClientNotify_CfgConduit",
                  {std::int32_t{0x6D656D6F}, std::int32_t{1}, "Ann", "/tmp", Arg::ref(p.perm), Arg::ref(p.temp),
                   Arg::ref(p.fresh), Arg::ref(p.pref)});
  return p;
}

class ActionDialog : public ::testing::Test {
 protected:
  test::IsolatedConfig config;
  test::DialogDriver driver;
};

TEST_F(ActionDialog, ShowsTheProductAndTheActionPassedIn) {
  cfgConduit(driver, 3, [](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Pelorix for PalmPilot Configuration");
    EXPECT_EQ(test::child<QLabel>(d, "lblProductName")->text(), "Pelorix for PalmPilot (1.0.12)");
    EXPECT_EQ(test::child<QGroupBox>(d, "frmOptions")->title(), " HotSync action for Tutorial ");
    EXPECT_TRUE(test::child<QRadioButton>(d, "optPCToHH")->isChecked());
    EXPECT_FALSE(test::child<QRadioButton>(d, "optSync")->isChecked());
    EXPECT_FALSE(test::child<QCheckBox>(d, "chkDefault")->isChecked());
  });
  EXPECT_EQ(driver.shown, std::vector<std::string>{"FConfigure"});
}

TEST_F(ActionDialog, OkUntouchedGivesBackTheActionAndTheOneTimePreference) {
  for (std::int32_t action : {0, 2, 3, 6}) {
    auto p = cfgConduit(driver, action, [](QDialog& d) { click(d, "btnOk"); });
    EXPECT_EQ(p.fresh.toInt32(), action);
    EXPECT_EQ(p.pref.toInt32(), 2);
    EXPECT_EQ(p.perm.toInt32(), action);
    EXPECT_EQ(p.temp.toInt32(), 11);
  }
}

TEST_F(ActionDialog, ActionsWithoutAnOptionOpenOnSynchronize) {
  for (std::int32_t action : {4, 5, 7}) {
    auto p = cfgConduit(driver, action, [](QDialog& d) {
      EXPECT_TRUE(test::child<QRadioButton>(d, "optSync")->isChecked());
      click(d, "btnOk");
    });
    EXPECT_EQ(p.fresh.toInt32(), 0) << action;
  }
}

TEST_F(ActionDialog, AChosenDefaultComesBackAsPreferenceOne) {
  auto p = cfgConduit(driver, 0, [](QDialog& d) {
    click(d, "optDoNothing");
    click(d, "chkDefault");
    click(d, "btnOk");
  });
  EXPECT_EQ(p.fresh.toInt32(), 6);
  EXPECT_EQ(p.pref.toInt32(), 1);
  // The next showing starts afresh from the action passed in.
  p = cfgConduit(driver, 2, [](QDialog& d) {
    EXPECT_FALSE(test::child<QCheckBox>(d, "chkDefault")->isChecked());
    click(d, "btnOk");
  });
  EXPECT_EQ(p.fresh.toInt32(), 2);
  EXPECT_EQ(p.pref.toInt32(), 2);
}

TEST_F(ActionDialog, CancelAfterChangesLeavesEveryParameter) {
  auto p = cfgConduit(driver, 0, [](QDialog& d) {
    click(d, "optHHToPC");
    click(d, "chkDefault");
    click(d, "btnCancel");
  });
  EXPECT_EQ(p.fresh.toInt32(), -7);
  EXPECT_EQ(p.pref.toInt32(), -9);
  EXPECT_TRUE(FConfigure::instance().cancelled);
  // Closed without an answer counts as cancelled too.
  p = cfgConduit(driver, 0, nullptr);
  EXPECT_EQ(p.fresh.toInt32(), -7);
}

TEST_F(ActionDialog, ConfigureConduitPassesTheActionInAndOut) {
  Variant pref(std::int32_t{0}), type(std::int32_t{2});
  driver.answers.push_back([](QDialog& d) {
    EXPECT_TRUE(test::child<QRadioButton>(d, "optHHToPC")->isChecked());
    click(d, "optPCToHH");
    click(d, "btnOk");
  });
  auto n = com::make<CNotify>();
  com::callMethod(*n, "IPDClientNotify_ConfigureConduit", {"", "", Arg::ref(pref), Arg::ref(type)});
  EXPECT_EQ(type.toInt32(), 3);
  EXPECT_EQ(pref.toInt32(), 2);

  driver.answers.push_back([](QDialog& d) {
    click(d, "optSync");
    click(d, "btnCancel");
  });
  com::callMethod(*n, "IPDClientNotify_ConfigureConduit", {"", "", Arg::ref(pref), Arg::ref(type)});
  EXPECT_EQ(type.toInt32(), 3);
}

TEST_F(ActionDialog, ConduitSetupOpensOverTheActionDialogWhichStaysOpen) {
  auto p = cfgConduit(driver, 0, [this](QDialog& d) {
    driver.answers.push_back([&d](QDialog& setup) {
      EXPECT_EQ(setup.windowTitle(), "Conduit Setup");
      EXPECT_EQ(setup.parentWidget(), &d);
      click(setup, "cmdExit");
    });
    click(d, "cmdSetup");
    EXPECT_TRUE(d.isVisible());
    click(d, "btnOk");
  });
  EXPECT_EQ(driver.shown, (std::vector<std::string>{"FConfigure", "frmSetup"}));
  EXPECT_EQ(p.fresh.toInt32(), 0);
}

TEST_F(ActionDialog, ShowSetupAndUnInstallGoThroughTheSetupDialog) {
  auto n = com::make<CNotify>();
  driver.answers.push_back([](QDialog& d) { click(d, "cmdExit"); });
  n->ShowSetup();
  EXPECT_EQ(driver.shown, std::vector<std::string>{"frmSetup"});
  n->UnInstall();
  EXPECT_EQ(driver.shown.size(), 1u) << "uninstalling shows no window";
  EXPECT_TRUE(driver.messages.empty());
}

}  // namespace
}  // namespace pelorix::setup
