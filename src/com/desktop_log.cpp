#include "com/desktop_log.h"

#include <fstream>

#include "com/datetime.h"
#include "com/settings_store.h"

namespace pelorix::com {

std::filesystem::path desktopLogFile() { return com::SettingsStore::configDir() / "pelorix.log"; }

void desktopLog(const std::string& line) {
  try {
    std::filesystem::path file = desktopLogFile();
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::app);
    out << com::formatDateTime(com::now()) << "  " << line << '\n';
  } catch (...) {
  }
}

}  // namespace pelorix::com
