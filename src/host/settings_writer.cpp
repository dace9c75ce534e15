#include "host/settings_writer.h"

namespace pelorix::host {

void writeSettings(desktop::SettingsStore& store, const SetupValues& v) {
  store.update([&](desktop::SettingsTree& tree) {
    auto put = [&](const char* section, const char* key, const std::string& value) {
      tree[sectionKey(section)][key] = value;
    };
    auto number = [&](const char* section, const char* key, const std::optional<std::int16_t>& value) {
      if (value) put(section, key, std::to_string(*value));
    };
    for (size_t i = 0; i < v.applications.size(); ++i) {
      const char* section = SetupValues::applicationAt(i).section;
      put(section, kProgramNameKey, v.applications[i].programName);
      number(section, kActiveKey, v.applications[i].active);
    }
    number(kConnectionSection, kOSTypeKey, v.connectionType);
    put(kConnectionSection, kBrasqHostNameKey, v.brasqHostName);
    put(kConnectionSection, kODBCDataSourceKey, v.odbcDataSource);
    number(kConnectionSection, kDOAKey, v.doa);
    put(kConnectionSection, kUniHostNameKey, v.uniHostName);
    put(kConnectionSection, kAccountNameKey, v.accountName);
    put(kConnectionSection, kUserNameKey, v.userName);
    put(kConnectionSection, kUserPasswdKey, v.password);
    number(kConnectionSection, kUniTypeKey, v.uniType);
  });
}

}  // namespace pelorix::host
