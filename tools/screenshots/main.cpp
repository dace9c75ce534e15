// Renders each of the conduit's dialogs offscreen into a PNG, for the
// documentation:  pelorix_screenshots <output folder>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "desktop/settings_store.h"
#include "host/settings.h"
#include "setup/dialogs.h"
#include "setup/fconfigure.h"
#include "setup/frm_about.h"
#include "setup/frm_setup.h"

namespace fs = std::filesystem;
using namespace pelorix;

namespace {
bool save(QWidget& window, const fs::path& file) {
  window.show();
  QApplication::processEvents();
  bool ok = window.grab().save(QString::fromStdString(file.string()), "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "could not write", file.c_str());
  window.hide();
  return ok;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pelorix_screenshots <output folder>\n");
    return 2;
  }
  fs::path out = fs::absolute(argv[1]);
  fs::create_directories(out);
  // Settings of its own, so that the pictures show the same on every desktop.
  fs::path config = fs::temp_directory_path() / ("pelorix-screenshots-" + std::to_string(::getpid()));
  fs::create_directories(config);
  ::setenv("PELORIX_CONFIG_DIR", config.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setStyle("Fusion");

  auto store = desktop::SettingsStore::user();
  auto set = [&](const char* section, const char* key, const char* value) {
    store.set(host::sectionKey(section), key, value);
  };
  set("Connection", "OSType", "3");
  set("Connection", "UniHostName", "localhost");
  set("Connection", "UserName", "sync");
  set("Connection", "UserPasswd", "secret");
  set("Connection", "AccountName", "/srv/mv/SALES");
  set("MemoPad", "mvProgName", "SYNC.MEMOS");
  set("MemoPad", "Active", "1");

  bool ok = true;
  {
    setup::frmSetup form;
    form.SSTab1->setCurrentIndex(2);
    ok = save(form, out / "conduit-setup.png") && ok;
    form.SSTab1->setCurrentIndex(4);
    ok = save(form, out / "conduit-setup-memo-pad.png") && ok;
  }
  {
    setup::FConfigure& action = setup::FConfigure::instance();
    action.actionCode = 0;
    // Loads the dialog as showing it would, then closes it unanswered.
    auto previous = setup::setDialogHandlers(
        {[&](QDialog&) { ok = save(action, out / "hotsync-action.png") && ok; }, nullptr, nullptr});
    action.Show();
    setup::setDialogHandlers(std::move(previous));
    setup::FConfigure::unload();
  }
  {
    setup::frmAbout about;
    ok = save(about, out / "about.png") && ok;
  }
  fs::remove_all(config);
  return ok ? 0 : 1;
}
