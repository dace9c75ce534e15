#include "setup/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QProcess>
#include <cstdlib>

#include "com/com_error.h"
#include "pelorix/version.h"

namespace pelorix::setup {

namespace {
DialogHandlers& handlers() {
  static DialogHandlers h;
  return h;
}
}  // namespace

void ensureApplication() {
  if (QApplication::instance()) return;
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    com::raise(com::err::kFail, version::kProductName, "There is no display to show the dialog on");
  static int argc = 1;
  static char name[] = "pelorix";
  static char* argv[] = {name, nullptr};
  // Never destroyed: shared forms may still be loaded when the program ends.
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

int showModal(QDialog& dialog) {
  if (auto& modal = handlers().modal) {
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    modal(dialog);
    dialog.hide();
    return dialog.result();
  }
  return dialog.exec();
}

void showMessage(MessageKind kind, const std::string& text) {
  if (auto& message = handlers().message) return message(kind, text);
  ensureApplication();
  QString body = QString::fromStdString(text);
  if (kind == MessageKind::Critical)
    QMessageBox::critical(nullptr, version::kProductName, body);
  else
    QMessageBox::information(nullptr, version::kProductName, body);
}

bool startProgram(const std::string& path) {
  if (auto& start = handlers().start) return start(path);
  return QProcess::startDetached(QString::fromStdString(path), {});
}

DialogHandlers setDialogHandlers(DialogHandlers replacement) {
  DialogHandlers previous = std::move(handlers());
  handlers() = std::move(replacement);
  return previous;
}

}  // namespace pelorix::setup
