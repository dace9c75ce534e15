#pragma once
// The conduit's settings: which host connector, how to reach the host, and
// which subroutine serves each application. Kept in the settings store under
// Software\Pelorix\<section>. Every section and key is named here once; the
// HotSync, the setup dialog, registration and the commands all go through
// these names, which stored files rely on.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "desktop/settings_store.h"
#include "palm/applications.h"

namespace pelorix::host {

inline constexpr const char* kSettingsRoot = "Software\\Pelorix";

std::string sectionKey(const std::string& section);

// Each application's section is palm::Application::section; in it:
inline constexpr const char* kProgramNameKey = "mvProgName";
inline constexpr const char* kActiveKey = "Active";  // 1 when Pelorix serves it
// What registration kept of the conduit it took the application from.
inline constexpr const char* kOldDllKey = "OldDll";
inline constexpr const char* kOldComClientKey = "OldCOMClient";

inline constexpr const char* kConnectionSection = "Connection";
inline constexpr const char* kOSTypeKey = "OSType";  // 1 Brasq, 2 D3/Objects (ODBC), 3 UniObjects
inline constexpr const char* kBrasqHostNameKey = "BrasqHostName";
inline constexpr const char* kODBCDataSourceKey = "ODBCDataSource";
inline constexpr const char* kDOAKey = "DOA";
inline constexpr const char* kUniHostNameKey = "UniHostName";
inline constexpr const char* kAccountNameKey = "AccountName";
inline constexpr const char* kUserNameKey = "UserName";
inline constexpr const char* kUserPasswdKey = "UserPasswd";
inline constexpr const char* kUniTypeKey = "UniType";  // 0 UniVerse, 1 UniData

struct SettingsSection {
  const char* name;
  std::vector<const char*> keys;
  const palm::Application* application;  // nullptr for the connection
};
// The sections and the keys a user sets in them, in the order they are
// listed: the four applications' sections, then the connection's.
const std::vector<SettingsSection>& settingsLayout();

// The section that holds the settings of a handheld database, or "".
std::string sectionOfDatabase(const std::string& palmDatabaseName);

// Every value the setup dialog shows and saves. Read, a missing text is ""
// and a missing number 0; a number that is not one (or not 16-bit) is
// nullopt, which writing leaves as it is stored.
struct SetupValues {
  struct Application {
    std::string programName;
    std::optional<std::int16_t> active = 0;
  };
  // In the order settingsLayout() lists the applications' sections.
  std::array<Application, 4> applications;
  std::optional<std::int16_t> connectionType = 1;  // 1, 2 or 3
  std::string brasqHostName;
  std::string odbcDataSource;
  std::optional<std::int16_t> doa = 0;
  std::string uniHostName;
  std::string accountName;
  std::string userName;
  std::string password;
  std::optional<std::int16_t> uniType = 0;

  Application& of(palm::AppKind kind);
  const Application& of(palm::AppKind kind) const;
  // The application of applications[index].
  static const palm::Application& applicationAt(size_t index);
};

// Returns the store's error text, or "" when the store could be read; the
// values are usable either way.
std::string readSettings(const desktop::SettingsStore& store, SetupValues& values);

// What the record store uses of the settings.
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
// leaves the field as it was, and only the chosen connection type's keys are
// read. Returns as the reader above.
std::string readSettings(const desktop::SettingsStore& store, ConduitSettings& settings);

}  // namespace pelorix::host
