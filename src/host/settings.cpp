#include "host/settings.h"

#include "com/com_error.h"
#include "com/variant.h"
#include "palm/applications.h"

namespace pelorix::host {

namespace {

class Reader {
 public:
  explicit Reader(const desktop::SettingsTree& tree) : tree_(tree) {}

  const std::string* find(const std::string& section, const std::string& key) const {
    auto s = tree_.find(sectionKey(section));
    if (s == tree_.end()) return nullptr;
    auto v = s->second.find(key);
    return v == s->second.end() ? nullptr : &v->second;
  }
  std::string text(const std::string& section, const std::string& key) const {
    const std::string* value = find(section, key);
    return value ? *value : std::string{};
  }
  void number(const std::string& section, const std::string& key, std::int16_t& field) const {
    const std::string* value = find(section, key);
    if (!value) {
      field = 0;
      return;
    }
    try {
      field = com::Variant(*value).toInt16();
    } catch (const com::ComError&) {
      // not a 16-bit number: the field keeps what it had
    }
  }

 private:
  const desktop::SettingsTree& tree_;
};

}  // namespace

std::string sectionKey(const std::string& section) { return std::string(kSettingsRoot) + "\\" + section; }

std::string sectionOfDatabase(const std::string& palmDatabaseName) {
  const palm::Application* app = palm::applicationOfDatabase(palmDatabaseName);
  return app ? app->section : std::string();
}

std::string readSettings(const desktop::SettingsStore& store, ConduitSettings& s) {
  desktop::SettingsTree tree;
  std::string problem;
  try {
    tree = store.load();
  } catch (const std::exception& e) {
    problem = e.what();
  }
  Reader r(tree);
  for (const palm::Application& app : palm::applications())
    s.programNames[app.database] = r.text(app.section, "mvProgName");
  r.number("Connection", "OSType", s.connectionType);
  switch (s.connectionType) {
    case 1:
      s.hostName = r.text("Connection", "BrasqHostName");
      break;
    case 2:
      s.hostName = r.text("Connection", "ODBCDataSource");
      r.number("Connection", "DOA", s.doa);
      break;
    case 3:
      s.hostName = r.text("Connection", "UniHostName");
      s.accountPath = r.text("Connection", "AccountName");
      s.userName = r.text("Connection", "UserName");
      s.password = r.text("Connection", "UserPasswd");
      r.number("Connection", "UniType", s.databaseType);
      break;
    default:
      break;
  }
  return problem;
}

}  // namespace pelorix::host
