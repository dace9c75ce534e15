#include "setup/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QProcess>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "com/com_error.h"
#include "pelorix/version.h"

namespace pelorix::setup {

namespace {
DialogHandlers& handlers() {
  static DialogHandlers h;
  return h;
}
}  // namespace

namespace {
std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Asked of libxcb, which Qt's X11 plug-in loads anyway, so that an X server
// that is gone is found before Qt aborts the process over it.
bool xServerAnswers() {
  void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!xcb) return true;  // Qt will say what is wrong
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
  bool answers = true;
  if (connect && hasError && disconnect) {
    void* c = connect(nullptr, nullptr);
    answers = c && hasError(c) == 0;
    if (c) disconnect(c);
  }
  dlclose(xcb);
  return answers;
}

bool waylandAnswers(const std::string& display) {
  std::filesystem::path socket = display;
  if (socket.is_relative()) socket = std::filesystem::path(env("XDG_RUNTIME_DIR")) / display;
  std::error_code ec;
  return std::filesystem::exists(socket, ec);
}

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

std::optional<std::string> displayProblem() {
  if (QApplication::instance()) return std::nullopt;
  const std::string platform = env("QT_QPA_PLATFORM"), x = env("DISPLAY"), wayland = env("WAYLAND_DISPLAY");
  bool wantsX = platform.empty() || platform.rfind("xcb", 0) == 0;
  bool wantsWayland = platform.empty() || platform.rfind("wayland", 0) == 0;
  if (!wantsX && !wantsWayland) return std::nullopt;  // offscreen, vnc, ...: Qt's to judge
  if (wantsWayland && !wayland.empty() && waylandAnswers(wayland)) return std::nullopt;
  if (wantsX && !x.empty() && xServerAnswers()) return std::nullopt;
  if (x.empty() && wayland.empty()) return std::string("neither DISPLAY nor WAYLAND_DISPLAY is set");
  if (!x.empty()) return "the X display " + x + " cannot be reached";
  return "the Wayland display " + wayland + " cannot be reached";
}

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
  else {
    // A plain message carries no icon, as it is not an error nor a question.
    QMessageBox box(QMessageBox::NoIcon, version::kProductName, body, QMessageBox::Ok);
    box.exec();
  }
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
