#pragma once
// The desktop's settings store, standing in for the current user's registry:
// keys like "Software\Pelorix\Connection" holding named string values, all
// names matched without regard to case, kept in one human-readable file.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/ascii_case.h"

namespace pelorix::desktop {

// The file cannot be read, is corrupt, or cannot be written. The message
// names the file and what is wrong; the file is never reset because of it.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One key's values; the name "" is the key's default value.
using SettingsValues = std::map<std::string, std::string, NoCaseLess>;
// Every key, by its full path.
using SettingsTree = std::map<std::string, SettingsValues, NoCaseLess>;

class SettingsStore {
 public:
  explicit SettingsStore(std::filesystem::path file);

  // $PELORIX_CONFIG_DIR, else $XDG_CONFIG_HOME/pelorix, else ~/.config/pelorix.
  static std::filesystem::path configDir();
  static SettingsStore user();

  const std::filesystem::path& file() const { return file_; }

  std::optional<std::string> get(const std::string& key, const std::string& name) const;
  std::string get(const std::string& key, const std::string& name, const std::string& fallback) const;
  void set(const std::string& key, const std::string& name, const std::string& value);
  void removeValue(const std::string& key, const std::string& name);
  // Removes the key with every key below it.
  void removeKey(const std::string& key);
  SettingsValues values(const std::string& key) const;
  // Names of the keys directly below `key`.
  std::vector<std::string> subkeys(const std::string& key) const;

  // Reads the whole store; a missing file is an empty store.
  SettingsTree load() const;
  // Changes the store in one atomic rewrite, holding the store's lock.
  void update(const std::function<void(SettingsTree&)>& change);

 private:
  std::filesystem::path file_;
};

// The text of a settings file; SettingsError names `file` and the line when
// the text is not one.
SettingsTree parseSettings(const std::string& text, const std::filesystem::path& file);
std::string serialiseSettings(const SettingsTree& tree);

// Keys are joined with '\', without leading or trailing separators.
std::string normaliseKey(const std::string& key);

}  // namespace pelorix::desktop
