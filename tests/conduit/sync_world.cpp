#include "conduit/sync_world.h"

#include "desktop/class_registry.h"
#include "mv/dynamic_array.h"
#include "palm/handheld.h"
#include "palm/palm_text.h"

namespace pelorix::test {

namespace fs = std::filesystem;

SyncWorld::SyncWorld() {
  handheld = copySampleHandheld(dir);
  accountFolder = dir / "host";
  fs::copy(fs::path(PELORIX_SOURCE_DIR) / "samples" / "host", accountFolder, fs::copy_options::recursive);
  desktop::ClassRegistry::instance().registerLibrary(componentLibrary().string());
  desktop::ClassRegistry::instance().registerLibrary(hostConnectorLibrary().string());
  saveSettings(settings());
}

host::SetupValues SyncWorld::settings() const {
  host::SetupValues v;
  const char* programs[] = {"SYNC.ADDRESS", "SYNC.DATES", "SYNC.TODOS", "SYNC.MEMOS"};
  for (size_t i = 0; i < 4; ++i) v.applications[i] = {programs[i], true};
  v.connectionType = 3;
  v.accountName = accountFolder.string();
  return v;
}

void SyncWorld::saveSettings(const host::SetupValues& values) {
  desktop::SettingsStore store = desktop::SettingsStore::user();
  host::writeSettings(store, values);
}

palm::HotSyncResult SyncWorld::sync(std::optional<std::int32_t> type, std::vector<std::string> apps) {
  palm::HotSyncOptions options;
  options.handheld = handheld;
  options.syncType = type;
  options.userName = "Pat";
  options.applications = std::move(apps);
  return palm::runHotSync(options);
}

std::vector<Memo> SyncWorld::memos() const {
  std::vector<Memo> out;
  for (const palm::PdbRecord& r : palm::Handheld(handheld).read("MemoDB").records) {
    std::string text(r.data.begin(), r.data.end());
    text = text.substr(0, text.find('\0'));
    out.push_back({r.uniqueId, palm::fromPalmText(text), r.attributes});
  }
  return out;
}

std::vector<std::string> SyncWorld::memoTexts() const {
  std::vector<std::string> out;
  for (const Memo& m : memos()) out.push_back(m.text);
  return out;
}

std::uint32_t SyncWorld::addMemo(const std::string& text, std::uint8_t attributes) {
  palm::Handheld h(handheld);
  palm::PdbDatabase db = h.read("MemoDB");
  std::string bytes = palm::toPalmText(text) + '\0';
  std::uint32_t id = db.allocateUniqueId();
  db.records.push_back({attributes, id, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
  h.write("MemoDB", db);
  return id;
}

void SyncWorld::setMemo(std::uint32_t id, const std::string& text, std::uint8_t attributes) {
  palm::Handheld h(handheld);
  palm::PdbDatabase db = h.read("MemoDB");
  palm::PdbRecord* r = db.findById(id);
  ASSERT_NE(r, nullptr);
  std::string bytes = palm::toPalmText(text) + '\0';
  r->data.assign(bytes.begin(), bytes.end());
  r->attributes = attributes;
  h.write("MemoDB", db);
}

std::string SyncWorld::hostMemo(const std::string& key) const {
  auto item = account().read("MEMO.PAD", key);
  if (!item) return "";
  std::string text = mv::Extract(*item, 7);
  for (char& c : text)
    if (c == mv::SVM) c = '\n';
  return text;
}

void SyncWorld::changeHostMemo(const std::string& key, const std::string& text) {
  mv::Account a = account();
  std::string item = a.read("MEMO.PAD", key).value_or("");
  item = mv::Replace(item, 7, 0, 0, text);
  a.write("MEMO.PAD", key, mv::Replace(item, 5, 0, 0, "1"));
}

}  // namespace pelorix::test
