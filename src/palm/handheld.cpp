#include "palm/handheld.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "desktop/atomic_file.h"
#include "palm/app_info.h"
#include "palm/palm_text.h"

namespace pelorix::palm {

namespace fs = std::filesystem;

namespace {
constexpr const char* kStateFile = "HotSync.state";
const fs::perms kFileMode =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
}  // namespace

Handheld::Handheld(fs::path folder) : folder_(std::move(folder)) {
  std::error_code ec;
  if (!fs::is_directory(folder_, ec))
    throw std::runtime_error("handheld folder " + folder_.string() + " does not exist");
}

fs::path Handheld::fileOf(const std::string& name) const {
  bool plain = !name.empty() && toPalmText(name).size() <= 31 && name != "." && name != ".." &&
               name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos &&
               name.front() != '.';
  if (!plain) throw std::invalid_argument("\"" + name + "\" is not a Palm database name");
  return folder_ / (name + ".pdb");
}

bool Handheld::has(const std::string& name) const {
  std::error_code ec;
  return fs::is_regular_file(fileOf(name), ec);
}

PdbDatabase Handheld::read(const std::string& name) const {
  fs::path file = fileOf(name);
  std::string bytes;
  try {
    bytes = desktop::readWholeFile(file);
  } catch (const desktop::FileError& e) {
    throw PdbFormatError(e.what());
  }
  auto data = std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return PdbDatabase::parse(data, file.string());
}

void Handheld::checkWritable(const std::string& name) const {
  std::error_code ec;
  fs::file_status status = fs::status(fileOf(name), ec);
  if (ec || !fs::exists(status)) return;
  if ((status.permissions() & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) ==
      fs::perms::none)
    throw PdbFormatError(fileOf(name).string() + " is read-only; make it writable to synchronise it");
}

void Handheld::write(const std::string& name, const PdbDatabase& db) const {
  std::vector<std::uint8_t> bytes = db.serialize();
  checkWritable(name);
  fs::path file = fileOf(name);
  std::error_code ec;
  // Replacing a link by a file would part it from what it points to.
  if (fs::is_symlink(file, ec)) file = fs::weakly_canonical(file);
  desktop::writeFileAtomically(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                               kFileMode);
}

std::vector<std::string> Handheld::databases() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_))
    if (entry.is_regular_file() && entry.path().extension() == ".pdb") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

fs::path pendingFile(const fs::path& folder, const std::string& name) { return folder / ("." + name + ".newids"); }

// Host keys may hold any byte but the marks; a line must hold one key.
std::string escapeKey(const std::string& key) {
  std::string out;
  for (unsigned char c : key) {
    if (c < 0x20 || c == '%' || c == 0x7F) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string unescapeKey(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

Handheld::Pending Handheld::pending(const std::string& name) const {
  fs::path file = pendingFile(folder_, name);
  std::error_code ec;
  Pending pending;
  if (!fs::exists(file, ec)) return pending;
  std::istringstream in(desktop::readWholeFile(file));
  for (std::string line; std::getline(in, line);) {
    size_t tab = line.find('\t');
    if (line.starts_with('#') || tab == std::string::npos) continue;
    unsigned long value = std::strtoul(line.c_str() + (line.starts_with("seed\t") ? 5 : 0), nullptr, 10);
    if (value == 0 || value > kMaxUniqueId + 1)
      throw PdbFormatError(file.string() + ": not a record id: " + line.substr(0, tab));
    if (line.starts_with("seed\t"))
      pending.seed = static_cast<std::uint32_t>(value);
    else
      pending.ids.emplace_back(unescapeKey(line.substr(tab + 1)), static_cast<std::uint32_t>(value));
  }
  return pending;
}

void Handheld::setPending(const std::string& name, const Pending& pending) const {
  fs::path file = pendingFile(folder_, name);
  if (pending.ids.empty() && pending.seed == 0) {
    std::error_code ec;
    if (!fs::exists(file, ec)) return;
    desktop::crashPoint();
    if (!fs::remove(file, ec) && ec) throw desktop::FileError("cannot remove " + file.string() + ": " + ec.message());
    return;
  }
  std::string text = "# Pelorix: ids of new host records that the host has not confirmed yet\n";
  if (pending.seed) text += "seed\t" + std::to_string(pending.seed) + "\n";
  for (const auto& [key, id] : pending.ids) text += std::to_string(id) + "\t" + escapeKey(key) + "\n";
  desktop::writeFileAtomically(file, text, kFileMode);
}

void Handheld::removeLeftovers() const {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    std::string name = entry.path().filename().string();
    // writeFileAtomically's temporaries: ".<file>.tmp-XXXXXX"
    size_t tmp = name.rfind(".tmp-");
    if (name.starts_with('.') && tmp != std::string::npos && name.size() == tmp + 11 && entry.is_regular_file(ec))
      fs::remove(entry.path(), ec);
  }
}

std::map<std::string, std::string> Handheld::state() const {
  std::map<std::string, std::string> state;
  std::error_code ec;
  if (!fs::exists(folder_ / kStateFile, ec)) return state;
  std::istringstream in(desktop::readWholeFile(folder_ / kStateFile));
  for (std::string line; std::getline(in, line);) {
    size_t eq = line.find('=');
    if (eq != std::string::npos && !line.starts_with('#')) state[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return state;
}

void Handheld::setState(const std::map<std::string, std::string>& state) const {
  std::string text = "# Pelorix HotSync state of this handheld\n";
  for (const auto& [key, value] : state) text.append(key).append("=").append(value).append("\n");
  desktop::writeFileAtomically(folder_ / kStateFile, text, kFileMode);
}

PdbDatabase newDatabase(const std::string& palmName, std::uint32_t creator, std::uint32_t type) {
  PdbDatabase db;
  db.setName(palmName);
  db.header.attributes = 0x0008;  // backup bit, as the built-in applications set it
  db.header.creationDate = db.header.modificationDate = palmNow();
  db.header.creator = creator;
  db.header.type = type;
  // As the application itself creates it, so that other Palm tools read it.
  db.appInfo = applicationAppInfo(creator);
  return db;
}

}  // namespace pelorix::palm
