#include "desktop/settings_store.h"

#include <cctype>
#include <cstdlib>
#include <set>
#include <sstream>

#include "desktop/atomic_file.h"

namespace pelorix::desktop {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader =
    "; Pelorix settings, the desktop's stand-in for the current user's registry.\n"
    "; One [key] a section, one \"name\"=\"value\" a line; @ is the key's default value.\n";

std::string escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = upperAscii(c);
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted text at `pos`, leaving `pos` after the closing quote.
bool readQuoted(const std::string& line, size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= line.size()) return false;
    char e = line[pos];
    if (e == '\\' || e == '"') {
      out += e;
    } else if (e == 'n') {
      out += '\n';
    } else if (e == 'x' && pos + 2 < line.size() && hexDigit(line[pos + 1]) >= 0 && hexDigit(line[pos + 2]) >= 0) {
      out += static_cast<char>(hexDigit(line[pos + 1]) * 16 + hexDigit(line[pos + 2]));
      pos += 2;
    } else {
      return false;
    }
  }
  return false;
}

void ensureFolder(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  fs::create_directories(folder, ec);
  if (ec) throw SettingsError("cannot create " + folder.string() + ": " + ec.message());
  fs::permissions(folder, fs::perms::owner_all, ec);
}

}  // namespace

SettingsTree parseSettings(const std::string& text, const fs::path& file) {
  SettingsTree tree;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  SettingsValues* current = nullptr;
  auto fail = [&](const std::string& what) {
    throw SettingsError("settings file " + file.string() + ", line " + std::to_string(number) + ": " + what +
                        "; the file was left as it is");
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == ';') continue;
    if (line[start] == '[') {
      size_t close = line.rfind(']');
      if (close == std::string::npos || close < start || line.find_first_not_of(" \t", close + 1) != std::string::npos)
        fail("a key line must read [key]");
      std::string key;
      try {
        key = normaliseKey(line.substr(start + 1, close - start - 1));
      } catch (const SettingsError& e) {
        fail(e.what());
      }
      if (key.empty()) fail("empty key name");
      current = &tree[key];
      continue;
    }
    if (!current) fail("a value before the first [key]");
    size_t pos = start;
    std::string name, value;
    if (line[pos] == '@') {
      ++pos;
    } else if (!readQuoted(line, pos, name)) {
      fail("a value name must be quoted");
    }
    if (pos >= line.size() || line[pos] != '=') fail("expected = after the value name");
    ++pos;
    if (!readQuoted(line, pos, value)) fail("a value must be a quoted text");
    if (line.find_first_not_of(" \t", pos) != std::string::npos) fail("text after the value");
    (*current)[name] = value;
  }
  return tree;
}

std::string serialiseSettings(const SettingsTree& tree) {
  std::string out = kHeader;
  for (const auto& [key, values] : tree) {
    out += "\n[" + key + "]\n";
    for (const auto& [name, value] : values) {
      out += name.empty() ? "@" : "\"" + escape(name) + "\"";
      out += "=\"" + escape(value) + "\"\n";
    }
  }
  return out;
}

std::string normaliseKey(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '/') c = '\\';
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  for (char c : out)
    if (c == '[' || c == ']' || c == '\n' || c == '\r')
      throw SettingsError("invalid character in settings key \"" + key + "\"");
  return out;
}

SettingsStore::SettingsStore(fs::path file) : file_(std::move(file)) {}

fs::path SettingsStore::configDir() {
  if (const char* dir = std::getenv("PELORIX_CONFIG_DIR"); dir && *dir) return dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return fs::path(xdg) / "pelorix";
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".config" / "pelorix";
  throw SettingsError("no configuration folder: set PELORIX_CONFIG_DIR or HOME");
}

SettingsStore SettingsStore::user() { return SettingsStore(configDir() / "settings.reg"); }

SettingsTree SettingsStore::load() const {
  std::error_code ec;
  if (!fs::exists(file_, ec) && !ec) return {};
  try {
    return parseSettings(readWholeFile(file_), file_);
  } catch (const FileError& e) {
    throw SettingsError(std::string("settings: ") + e.what());
  }
}

void SettingsStore::update(const std::function<void(SettingsTree&)>& change) {
  ensureFolder(file_.parent_path());
  fs::path lockFile = file_;
  lockFile += ".lock";
  try {
    FileLock lock(lockFile);
    SettingsTree tree = load();
    change(tree);
    // Created owner-only: the store holds the host password.
    writeFileAtomically(file_, serialiseSettings(tree));
  } catch (const FileError& e) {
    throw SettingsError(std::string("settings: ") + e.what());
  }
}

std::optional<std::string> SettingsStore::get(const std::string& key, const std::string& name) const {
  SettingsTree tree = load();
  auto k = tree.find(normaliseKey(key));
  if (k == tree.end()) return std::nullopt;
  auto v = k->second.find(name);
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

std::string SettingsStore::get(const std::string& key, const std::string& name, const std::string& fallback) const {
  return get(key, name).value_or(fallback);
}

void SettingsStore::set(const std::string& key, const std::string& name, const std::string& value) {
  std::string k = normaliseKey(key);
  if (k.empty()) throw SettingsError("a settings value needs a key");
  update([&](SettingsTree& tree) {
    SettingsValues& values = tree[k];
    // Keep the spelling the value was first stored with.
    auto found = values.find(name);
    if (found != values.end())
      found->second = value;
    else
      values.emplace(name, value);
  });
}

void SettingsStore::removeValue(const std::string& key, const std::string& name) {
  std::string k = normaliseKey(key);
  update([&](SettingsTree& tree) {
    if (auto found = tree.find(k); found != tree.end()) found->second.erase(name);
  });
}

void SettingsStore::removeKey(const std::string& key) {
  std::string k = normaliseKey(key);
  std::string prefix = k + "\\";
  update([&](SettingsTree& tree) {
    for (auto it = tree.begin(); it != tree.end();) {
      bool below = it->first.size() > prefix.size() && namesEqual(it->first.substr(0, prefix.size()), prefix);
      it = (namesEqual(it->first, k) || below) ? tree.erase(it) : std::next(it);
    }
  });
}

SettingsValues SettingsStore::values(const std::string& key) const {
  SettingsTree tree = load();
  auto found = tree.find(normaliseKey(key));
  return found == tree.end() ? SettingsValues{} : found->second;
}

std::vector<std::string> SettingsStore::subkeys(const std::string& key) const {
  std::string prefix = normaliseKey(key);
  if (!prefix.empty()) prefix += "\\";
  std::set<std::string, NoCaseLess> names;
  for (const auto& [path, values] : load()) {
    if (path.size() <= prefix.size() || !namesEqual(path.substr(0, prefix.size()), prefix)) continue;
    std::string rest = path.substr(prefix.size());
    std::string name = rest.substr(0, rest.find('\\'));
    names.insert(name);
  }
  return {names.begin(), names.end()};
}

}  // namespace pelorix::desktop
