#include "setup/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <cstdio>
#include <cstdlib>

#include "com/com_error.h"
#include "pelorix/version.h"

namespace pelorix::setup {

namespace {
// Qt ends the process when no platform plug-in starts; the user is told
// what to do instead of a hint to reinstall.
void fatalWithoutDisplay(QtMsgType type, const QMessageLogContext&, const QString& text) {
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "%s: %s.\n", version::kProductName, kNoDisplay);
    std::fflush(stderr);
    std::_Exit(1);
  }
}
}  // namespace

void ensureApplication() {
  if (QApplication::instance()) return;
  if (auto problem = displayProblem())
    com::raise(com::err::kFail, version::kProductName, std::string(kNoDisplay) + " (" + *problem + ")");
  static int argc = 1;
  static char name[] = "pelorix";
  static char* argv[] = {name, nullptr};
  QtMessageHandler previous = qInstallMessageHandler(fatalWithoutDisplay);
  // Never destroyed: shared forms may still be loaded when the program ends.
  static QApplication* app = new QApplication(argc, argv);
  qInstallMessageHandler(previous);
  (void)app;
}

int showModal(QDialog& dialog) {
  if (auto& modal = dialogHandlers().modal) {
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    modal(dialog);
    dialog.hide();
    return dialog.result();
  }
  return dialog.exec();
}

}  // namespace pelorix::setup
