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
#include <optional>

#include "com/com_error.h"
#include "desktop/desktop_log.h"
#include "com/variant.h"
#include "host/settings.h"
#include "host/settings_writer.h"
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

// A stored whole number, read as the HotSync reads the settings; nullopt
// when it is not one, so that the control is left as it was.
std::optional<int> wholeNumber(const std::string& text) {
  try {
    return com::Variant(text).toInt16();
  } catch (const com::ComError&) {
    return std::nullopt;
  }
}

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
  SSTab1->addTab(applicationTab("Date Book", txtDateBookProg, chkDateBook, "txtDateBookProg", "chkDateBook"),
                 "Date Book");
  SSTab1->addTab(applicationTab("Address Book", txtProgName, chkAddressBook, "txtProgName", "chkAddressBook"),
                 "Address Book");
  SSTab1->addTab(connectionTab(), "Connection Info");
  SSTab1->addTab(applicationTab("To Do List", txtToDoProg, chkToDoList, "txtToDoProg", "chkToDoList"), "To Do List");
  SSTab1->addTab(applicationTab("Memo Pad", txtMemoPadProg, chkMemoPad, "txtMemoPadProg", "chkMemoPad"), "Memo Pad");

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

  // Each program-name box follows its check box.
  const std::pair<QCheckBox*, QLineEdit*> pairs[] = {{chkAddressBook, txtProgName},
                                                     {chkToDoList, txtToDoProg},
                                                     {chkDateBook, txtDateBookProg},
                                                     {chkMemoPad, txtMemoPadProg}};
  for (auto [check, box] : pairs)
    connect(check, &QCheckBox::toggled, this, [box](bool ticked) { SetControlLocked(box, !ticked); });
  for (int i = 1; i <= 3; ++i)
    connect(optOSType[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) optOSType_Click(i);
    });
  for (QLineEdit* box : {txtProgName, txtDateBookProg, txtToDoProg, txtMemoPadProg, txtODBCDataSource, txtHost,
                         txtUserName, txtUserPassword, txtAccountName})
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
  for (auto [check, box] : pairs) SetControlLocked(box, !check->isChecked());
}

QWidget* frmSetup::applicationTab(const char* name, QLineEdit*& program, QCheckBox*& use, const char* programName,
                                  const char* checkName) {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* row = new QHBoxLayout;
  row->addWidget(label("Program Name:", tab));
  program = new QLineEdit(tab);
  program->setObjectName(programName);
  row->addWidget(program);
  layout->addLayout(row);
  use = new QCheckBox("Use Pelorix.", tab);
  use->setObjectName(checkName);
  layout->addWidget(use);
  layout->addWidget(label(QString("Enter the program name you want to call durring the Sync of the ") + name +
                              ".  This program will be used to process the records that need to be updated on the "
                              "palm or have been update on the palm.",
                          tab, true));
  layout->addWidget(label("The program will be passed all the records that need to be updated from the palm.  The "
                          "information passed back from the program will then be used to update the palm.",
                          tab, true));
  layout->addWidget(label("The program will have the following arguments:", tab, true));
  layout->addWidget(label("SUBROUTINE PROGRAM.NAME(PALM.INFO,FROM.PALM,TO.PALM)", tab, true));
  layout->addWidget(label("The records from and to the Palm will be delimited by AM marks, while each field in the "
                          "record will be delimited by VM marks.",
                          tab, true));
  layout->addStretch();
  return tab;
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
  // Every read stands alone: a value that cannot be read leaves its control as it was.
  desktop::SettingsTree tree;
  try {
    tree = settings_.load();
  } catch (const std::exception& e) {
    desktop::desktopLog(std::string("Conduit Setup: the settings could not be read: ") + e.what());
  }
  auto read = [&](const char* section, const char* key) -> std::optional<std::string> {
    auto values = tree.find(host::sectionKey(section));
    if (values == tree.end()) return std::nullopt;
    auto found = values->second.find(key);
    if (found == values->second.end()) return std::nullopt;
    return found->second;
  };
  auto text = [&](const char* section, const char* key) { return qs(read(section, key).value_or("")); };

  txtProgName->setText(text("AddressBook", "mvProgName"));
  txtDateBookProg->setText(text("DateBook", "mvProgName"));
  txtToDoProg->setText(text("ToDoList", "mvProgName"));
  txtMemoPadProg->setText(text("MemoPad", "mvProgName"));
  const std::pair<const char*, QCheckBox*> checks[] = {
      {"AddressBook", chkAddressBook}, {"DateBook", chkDateBook}, {"ToDoList", chkToDoList}, {"MemoPad", chkMemoPad}};
  for (auto [section, check] : checks)
    if (auto n = wholeNumber(read(section, "Active").value_or("0"))) check->setChecked(*n == 1);

  if (auto n = wholeNumber(read("Connection", "OSType").value_or("0")); n && *n > 0 && *n <= 3)
    optOSType[*n]->setChecked(true);
  txtHostName->setEditText(text("Connection", "BrasqHostName"));
  txtODBCDataSource->setText(text("Connection", "ODBCDataSource"));
  if (auto n = wholeNumber(read("Connection", "DOA").value_or("0")); n && *n == 1) chkDOA->setChecked(true);
  txtHost->setText(text("Connection", "UniHostName"));
  txtAccountName->setText(text("Connection", "AccountName"));
  txtUserName->setText(text("Connection", "UserName"));
  txtUserPassword->setText(text("Connection", "UserPasswd"));
  if (auto u = wholeNumber(read("Connection", "UniType").value_or("0")); u && (*u == 0 || *u == 1))
    optUniType[*u]->setChecked(true);
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
  const std::pair<QCheckBox*, QLineEdit*> apps[] = {
      {chkAddressBook, txtProgName}, {chkDateBook, txtDateBookProg}, {chkToDoList, txtToDoProg},
      {chkMemoPad, txtMemoPadProg}};
  for (auto [check, box] : apps)
    if (check->isChecked() && box->text().isEmpty())
      reasons << QString("%1 uses Pelorix but has no program name.").arg(SSTab1->tabText(SSTab1->indexOf(
                                                                        box->parentWidget())));
  cmdOK->setEnabled(reasons.isEmpty());
  cmdApply->setEnabled(reasons.isEmpty());
  lblWhyDisabled->setText(reasons.isEmpty() ? QString() : "OK and Apply are unavailable: " + reasons.join(" "));
  lblWhyDisabled->setVisible(!reasons.isEmpty());
}

bool frmSetup::SaveSettings() {
  host::SetupValues v;
  QLineEdit* programs[] = {txtProgName, txtDateBookProg, txtToDoProg, txtMemoPadProg};
  QCheckBox* checks[] = {chkAddressBook, chkDateBook, chkToDoList, chkMemoPad};
  for (size_t i = 0; i < 4; ++i) v.applications[i] = {ss(programs[i]->text()), checks[i]->isChecked()};
  v.connectionType = selectedOSType();
  v.brasqHostName = ss(txtHostName->currentText());
  v.odbcDataSource = ss(txtODBCDataSource->text());
  v.doa = chkDOA->isChecked();
  v.uniHostName = ss(txtHost->text());
  v.accountName = ss(txtAccountName->text());
  v.userName = ss(txtUserName->text());
  v.password = ss(txtUserPassword->text());
  v.uniData = !optUniType[0]->isChecked();
  try {
    host::writeSettings(settings_, v);
  } catch (const std::exception& e) {
    // Saving that silently fails would lose what the user typed; the dialog stays open.
    showMessage(MessageKind::Critical, std::string("The settings could not be saved.\r\n") + e.what());
    return false;
  }
  UpdateConduit("addr", chkAddressBook->isChecked());
  UpdateConduit("date", chkDateBook->isChecked());
  UpdateConduit("memo", chkMemoPad->isChecked());
  UpdateConduit("todo", chkToDoList->isChecked());
  return true;
}

void frmSetup::UpdateConduit(const std::string& creator, bool flag) {
  setup::UpdateConduit(controls_, settings_, creator, flag);
}

void frmSetup::UnInstall() { setup::UnInstall(controls_, settings_); }

}  // namespace pelorix::setup
