#pragma once
// The about box: the component's version information, and a way to the
// desktop's system-information program.

#include <QDialog>
#include <optional>
#include <string>

#include "desktop/settings_store.h"

class QLabel;
class QPushButton;
class QFrame;

namespace pelorix::setup {

class frmAbout : public QDialog {
 public:
  explicit frmAbout(QWidget* owner = nullptr, desktop::SettingsStore settings = desktop::SettingsStore::user());

  void StartSysInfo();

  QLabel* picIcon;
  QPushButton *cmdOK, *cmdSysInfo;
  QFrame* Line1;
  QLabel *lblDescription, *lblTitle, *lblVersion, *lblDisclaimer;

  // Where the system-information program is looked for when the settings
  // do not name it.
  static constexpr const char* kDefaultSysInfoFolder = "/usr/bin";
  static constexpr const char* kSysInfoProgram = "hardinfo";

 private:
  std::optional<std::string> GetKeyValue(const std::string& keyName, const std::string& subKeyRef) const;
  desktop::SettingsStore settings_;
};

}  // namespace pelorix::setup
