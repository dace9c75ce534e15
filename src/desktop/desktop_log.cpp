#include "desktop/desktop_log.h"

#include <fstream>

#include "com/datetime.h"
#include "desktop/settings_store.h"

namespace pelorix::desktop {

std::filesystem::path desktopLogFile() { return desktop::SettingsStore::configDir() / "pelorix.log"; }

void desktopLog(const std::string& line) {
  try {
    std::filesystem::path file = desktopLogFile();
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::app);
    out << com::formatDateTime(com::now()) << "  " << line << '\n';
  } catch (...) {
  }
}

}  // namespace pelorix::desktop
