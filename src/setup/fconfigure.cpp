#include "setup/fconfigure.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "pelorix/version.h"
#include "setup/dialogs.h"
#include "setup/forms.h"

namespace pelorix::setup {

namespace {
std::unique_ptr<FConfigure>& shared() {
  static std::unique_ptr<FConfigure> form;
  return form;
}

// The logo the dialog carries: a handheld.
QPixmap logo() {
  QPixmap picture(48, 64);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(70, 90, 110));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(6, 2, 36, 58, 6, 6);
  p.setBrush(QColor(170, 200, 160));
  p.drawRect(11, 8, 26, 28);
  p.setBrush(QColor(220, 220, 220));
  for (int i = 0; i < 4; ++i) p.drawEllipse(10 + i * 8, 44, 6, 6);
  return picture;
}
}  // namespace

FConfigure& FConfigure::instance() {
  setup::ensureApplication();
  auto& form = shared();
  if (!form) form = std::make_unique<FConfigure>();
  return *form;
}

void FConfigure::unload() { shared().reset(); }

FConfigure::FConfigure(QWidget* owner) : QDialog(owner) {
  setObjectName("FConfigure");
  setWindowTitle("Pelorix for PalmPilot Configuration");
  lblProductName = new QLabel(this);
  lblProductName->setObjectName("lblProductName");
  lblCopyright = new QLabel(this);
  lblCopyright->setObjectName("lblCopyright");
  imgLogo = new QLabel(this);
  imgLogo->setObjectName("imgLogo");
  imgLogo->setPixmap(logo());

  frmOptions = new QGroupBox(" HotSync action for Tutorial ", this);
  frmOptions->setObjectName("frmOptions");
  optSync = new QRadioButton("Synchronize the files", frmOptions);
  optPCToHH = new QRadioButton("Desktop Overwrites handheld", frmOptions);
  optHHToPC = new QRadioButton("Handheld overwrite Desktop", frmOptions);
  optDoNothing = new QRadioButton("Do nothing", frmOptions);
  optSync->setObjectName("optSync");
  optPCToHH->setObjectName("optPCToHH");
  optHHToPC->setObjectName("optHHToPC");
  optDoNothing->setObjectName("optDoNothing");
  auto* options = new QVBoxLayout(frmOptions);
  for (QRadioButton* o : {optSync, optPCToHH, optHHToPC, optDoNothing}) options->addWidget(o);

  chkDefault = new QCheckBox("Set as Default", this);
  chkDefault->setObjectName("chkDefault");
  cmdSetup = new QPushButton("Conduit Setup", this);
  cmdSetup->setObjectName("cmdSetup");
  btnOk = new QPushButton("Ok", this);
  btnOk->setObjectName("btnOk");
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnOk->setDefault(true);

  auto* grid = new QGridLayout(this);
  grid->addWidget(imgLogo, 0, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(lblProductName, 0, 1);
  grid->addWidget(lblCopyright, 1, 1);
  grid->addWidget(frmOptions, 2, 0, 1, 2);
  grid->addWidget(chkDefault, 3, 0, 1, 2);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  buttons->addStretch();
  buttons->addWidget(cmdSetup);
  grid->addLayout(buttons, 0, 2, 4, 1);
  setTabOrder(optSync, optPCToHH);
  setTabOrder(optPCToHH, optHHToPC);
  setTabOrder(optHHToPC, optDoNothing);
  setTabOrder(optDoNothing, chkDefault);
  setTabOrder(chkDefault, btnOk);
  setTabOrder(btnOk, btnCancel);
  setTabOrder(btnCancel, cmdSetup);

  connect(btnOk, &QPushButton::clicked, this, [this] { btnOk_Click(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(cmdSetup, &QPushButton::clicked, this, [this] { setup::showSetup(this); });
}

void FConfigure::Form_Load() {
  lblProductName->setText(QString("%1 (%2.%3.%4)")
                              .arg(version::kProductName)
                              .arg(version::kMajor)
                              .arg(version::kMinor)
                              .arg(version::kRevision));
  lblCopyright->setText(version::kCopyright);
  // Radio buttons of one group cannot all be cleared while they exclude each other.
  for (QRadioButton* o : {optSync, optPCToHH, optHHToPC, optDoNothing}) {
    o->setAutoExclusive(false);
    o->setChecked(false);
    o->setAutoExclusive(true);
  }
  switch (actionCode) {
    case 2: optHHToPC->setChecked(true); break;
    case 3: optPCToHH->setChecked(true); break;
    case 6: optDoNothing->setChecked(true); break;
    default: optSync->setChecked(true);
  }
  preferenceCode = 2;
  chkDefault->setChecked(false);
  cancelled = true;
}

void FConfigure::Show() {
  setup::ensureApplication();
  Form_Load();
  setup::showModal(*this);
}

void FConfigure::btnOk_Click() {
  if (optSync->isChecked())
    actionCode = 0;
  else if (optPCToHH->isChecked())
    actionCode = 3;
  else if (optHHToPC->isChecked())
    actionCode = 2;
  else if (optDoNothing->isChecked())
    actionCode = 6;
  if (chkDefault->isChecked()) preferenceCode = 1;
  cancelled = false;
  accept();
}

}  // namespace pelorix::setup
