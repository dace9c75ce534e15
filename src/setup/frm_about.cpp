#include "setup/frm_about.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <filesystem>

#include "pelorix/version.h"
#include "setup/dialogs.h"

namespace pelorix::setup {

frmAbout::frmAbout(QWidget* owner, desktop::SettingsStore settings) : QDialog(owner), settings_(std::move(settings)) {
  setObjectName("frmAbout");
  picIcon = new QLabel(this);
  picIcon->setObjectName("picIcon");
  picIcon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
  cmdOK = new QPushButton("OK", this);
  cmdOK->setObjectName("cmdOK");
  cmdSysInfo = new QPushButton("&System Info...", this);
  cmdSysInfo->setObjectName("cmdSysInfo");
  Line1 = new QFrame(this);
  Line1->setObjectName("Line1");
  Line1->setFrameShape(QFrame::HLine);
  Line1->setFrameShadow(QFrame::Sunken);
  lblDescription = new QLabel("App Description", this);
  lblTitle = new QLabel("Application Title", this);
  lblVersion = new QLabel("Version", this);
  lblDisclaimer = new QLabel("Warning: ...", this);
  lblDescription->setObjectName("lblDescription");
  lblTitle->setObjectName("lblTitle");
  lblVersion->setObjectName("lblVersion");
  lblDisclaimer->setObjectName("lblDisclaimer");
  lblDescription->setWordWrap(true);
  lblDisclaimer->setWordWrap(true);
  QFont big = lblTitle->font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  big.setBold(true);
  lblTitle->setFont(big);

  auto* grid = new QGridLayout(this);
  grid->addWidget(picIcon, 0, 0, 3, 1, Qt::AlignTop);
  grid->addWidget(lblTitle, 0, 1);
  grid->addWidget(lblVersion, 1, 1);
  grid->addWidget(lblDescription, 2, 1);
  grid->addWidget(Line1, 3, 0, 1, 3);
  grid->addWidget(lblDisclaimer, 4, 0, 2, 2);
  grid->addWidget(cmdOK, 4, 2);
  grid->addWidget(cmdSysInfo, 5, 2);
  grid->setColumnStretch(1, 1);
  resize(420, 220);

  connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(cmdSysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(); });

  setWindowTitle(QString("About ") + version::kTitle);
  lblVersion->setText(QString("Version %1.%2.%3").arg(version::kMajor).arg(version::kMinor).arg(version::kRevision));
  lblTitle->setText(version::kProductName);
  lblDescription->setText(version::kDescription);
  lblDisclaimer->setText(version::kCopyright);
}

std::optional<std::string> frmAbout::GetKeyValue(const std::string& keyName, const std::string& subKeyRef) const {
  try {
    auto value = settings_.get(keyName, subKeyRef);
    if (value && !value->empty() && value->back() == '\0') value->pop_back();
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void frmAbout::StartSysInfo() {
  namespace fs = std::filesystem;
  try {
    if (auto path = GetKeyValue("Software\\Shared Tools\\MSINFO", "PATH")) {
      startProgram(*path);
      return;
    }
    std::string folder = GetKeyValue("Software\\Shared Tools Location", "MSINFO").value_or(kDefaultSysInfoFolder);
    fs::path program = fs::path(folder) / kSysInfoProgram;
    if (fs::is_regular_file(program)) {
      startProgram(program.string());
      return;
    }
  } catch (const std::exception&) {
    return;
  }
  showMessage(MessageKind::Plain, "System Information Is Unavailable At This Time");
}

}  // namespace pelorix::setup
