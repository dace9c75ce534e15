#include "host/settings.h"

#include <iterator>

#include "com/com_error.h"
#include "com/variant.h"

namespace pelorix::host {

namespace {

// The applications' sections as the settings have always listed them, which
// is not the order the HotSync runs them.
constexpr palm::AppKind kListed[] = {palm::AppKind::AddressBook, palm::AppKind::DateBook, palm::AppKind::ToDoList,
                                     palm::AppKind::MemoPad};
static_assert(std::size(kListed) == std::tuple_size_v<decltype(SetupValues::applications)>);

size_t indexOf(palm::AppKind kind) {
  size_t i = 0;
  while (kListed[i] != kind) ++i;
  return i;
}

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
  std::optional<std::int16_t> number(const std::string& section, const std::string& key) const {
    const std::string* value = find(section, key);
    if (!value) return 0;
    try {
      return com::Variant(*value).toInt16();
    } catch (const com::ComError&) {
      return std::nullopt;
    }
  }

 private:
  const desktop::SettingsTree& tree_;
};

}  // namespace

std::string sectionKey(const std::string& section) { return std::string(kSettingsRoot) + "\\" + section; }

const std::vector<SettingsSection>& settingsLayout() {
  static const std::vector<SettingsSection> layout = [] {
    std::vector<SettingsSection> sections;
    for (palm::AppKind kind : kListed) {
      const palm::Application& app = palm::application(kind);
      sections.push_back({app.section, {kProgramNameKey, kActiveKey}, &app});
    }
    sections.push_back({kConnectionSection,
                        {kOSTypeKey, kBrasqHostNameKey, kODBCDataSourceKey, kDOAKey, kUniHostNameKey, kAccountNameKey,
                         kUserNameKey, kUserPasswdKey, kUniTypeKey},
                        nullptr});
    return sections;
  }();
  return layout;
}

std::string sectionOfDatabase(const std::string& palmDatabaseName) {
  const palm::Application* app = palm::applicationOfDatabase(palmDatabaseName);
  return app ? app->section : std::string();
}

SetupValues::Application& SetupValues::of(palm::AppKind kind) { return applications[indexOf(kind)]; }
const SetupValues::Application& SetupValues::of(palm::AppKind kind) const { return applications[indexOf(kind)]; }
const palm::Application& SetupValues::applicationAt(size_t index) { return palm::application(kListed[index]); }

std::string readSettings(const desktop::SettingsStore& store, SetupValues& v) {
  desktop::SettingsTree tree;
  std::string problem;
  try {
    tree = store.load();
  } catch (const std::exception& e) {
    problem = e.what();
  }
  Reader r(tree);
  for (size_t i = 0; i < v.applications.size(); ++i) {
    const char* section = SetupValues::applicationAt(i).section;
    v.applications[i] = {r.text(section, kProgramNameKey), r.number(section, kActiveKey)};
  }
  v.connectionType = r.number(kConnectionSection, kOSTypeKey);
  v.brasqHostName = r.text(kConnectionSection, kBrasqHostNameKey);
  v.odbcDataSource = r.text(kConnectionSection, kODBCDataSourceKey);
  v.doa = r.number(kConnectionSection, kDOAKey);
  v.uniHostName = r.text(kConnectionSection, kUniHostNameKey);
  v.accountName = r.text(kConnectionSection, kAccountNameKey);
  v.userName = r.text(kConnectionSection, kUserNameKey);
  v.password = r.text(kConnectionSection, kUserPasswdKey);
  v.uniType = r.number(kConnectionSection, kUniTypeKey);
  return problem;
}

std::string readSettings(const desktop::SettingsStore& store, ConduitSettings& s) {
  SetupValues v;
  std::string problem = readSettings(store, v);
  for (const palm::Application& app : palm::applications()) s.programNames[app.database] = v.of(app.kind).programName;
  auto number = [](const std::optional<std::int16_t>& value, std::int16_t& field) {
    if (value) field = *value;
  };
  number(v.connectionType, s.connectionType);
  switch (s.connectionType) {
    case 1: s.hostName = v.brasqHostName; break;
    case 2:
      s.hostName = v.odbcDataSource;
      number(v.doa, s.doa);
      break;
    case 3:
      s.hostName = v.uniHostName;
      s.accountPath = v.accountName;
      s.userName = v.userName;
      s.password = v.password;
      number(v.uniType, s.databaseType);
      break;
    default: break;
  }
  return problem;
}

}  // namespace pelorix::host
