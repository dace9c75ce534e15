#include "palm/handheld.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "com/atomic_file.h"
#include "palm/category_info.h"
#include "palm/palm_text.h"

namespace pelorix::palm {

namespace fs = std::filesystem;

namespace {
constexpr const char* kStateFile = "HotSync.state";
const fs::perms kFileMode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read;
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
    bytes = com::readWholeFile(file);
  } catch (const com::FileError& e) {
    throw PdbFormatError(e.what());
  }
  auto data = std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return PdbDatabase::parse(data, file.string());
}

void Handheld::write(const std::string& name, const PdbDatabase& db) const {
  std::vector<std::uint8_t> bytes = db.serialize();
  com::writeFileAtomically(fileOf(name),
                           std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                           kFileMode);
}

std::vector<std::string> Handheld::databases() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_))
    if (entry.is_regular_file() && entry.path().extension() == ".pdb")
      names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> Handheld::state() const {
  std::map<std::string, std::string> state;
  std::error_code ec;
  if (!fs::exists(folder_ / kStateFile, ec)) return state;
  std::istringstream in(com::readWholeFile(folder_ / kStateFile));
  for (std::string line; std::getline(in, line);) {
    size_t eq = line.find('=');
    if (eq != std::string::npos && !line.starts_with('#')) state[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return state;
}

void Handheld::setState(const std::map<std::string, std::string>& state) const {
  std::string text = "# Pelorix HotSync state of this handheld\n";
  for (const auto& [key, value] : state) text += key + "=" + value + "\n";
  com::writeFileAtomically(folder_ / kStateFile, text, kFileMode);
}

PdbDatabase newDatabase(const std::string& palmName, std::uint32_t creator, std::uint32_t type) {
  PdbDatabase db;
  db.setName(palmName);
  db.header.attributes = 0x0008;  // backup bit, as the built-in applications set it
  db.header.creationDate = db.header.modificationDate = palmNow();
  db.header.creator = creator;
  db.header.type = type;
  db.appInfo = CategoryInfo::defaultBlock();
  return db;
}

}  // namespace pelorix::palm
