#include "palm/conduit_entries.h"

#include <cstdio>

#include "base/ascii_case.h"
#include "palm/applications.h"

namespace pelorix::palm {

namespace fs = std::filesystem;

namespace {
std::string keyOf(std::uint32_t creator) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", creator);
  return std::string("Conduits\\") + text;
}
constexpr const char* kManagerKey = "HotSyncManager";
}  // namespace

ConduitEntries::ConduitEntries(fs::path file) : store_(std::move(file)) {}

ConduitEntries ConduitEntries::user() {
  ConduitEntries entries(desktop::SettingsStore::configDir() / "conduits.reg");
  if (!fs::exists(entries.file())) entries.seedDefaults();
  return entries;
}

std::optional<std::uint32_t> ConduitEntries::creatorId(const std::string& creator) {
  if (creator.size() != 4) return std::nullopt;
  std::uint32_t id = 0;
  for (unsigned char c : creator) id = id << 8 | c;
  return id;
}

// Values left without a conduit library (an action chosen for an application
// no conduit serves) make no entry.
bool ConduitEntries::exists(std::uint32_t creator) const {
  auto values = store_.values(keyOf(creator));
  auto dll = values.find("Conduit");
  return dll != values.end() && !dll->second.empty();
}

std::optional<ConduitEntry> ConduitEntries::entry(std::uint32_t creator) const {
  auto values = store_.values(keyOf(creator));
  if (values.empty()) return std::nullopt;
  return ConduitEntry{values["Conduit"], values["Name"], values["COMClient"]};
}

std::optional<std::string> ConduitEntries::value(std::uint32_t creator, const std::string& name) const {
  auto values = store_.values(keyOf(creator));
  if (values.empty()) return std::nullopt;
  auto found = values.find(name);
  return found == values.end() ? std::string() : found->second;
}

bool ConduitEntries::setValue(std::uint32_t creator, const std::string& name, const std::string& value) {
  bool found = false;
  store_.update([&](desktop::SettingsTree& tree) {
    auto entry = tree.find(keyOf(creator));
    if (entry == tree.end() || entry->second.empty()) return;
    entry->second[name] = value;
    found = true;
  });
  return found;
}

void ConduitEntries::removeValue(std::uint32_t creator, const std::string& name) {
  store_.removeValue(keyOf(creator), name);
}

void ConduitEntries::put(std::uint32_t creator, const ConduitEntry& entry) {
  store_.update([&](desktop::SettingsTree& tree) {
    auto& values = tree[keyOf(creator)];
    values["Conduit"] = entry.dll;
    values["Name"] = entry.name;
    values["COMClient"] = entry.comClient;
  });
}

std::optional<std::string> ConduitEntries::comClass(std::uint32_t creator) const {
  auto e = entry(creator);
  if (!e || e->comClient.empty()) return std::nullopt;
  std::string dll = pelorix::upperAscii(e->dll);
  if (dll != "COMCONDUIT.DLL" && dll != "COMCLIENT.DLL") return std::nullopt;
  return e->comClient;
}

namespace {
// A count that someone spoiled by hand starts again from 0.
int countOf(const std::string& text) {
  try {
    return std::stoi(text);
  } catch (const std::exception&) {
    return 0;
  }
}
}  // namespace

void ConduitEntries::reload() {
  store_.update([](desktop::SettingsTree& tree) {
    auto& count = tree[kManagerKey]["Reloads"];
    count = std::to_string(countOf(count) + 1);
  });
}

int ConduitEntries::reloads() const { return countOf(store_.get(kManagerKey, "Reloads").value_or("0")); }

void ConduitEntries::seedDefaults() {
  store_.update([](desktop::SettingsTree& tree) {
    for (const Application& app : applications()) {
      auto& values = tree[keyOf(app.creator)];
      values["Conduit"] = app.defaultConduit;
      values["Name"] = app.name;
      values["COMClient"] = "";
    }
  });
}

}  // namespace pelorix::palm
