#pragma once
// The "Conduit Setup" dialog: how the conduit reaches the host, which
// subroutine serves each application, and which applications it serves.

#include <QDialog>
#include <array>
#include <vector>

#include "desktop/settings_store.h"
#include "host/settings.h"
#include "palm/applications.h"
#include "setup/registration.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace pelorix::setup {

// One application's tab: the subroutine that serves it and whether Pelorix
// serves it at all.
class ApplicationTab : public QWidget {
 public:
  // `programBox` is the object name of the program name box.
  ApplicationTab(const palm::Application& app, const char* programBox);

  const palm::Application& application() const { return app_; }
  // The program name box is locked while Pelorix does not serve the application.
  void lockUnlessUsed();

  QLineEdit* program;
  QCheckBox* use;  // "Use Pelorix."

 private:
  const palm::Application& app_;
};

class frmSetup : public QDialog {
 public:
  // Loading reads the settings into the controls.
  explicit frmSetup(QWidget* owner = nullptr, desktop::SettingsStore settings = desktop::SettingsStore::user());

  // Gives every application back to its previous conduit.
  void UnInstall();

  // Connection frames sit here on the "Connection Info" tab, in twips.
  static constexpr int kFrameTopTwips = 2160, kFrameHeightTwips = 1935, kTwipsPerInch = 1440;
  // Pixels of `twips` at the dots per inch `on` is drawn with.
  static int twipsToPixels(int twips, const QWidget* on);

  QTabWidget* SSTab1;
  // In the order the tabs show them.
  std::vector<ApplicationTab*> applicationTabs;
  ApplicationTab& tab(palm::AppKind kind) const;
  std::array<QRadioButton*, 4> optOSType{};  // 1 to 3
  std::array<QGroupBox*, 4> frmOsType{};     // 1 to 3
  QComboBox* txtHostName;
  QLineEdit* txtODBCDataSource;
  QCheckBox* chkDOA;
  QLineEdit *txtHost, *txtUserName, *txtUserPassword, *txtAccountName;
  std::array<QRadioButton*, 2> optUniType{};
  QPushButton *cmdOK, *cmdApply, *cmdExit;
  // Under the tabs: why OK and Apply are greyed, empty while they are not.
  QLabel* lblWhyDisabled;
  QAction* mnuAbout;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LoadSettings();
  // What saving would write.
  host::SetupValues values() const;
  bool SaveSettings();
  void UpdateButtons();
  void optOSType_Click(int index);
  void UpdateConduit(const std::string& creator, bool flag);
  int selectedOSType() const;

  QWidget* connectionTab();
  // Places the connection frames in twips at the current dots per inch.
  void placeFrames();
  void fitWrappedText();

  // Everything above the connection frames, as tall as their top.
  QWidget* connectionHead_ = nullptr;
  desktop::SettingsStore settings_;
  ConduitControls controls_;
};

}  // namespace pelorix::setup
