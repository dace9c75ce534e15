#include "mv/account.h"

#include <algorithm>
#include <cstdio>

#include "com/atomic_file.h"

namespace pelorix::mv {

namespace fs = std::filesystem;

namespace {

bool plain(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.';
}

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// File systems refuse names of more than 255 bytes.
constexpr size_t kLongestName = 255;

void checkName(const std::string& name, const char* what) {
  if (name.empty()) throw AccountError(std::string("an empty ") + what + " is not allowed");
  if (escapeName(name).size() > kLongestName) throw AccountError(std::string("the ") + what + " is too long");
}

}  // namespace

std::string escapeName(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (plain(c) && !(i == 0 && c == '.')) {
      out += static_cast<char>(c);
    } else {
      char buffer[4];
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      out += buffer;
    }
  }
  return out;
}

std::string unescapeName(const std::string& fileName) {
  std::string out;
  for (size_t i = 0; i < fileName.size(); ++i) {
    char c = fileName[i];
    if (c == '%') {
      if (i + 2 >= fileName.size()) throw std::invalid_argument(fileName);
      int high = hex(fileName[i + 1]);
      int low = hex(fileName[i + 2]);
      if (high < 0 || low < 0) throw std::invalid_argument(fileName);
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (plain(static_cast<unsigned char>(c)) && !(i == 0 && c == '.')) {
      out += c;
    } else {
      throw std::invalid_argument(fileName);
    }
  }
  if (escapeName(out) != fileName) throw std::invalid_argument(fileName);
  return out;
}

Account::Account(fs::path folder) : folder_(std::move(folder)) {
  std::error_code ec;
  if (!fs::is_directory(folder_, ec)) throw AccountError("no account at " + folder_.string());
}

void Account::checkItemId(const std::string& id) { checkName(id, "item id"); }

fs::path Account::fileFolder(const std::string& file) const {
  checkName(file, "file name");
  return folder_ / escapeName(file);
}

fs::path Account::itemPath(const std::string& file, const std::string& id) const {
  checkItemId(id);
  fs::path folder = fileFolder(file);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw AccountError("the account has no file " + file);
  return folder / escapeName(id);
}

bool Account::hasFile(const std::string& file) const {
  std::error_code ec;
  return fs::is_directory(fileFolder(file), ec);
}

void Account::createFile(const std::string& file) {
  std::error_code ec;
  fs::create_directories(fileFolder(file), ec);
  if (ec) throw AccountError("cannot create the file " + file + ": " + ec.message());
}

std::vector<std::string> Account::files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    if (!entry.is_directory()) continue;
    try {
      names.push_back(unescapeName(entry.path().filename().string()));
    } catch (const std::invalid_argument&) {
      // not one of ours
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> Account::read(const std::string& file, const std::string& id) const {
  fs::path path = itemPath(file, id);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  try {
    return com::readWholeFile(path);
  } catch (const com::FileError& e) {
    throw AccountError(e.what());
  }
}

void Account::write(const std::string& file, const std::string& id, const std::string& item) {
  try {
    com::writeFileAtomically(itemPath(file, id), item);
  } catch (const com::FileError& e) {
    throw AccountError(e.what());
  }
}

bool Account::remove(const std::string& file, const std::string& id) {
  std::error_code ec;
  return fs::remove(itemPath(file, id), ec);
}

std::vector<std::string> Account::items(const std::string& file) const {
  fs::path folder = fileFolder(file);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw AccountError("the account has no file " + file);
  std::vector<std::string> ids;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    try {
      ids.push_back(unescapeName(entry.path().filename().string()));
    } catch (const std::invalid_argument&) {
      // a temporary file of a write in progress, or not one of ours
    }
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace pelorix::mv
