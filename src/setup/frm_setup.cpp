#include "setup/frm_setup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <stdexcept>

#include "desktop/desktop_log.h"
#include "host/settings.h"
#include "host/settings_writer.h"
#include "palm/pdb_database.h"
#include "setup/control_lock.h"
#include "setup/dialogs.h"
#include "setup/forms.h"

namespace pelorix::setup {

namespace {
QLabel* label(const QString& text, QWidget* parent, bool wrap = false) {
  auto* l = new QLabel(text, parent);
  l->setWordWrap(wrap);
  return l;
}

// The application tabs in the order the dialog shows them, with the name
// each one's program box has always had; the connection's tab is the third.
struct TabPlace {
  palm::AppKind kind;
  const char* programBox;
};
constexpr TabPlace kTabPlaces[] = {{palm::AppKind::DateBook, "txtDateBookProg"},
                                   {palm::AppKind::AddressBook, "txtProgName"},
                                   {palm::AppKind::ToDoList, "txtToDoProg"},
                                   {palm::AppKind::MemoPad, "txtMemoPadProg"}};
constexpr int kConnectionTab = 2;

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }
}  // namespace

frmSetup::frmSetup(QWidget* owner, desktop::SettingsStore settings)
    : QDialog(owner), settings_(std::move(settings)), controls_(ConduitControls::create()) {
  setObjectName("frmSetup");
  setWindowTitle("Conduit Setup");

  auto* menu = new QMenuBar(this);
  QMenu* help = menu->addMenu("&Help");
  help->setObjectName("mnuHelp");
  mnuAbout = help->addAction("&About Pelorix");
  mnuAbout->setObjectName("mnuAbout");

  SSTab1 = new QTabWidget(this);
  SSTab1->setObjectName("SSTab1");
  // Every tab's caption stays whole; the dialog grows to hold them.
  SSTab1->setUsesScrollButtons(false);
  SSTab1->setElideMode(Qt::ElideNone);
  for (const TabPlace& place : kTabPlaces) {
    if (SSTab1->count() == kConnectionTab) SSTab1->addTab(connectionTab(), "Connection Info");
    auto* tab = new ApplicationTab(palm::application(place.kind), place.programBox);
    applicationTabs.push_back(tab);
    SSTab1->addTab(tab, tab->application().name);
  }

  cmdOK = new QPushButton("OK", this);
  cmdApply = new QPushButton("Apply", this);
  cmdExit = new QPushButton("Exit", this);
  cmdOK->setObjectName("cmdOK");
  cmdApply->setObjectName("cmdApply");
  cmdExit->setObjectName("cmdExit");
  cmdOK->setAutoDefault(false);
  cmdApply->setAutoDefault(false);
  cmdExit->setAutoDefault(false);
  // Enter saves and closes, as OK does; nothing while OK is greyed.
  cmdOK->setDefault(true);

  lblWhyDisabled = new QLabel(this);
  lblWhyDisabled->setObjectName("lblWhyDisabled");
  lblWhyDisabled->setWordWrap(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdApply);
  buttons->addWidget(cmdExit);
  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menu);
  layout->addWidget(SSTab1);
  layout->addWidget(lblWhyDisabled);
  layout->addLayout(buttons);
  placeFrames();

  for (int i = 1; i <= 3; ++i)
    connect(optOSType[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) optOSType_Click(i);
    });
  for (ApplicationTab* tab : applicationTabs)
    connect(tab->program, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
  for (QLineEdit* box : {txtODBCDataSource, txtHost, txtUserName, txtUserPassword, txtAccountName})
    connect(box, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
  connect(txtHostName, &QComboBox::editTextChanged, this, [this] { UpdateButtons(); });
  connect(chkDOA, &QCheckBox::clicked, this, [this] { UpdateButtons(); });
  for (QRadioButton* uni : optUniType) connect(uni, &QRadioButton::clicked, this, [this] { UpdateButtons(); });

  connect(cmdApply, &QPushButton::clicked, this, [this] { SaveSettings(); });
  connect(cmdOK, &QPushButton::clicked, this, [this] {
    if (SaveSettings()) accept();
  });
  connect(cmdExit, &QPushButton::clicked, this, &QDialog::reject);
  connect(mnuAbout, &QAction::triggered, this, [this] { showAbout(this); });

  LoadSettings();
  for (ApplicationTab* tab : applicationTabs) tab->lockUnlessUsed();
}

ApplicationTab::ApplicationTab(const palm::Application& app, const char* programBox) : app_(app) {
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(label("Program Name:", this));
  program = new QLineEdit(this);
  program->setObjectName(programBox);
  row->addWidget(program);
  layout->addLayout(row);
  use = new QCheckBox("Use Pelorix.", this);
  // Named after the settings section, as it always was.
  use->setObjectName(QString("chk") + app.section);
  layout->addWidget(use);
  layout->addWidget(label(QString("Enter the program name you want to call durring the Sync of the ") + app.name +
                              ".  This program will be used to process the records that need to be updated on the "
                              "palm or have been update on the palm.",
                          this, true));
  layout->addWidget(
      label("The program will be passed all the records that need to be updated from the palm.  The "
            "information passed back from the program will then be used to update the palm.",
            this, true));
  layout->addWidget(label("The program will have the following arguments:", this, true));
  layout->addWidget(label("SUBROUTINE PROGRAM.NAME(PALM.INFO,FROM.PALM,TO.PALM)", this, true));
  layout->addWidget(
      label("The records from and to the Palm will be delimited by AM marks, while each field in the "
            "record will be delimited by VM marks.",
            this, true));
  layout->addStretch();
  connect(use, &QCheckBox::toggled, this, [this] { lockUnlessUsed(); });
}

void ApplicationTab::lockUnlessUsed() { SetControlLocked(program, !use->isChecked()); }

ApplicationTab& frmSetup::tab(palm::AppKind kind) const {
  for (ApplicationTab* t : applicationTabs)
    if (t->application().kind == kind) return *t;
  throw std::logic_error("no tab for the application");
}

QWidget* frmSetup::connectionTab() {
  auto* tab = new QWidget;
  // No gap above or below the head: it is as tall as the frames' top, so
  // that they sit there at any size.
  auto* layout = new QVBoxLayout(tab);
  int margin = layout->contentsMargins().left();
  layout->setContentsMargins(margin, 0, margin, margin);
  layout->setSpacing(0);
  connectionHead_ = new QWidget(tab);
  auto* head = new QVBoxLayout(connectionHead_);
  head->setContentsMargins(0, margin, 0, 0);
  head->addWidget(label("Select the type of of MultiValue Database you want to connect to:", connectionHead_));
  auto* types = new QGroupBox("Database Type ", connectionHead_);
  auto* typeRows = new QVBoxLayout(types);
  const char* captions[] = {nullptr, "Brasq", "D3/Objects (ODBC)", "UniObjects"};
  for (int i = 1; i <= 3; ++i) {
    optOSType[i] = new QRadioButton(captions[i], types);
    optOSType[i]->setObjectName(QString("optOSType_%1").arg(i));
    typeRows->addWidget(optOSType[i]);
  }
  head->addWidget(types);
  head->addStretch();

  layout->addWidget(connectionHead_);

  const char* frames[] = {nullptr, "Brasq32", "D3/ODBC", "Ardent (UniObject/Uv/Objects)"};
  std::array<QGridLayout*, 4> grids{};
  for (int i = 1; i <= 3; ++i) {
    frmOsType[i] = new QGroupBox(frames[i], tab);
    frmOsType[i]->setObjectName(QString("frmOsType_%1").arg(i));
    grids[i] = new QGridLayout(frmOsType[i]);
    // Four rows fit the frame's height in twips only when packed.
    grids[i]->setVerticalSpacing(2);
    QMargins m = grids[i]->contentsMargins();
    grids[i]->setContentsMargins(m.left(), m.top(), m.right(), 4);
    grids[i]->setColumnStretch(1, 1);
    layout->addWidget(frmOsType[i]);
    frmOsType[i]->hide();
  }
  layout->addStretch();

  auto field = [this, &grids](int frame, const char* caption, QWidget* control, const char* name, int row) {
    grids[frame]->addWidget(label(caption, frmOsType[frame]), row, 0);
    control->setObjectName(name);
    grids[frame]->addWidget(control, row, 1);
  };
  txtHostName = new QComboBox(frmOsType[1]);
  txtHostName->setEditable(true);
  field(1, "Connection Name:", txtHostName, "txtHostName", 0);
  grids[1]->setRowStretch(1, 1);

  txtODBCDataSource = new QLineEdit(frmOsType[2]);
  field(2, "ODBC Data Source:", txtODBCDataSource, "txtODBCDataSource", 0);
  chkDOA = new QCheckBox("Use with DOA Controls", frmOsType[2]);
  chkDOA->setObjectName("chkDOA");
  grids[2]->addWidget(chkDOA, 1, 1);
  grids[2]->setRowStretch(2, 1);

  txtHost = new QLineEdit(frmOsType[3]);
  field(3, "Host:", txtHost, "txtHost", 0);
  txtUserName = new QLineEdit(frmOsType[3]);
  field(3, "User Name:", txtUserName, "txtUserName", 1);
  txtUserPassword = new QLineEdit(frmOsType[3]);
  // Masked on screen; the stored value is the same.
  txtUserPassword->setEchoMode(QLineEdit::Password);
  field(3, "Password:", txtUserPassword, "txtUserPassword", 2);
  txtAccountName = new QLineEdit(frmOsType[3]);
  field(3, "Account Path:", txtAccountName, "txtAccountName", 3);
  auto* uni = new QGroupBox("Database Type:", frmOsType[3]);
  auto* uniRows = new QVBoxLayout(uni);
  uniRows->setSpacing(2);
  optUniType[0] = new QRadioButton("UniVerse", uni);
  optUniType[1] = new QRadioButton("UniData", uni);
  for (int u = 0; u < 2; ++u) {
    optUniType[u]->setObjectName(QString("optUniType_%1").arg(u));
    uniRows->addWidget(optUniType[u]);
  }
  uniRows->addStretch();
  grids[3]->addWidget(uni, 0, 2, 4, 1);
  return tab;
}

int frmSetup::twipsToPixels(int twips, const QWidget* on) {
  int dpi = on ? on->logicalDpiY() : 96;
  return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch;
}

void frmSetup::placeFrames() {
  connectionHead_->setFixedHeight(twipsToPixels(kFrameTopTwips, this));
  for (int i = 1; i <= 3; ++i) frmOsType[i]->setFixedHeight(twipsToPixels(kFrameHeightTwips, this));
}

void frmSetup::fitWrappedText() {
  // A window does not grow for the lines its labels wrap into: each page asks
  // for their height at the width the pages have.
  int width = SSTab1->currentWidget()->width();
  for (int i = 0; i < SSTab1->count(); ++i) {
    QWidget* page = SSTab1->widget(i);
    if (page->layout()->hasHeightForWidth()) page->setMinimumHeight(page->layout()->totalHeightForWidth(width));
  }
}

void frmSetup::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  fitWrappedText();
}

void frmSetup::showEvent(QShowEvent* event) {
  // The screen it opens on may draw with other dots per inch than the one it was made on.
  placeFrames();
  QDialog::showEvent(event);
}

void frmSetup::LoadSettings() {
  // Read as the HotSync reads them; a value that cannot be read leaves its control as it was.
  host::SetupValues v;
  std::string problem = host::readSettings(settings_, v);
  if (!problem.empty()) desktop::desktopLog("Conduit Setup: the settings could not be read: " + problem);
  for (ApplicationTab* t : applicationTabs) {
    const host::SetupValues::Application& app = v.of(t->application().kind);
    t->program->setText(qs(app.programName));
    if (app.active) t->use->setChecked(*app.active == 1);
  }
  if (auto n = v.connectionType; n && *n > 0 && *n <= 3) optOSType[*n]->setChecked(true);
  txtHostName->setEditText(qs(v.brasqHostName));
  txtODBCDataSource->setText(qs(v.odbcDataSource));
  if (v.doa == 1) chkDOA->setChecked(true);
  txtHost->setText(qs(v.uniHostName));
  txtAccountName->setText(qs(v.accountName));
  txtUserName->setText(qs(v.userName));
  txtUserPassword->setText(qs(v.password));
  if (auto u = v.uniType; u && (*u == 0 || *u == 1)) optUniType[*u]->setChecked(true);
  UpdateButtons();
}

int frmSetup::selectedOSType() const {
  for (int i = 1; i <= 3; ++i)
    if (optOSType[i]->isChecked()) return i;
  return 0;
}

void frmSetup::optOSType_Click(int index) {
  for (int i = 1; i <= 3; ++i) frmOsType[i]->hide();
  frmOsType[index]->show();
  UpdateButtons();
  frmOsType[index]->setEnabled(true);
  placeFrames();
  // In its place at once, also on a page not laid out yet; the layout keeps it there.
  frmOsType[index]->setGeometry(frmOsType[index]->x(), connectionHead_->height(), frmOsType[index]->width(),
                                frmOsType[index]->height());
}

void frmSetup::UpdateButtons() {
  // The reason names every cause, as a greyed button alone does not say
  // which tab holds it.
  QStringList reasons;
  if (!selectedOSType()) reasons << "Choose the type of database on the Connection Info tab.";
  host::SetupValues v = values();
  for (size_t i = 0; i < v.applications.size(); ++i)
    if (v.applications[i].active == 1 && v.applications[i].programName.empty())
      reasons << QString("%1 uses Pelorix but has no program name.").arg(host::SetupValues::applicationAt(i).name);
  cmdOK->setEnabled(reasons.isEmpty());
  cmdApply->setEnabled(reasons.isEmpty());
  lblWhyDisabled->setText(reasons.isEmpty() ? QString() : "OK and Apply are unavailable: " + reasons.join(" "));
  lblWhyDisabled->setVisible(!reasons.isEmpty());
}

host::SetupValues frmSetup::values() const {
  host::SetupValues v;
  for (ApplicationTab* t : applicationTabs)
    v.of(t->application().kind) = {ss(t->program->text()), t->use->isChecked() ? 1 : 0};
  v.connectionType = selectedOSType();
  v.brasqHostName = ss(txtHostName->currentText());
  v.odbcDataSource = ss(txtODBCDataSource->text());
  v.doa = chkDOA->isChecked() ? 1 : 0;
  v.uniHostName = ss(txtHost->text());
  v.accountName = ss(txtAccountName->text());
  v.userName = ss(txtUserName->text());
  v.password = ss(txtUserPassword->text());
  v.uniType = optUniType[0]->isChecked() ? 0 : 1;
  return v;
}

bool frmSetup::SaveSettings() {
  try {
    host::writeSettings(settings_, values());
  } catch (const std::exception& e) {
    // Saving that silently fails would lose what the user typed; the dialog stays open.
    showMessage(MessageKind::Critical, std::string("The settings could not be saved.\r\n") + e.what());
    return false;
  }
  for (const palm::Application& app : palm::applications())
    UpdateConduit(palm::fourCCText(app.creator), tab(app.kind).use->isChecked());
  return true;
}

void frmSetup::UpdateConduit(const std::string& creator, bool flag) {
  setup::UpdateConduit(controls_, settings_, creator, flag);
}

void frmSetup::UnInstall() { setup::UnInstall(controls_, settings_); }

}  // namespace pelorix::setup
