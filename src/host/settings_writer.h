#pragma once
// What the setup dialog saves: every key of every section, whatever the
// connection type, in one atomic change of the settings store.

#include <array>
#include <string>

#include "desktop/settings_store.h"

namespace pelorix::host {

// The four application sections, in the order the setup dialog lists them.
inline constexpr std::array<const char*, 4> kApplicationSections = {"AddressBook", "DateBook", "ToDoList", "MemoPad"};

struct SetupValues {
  struct Application {
    std::string programName;
    bool active = false;
  };
  std::array<Application, 4> applications;  // as kApplicationSections
  int connectionType = 1;                   // 1, 2 or 3
  std::string brasqHostName;
  std::string odbcDataSource;
  bool doa = false;
  std::string uniHostName;
  std::string accountName;
  std::string userName;
  std::string password;
  bool uniData = false;  // else UniVerse
};

// SettingsError when the store cannot be written; it is then unchanged.
void writeSettings(desktop::SettingsStore& store, const SetupValues& values);

}  // namespace pelorix::host
