#pragma once
// The conduit's settings: which host connector, how to reach the host, and
// which subroutine serves each application. Kept in the settings store under
// Software\Pelorix\<section>.

#include <cstdint>
#include <map>
#include <string>

#include "desktop/settings_store.h"

namespace pelorix::host {

inline constexpr const char* kSettingsRoot = "Software\\Pelorix";

std::string sectionKey(const std::string& section);

// The section that holds the settings of a handheld database, or "".
std::string sectionOfDatabase(const std::string& palmDatabaseName);

struct ConduitSettings {
  std::map<std::string, std::string> programNames;  // by Palm database name
  std::int16_t connectionType = 0;
  std::string hostName;
  std::int16_t doa = 0;
  std::string accountPath;
  std::string userName;
  std::string password;
  std::int16_t databaseType = 0;
};

// Reads what the record store uses, over what `settings` already holds: a
// missing key gives its default, a number that is not one (or not 16-bit)
// leaves the field as it was. Returns the store's error text, or "" when the
// store could be read; the settings are usable either way.
std::string readSettings(const desktop::SettingsStore& store, ConduitSettings& settings);

}  // namespace pelorix::host
