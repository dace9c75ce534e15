// What pelorix_dialogs offers through setup/dialog_library.h.

#include <QApplication>
#include <QMessageBox>
#include <QProcess>

#include "pelorix/version.h"
#include "setup/dialog_library.h"
#include "setup/fconfigure.h"
#include "setup/forms.h"

namespace pelorix::setup {

namespace {
void showMessageBox(MessageKind kind, const std::string& text) {
  ensureApplication();
  QString body = QString::fromStdString(text);
  if (kind == MessageKind::Critical)
    QMessageBox::critical(nullptr, version::kProductName, body);
  else {
    // A plain message carries no icon, as it is not an error nor a question.
    QMessageBox box(QMessageBox::NoIcon, version::kProductName, body, QMessageBox::Ok);
    box.exec();
  }
}

bool startDetached(const std::string& path) { return QProcess::startDetached(QString::fromStdString(path), {}); }

bool configure(std::int32_t& action, std::int32_t& preference, bool stayOnTop) {
  setup::FConfigure& dialog = setup::FConfigure::instance();
  dialog.actionCode = action;
  if (stayOnTop) dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  dialog.Show();
  if (dialog.cancelled) return false;
  action = dialog.actionCode;
  preference = dialog.preferenceCode;
  return true;
}

void unloadAll() {
  unloadSetup();
  unloadAbout();
  setup::FConfigure::unload();
}

const DialogEntries kEntries = {
    [] { showSetup(); },
    [] { unInstall(); },
    configure,
    unloadAll,
    showMessageBox,
    startDetached,
    [] { return QApplication::instance() != nullptr; },
};
}  // namespace

}  // namespace pelorix::setup

extern "C" __attribute__((visibility("default"))) const pelorix::setup::DialogEntries* pelorix_dialog_entries() {
  return &pelorix::setup::kEntries;
}
