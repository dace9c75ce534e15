#include "host/settings_writer.h"

#include "host/settings.h"

namespace pelorix::host {

void writeSettings(desktop::SettingsStore& store, const SetupValues& v) {
  store.update([&](desktop::SettingsTree& tree) {
    auto put = [&](const char* section, const char* key, const std::string& value) {
      tree[sectionKey(section)][key] = value;
    };
    for (size_t i = 0; i < kApplicationSections.size(); ++i)
      put(kApplicationSections[i], "mvProgName", v.applications[i].programName);
    for (size_t i = 0; i < kApplicationSections.size(); ++i)
      put(kApplicationSections[i], "Active", v.applications[i].active ? "1" : "0");
    put("Connection", "OSType", std::to_string(v.connectionType));
    put("Connection", "BrasqHostName", v.brasqHostName);
    put("Connection", "ODBCDataSource", v.odbcDataSource);
    put("Connection", "DOA", v.doa ? "1" : "0");
    put("Connection", "UniHostName", v.uniHostName);
    put("Connection", "AccountName", v.accountName);
    put("Connection", "UserName", v.userName);
    put("Connection", "UserPasswd", v.password);
    put("Connection", "UniType", v.uniData ? "1" : "0");
  });
}

}  // namespace pelorix::host
