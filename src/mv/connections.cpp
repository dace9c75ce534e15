#include "mv/connections.h"

#include <fstream>

#include "com/dispatch.h"
#include "desktop/settings_store.h"

namespace pelorix::mv {

namespace fs = std::filesystem;

namespace {

std::string trim(const std::string& s) {
  size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

fs::path connectionsFile() { return desktop::SettingsStore::configDir() / "connections"; }

std::optional<fs::path> resolveAccount(const std::string& name) {
  if (trim(name).empty()) return std::nullopt;
  std::ifstream in(connectionsFile());
  for (std::string line; std::getline(in, line);) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (!pelorix::namesEqual(trim(line.substr(0, eq)), trim(name))) continue;
    fs::path folder = trim(line.substr(eq + 1));
    return folder.is_absolute() ? folder : desktop::SettingsStore::configDir() / folder;
  }
  std::error_code ec;
  if (fs::is_directory(name, ec)) return fs::absolute(name, ec);
  return std::nullopt;
}

}  // namespace pelorix::mv
