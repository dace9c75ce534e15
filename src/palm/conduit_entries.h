#pragma once
// Stands in for the HotSync Manager's conduit entries: per creator id, which
// conduit library serves the application and with what values, and the
// HotSync action the user chose for it. Kept in conduits.reg beside the
// settings; the first use seeds the desktop's default conduits.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "desktop/settings_store.h"

namespace pelorix::palm {

struct ConduitEntry {
  std::string dll;        // the conduit library
  std::string name;       // display name
  std::string comClient;  // the COM class the library runs, when it is the COM suite's
};

// The COM suite's conduit library, which runs the class named by COMClient.
inline constexpr const char* kComConduitDll = "ComConduit.DLL";

class ConduitEntries {
 public:
  // The store beside the settings, seeded when it does not exist yet.
  static ConduitEntries user();
  explicit ConduitEntries(std::filesystem::path file);

  const std::filesystem::path& file() const { return store_.file(); }

  // "addr" -> its 32-bit creator id; nullopt for a text that is not four characters.
  static std::optional<std::uint32_t> creatorId(const std::string& creator);

  // An entry that names its conduit library.
  bool exists(std::uint32_t creator) const;
  std::optional<ConduitEntry> entry(std::uint32_t creator) const;
  // A named value of the entry ("" when absent); nullopt when there is no entry.
  std::optional<std::string> value(std::uint32_t creator, const std::string& name) const;
  // Changes an entry that is there; false, creating none, when there is none:
  // entries are made by registration only.
  bool setValue(std::uint32_t creator, const std::string& name, const std::string& value);
  void removeValue(std::uint32_t creator, const std::string& name);
  void put(std::uint32_t creator, const ConduitEntry& entry);

  // The COM class that serves the creator, when its entry runs the COM suite.
  std::optional<std::string> comClass(std::uint32_t creator) const;

  // The HotSync Manager reloads its entries; counted, so that one can tell.
  void reload();
  int reloads() const;

  // The entries of the desktop's default conduits for the four applications.
  void seedDefaults();

 private:
  desktop::SettingsStore store_;
};

}  // namespace pelorix::palm
