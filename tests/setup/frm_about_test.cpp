#include "setup/frm_about.h"

#include <QLabel>
#include <QPushButton>

#include "setup/dialog_driver.h"
#include "setup/frm_setup.h"
#include "support/test_support.h"

namespace pelorix::setup {
namespace {

class AboutBox : public ::testing::Test {
 protected:
  test::IsolatedConfig config;
  test::DialogDriver driver;
  desktop::SettingsStore store = desktop::SettingsStore::user();
};

TEST_F(AboutBox, ShowsTheVersionInformation) {
  frmAbout f;
  EXPECT_EQ(f.windowTitle(), "About Pelorix");
  EXPECT_EQ(f.lblVersion->text(), "Version 1.0.12");
  EXPECT_EQ(f.lblTitle->text(), "Pelorix for PalmPilot");
  EXPECT_EQ(f.lblDescription->text(), "Palm Conduit used to update information on a MultiValue system.");
  EXPECT_EQ(f.cmdSysInfo->text(), "&System Info...");
}

TEST_F(AboutBox, OpensFromTheSetupMenuOwnedByTheSetupDialog) {
  frmSetup setup;
  driver.answers.push_back([&](QDialog& about) {
    EXPECT_EQ(about.parentWidget(), &setup);
    test::click(about, "cmdOK");
  });
  setup.mnuAbout->trigger();
  EXPECT_EQ(driver.shown, std::vector<std::string>{"frmAbout"});
}

TEST_F(AboutBox, SystemInformationNamedInTheSettingsIsStarted) {
  store.set("Software\\Shared Tools\\MSINFO", "PATH", "/opt/tools/sysinfo");
  frmAbout f;
  test::click(f, "cmdSysInfo");
  EXPECT_EQ(driver.started, std::vector<std::string>{"/opt/tools/sysinfo"});
  EXPECT_TRUE(driver.messages.empty());
}

TEST_F(AboutBox, AFolderWithoutTheProgramMeansItIsUnavailable) {
  test::TempDir folder;
  store.set("Software\\Shared Tools Location", "MSINFO", folder.path().string());
  frmAbout f;
  test::click(f, "cmdSysInfo");
  EXPECT_TRUE(driver.started.empty());
  EXPECT_EQ(driver.messages, std::vector<std::string>{"plain: System Information Is Unavailable At This Time"});

  test::writeBytes(folder / frmAbout::kSysInfoProgram, {'#', '!'});
  test::click(f, "cmdSysInfo");
  EXPECT_EQ(driver.started, std::vector<std::string>{(folder / frmAbout::kSysInfoProgram).string()});
}

TEST_F(AboutBox, NothingConfiguredLooksInTheDefaultPlace) {
  frmAbout f;
  test::click(f, "cmdSysInfo");
  bool present =
      std::filesystem::exists(std::filesystem::path(frmAbout::kDefaultSysInfoFolder) / frmAbout::kSysInfoProgram);
  EXPECT_EQ(driver.started.size(), present ? 1u : 0u);
  EXPECT_EQ(driver.messages.size(), present ? 0u : 1u);
}

}  // namespace
}  // namespace pelorix::setup
