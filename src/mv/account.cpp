#include "mv/account.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

#include "base/ascii_case.h"
#include "desktop/atomic_file.h"
#include "mv/basic_value.h"
#include "mv/dynamic_array.h"

namespace pelorix::mv {

namespace fs = std::filesystem;

namespace {

bool plain(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
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
  checkItemId(id);
  checkName(file, "file name");
  // One open, one fstat and one read: a HotSync reads every item of a file.
  std::string path = folder_.native() + '/' + escapeName(file) + '/' + escapeName(id);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    if (error != ENOENT && error != ENOTDIR) throw AccountError("cannot read " + path + ": " + std::strerror(error));
    if (!hasFile(file)) throw AccountError("the account has no file " + file);
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  // One byte more than the size, so that the end shows without a second buffer.
  std::string item(static_cast<size_t>(st.st_size) + 1, '\0');
  size_t done = 0;
  for (;;) {
    if (done == item.size()) item.resize(item.size() * 2);  // it grew since the fstat
    ssize_t n = ::read(fd, item.data() + done, item.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::close(fd);
      throw AccountError("cannot read " + path + ": " + std::strerror(error));
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  item.resize(done);
  return item;
}

std::optional<Account::Stamp> Account::stamp(const std::string& file, const std::string& id) const {
  checkItemId(id);
  checkName(file, "file name");
  std::string path = folder_.native() + '/' + escapeName(file) + '/' + escapeName(id);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return Stamp{static_cast<std::uint64_t>(st.st_ino), static_cast<std::uint64_t>(st.st_size),
               static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

void Account::write(const std::string& file, const std::string& id, const std::string& item) {
  commit({{file, id, item}});
}

bool Account::remove(const std::string& file, const std::string& id) {
  std::error_code ec;
  if (!fs::is_regular_file(itemPath(file, id), ec)) return false;
  commit({{file, id, std::nullopt}});
  return true;
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

// ---- commits ----
//
// New items go to temporaries beside them, made durable together; then a
// journal of what becomes what is made durable: the point of no return.
// Then the renames and removals, which a replay can safely repeat. The
// journal's list of temporaries is written first, so that a crash before
// the point leaves nothing unlisted. Commits hold a lock file: whoever holds
// it knows that a journal or temporary it finds belongs to no live commit.

namespace {

constexpr const char* kJournalHeader = "pelorix journal 1";
constexpr size_t kSyncBatch = 64;  // temporaries open at once

[[noreturn]] void ioFailure(const std::string& what, const fs::path& path, int error) {
  throw AccountError(what + " " + path.string() + ": " + std::strerror(error));
}

// FNV-1a: tells a journal cut short by a crash from a whole one.
std::uint64_t checksum(std::string_view text) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ULL;
  return h;
}

std::string hex64(std::uint64_t v) {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(v));
  return buffer;
}

bool isEscapedName(const std::string& name) {
  if (name.empty() || name.size() > kLongestName) return false;
  try {
    unescapeName(name);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

void writeAll(int fd, std::string_view data, const fs::path& path) {
  desktop::crashPoint();
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ioFailure("cannot write", path, errno);
    done += static_cast<size_t>(n);
  }
}

void syncData(int fd, const fs::path& path) {
  desktop::crashPoint();
  if (::fdatasync(fd) != 0) ioFailure("cannot flush", path, errno);
}

void syncFolder(const fs::path& folder) {
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) ioFailure("cannot open", folder, errno);
  desktop::crashPoint();
  if (::fsync(fd.get()) != 0) ioFailure("cannot flush", folder, errno);
}

// False when there was nothing to remove.
bool removeFile(const fs::path& path) {
  desktop::crashPoint();
  if (::unlink(path.c_str()) == 0) return true;
  if (errno != ENOENT) ioFailure("cannot remove", path, errno);
  return false;
}

std::string randomLetters(size_t count) {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[32];
  size_t got = 0;
  while (got < count) {
    ssize_t n = ::getrandom(bytes + got, count - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw AccountError(std::string("no random numbers for a temporary file: ") + std::strerror(errno));
    got += static_cast<size_t>(n);
  }
  std::string out;
  for (size_t i = 0; i < count; ++i) out += kLetters[bytes[i] % (sizeof kLetters - 1)];
  return out;
}

// Names of at most 255 bytes: a long item name is cut, the journal knows it whole.
std::string temporaryFor(const std::string& itemName) {
  return "." + itemName.substr(0, 200) + ".tmp-" + randomLetters(12);
}

// One line of a journal; names as they are in the folders.
struct JournalEntry {
  std::string folder;
  std::string temp;  // empty: the item is deleted
  std::string item;
};

std::string journalLine(const JournalEntry& e) {
  return e.temp.empty() ? "D " + e.folder + " " + e.item + "\n" : "W " + e.folder + " " + e.temp + " " + e.item + "\n";
}

std::optional<JournalEntry> parseJournalLine(const std::string& line) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= line.size()) {
    size_t space = line.find(' ', start);
    if (space == std::string::npos) space = line.size();
    words.push_back(line.substr(start, space - start));
    start = space + 1;
  }
  JournalEntry e;
  if (words.size() == 4 && words[0] == "W")
    e = {words[1], words[2], words[3]};
  else if (words.size() == 3 && words[0] == "D")
    e = {words[1], "", words[2]};
  else
    return std::nullopt;
  // The journal names paths to rename and remove: nothing outside the file folders.
  if (!isEscapedName(e.folder) || !isEscapedName(e.item)) return std::nullopt;
  if (words[0] == "W" && !isTemporaryName(e.temp)) return std::nullopt;
  return e;
}

struct Journal {
  bool committed = false;
  bool damaged = false;
  std::vector<JournalEntry> entries;
};

Journal parseJournal(const std::string& text) {
  Journal j;
  std::vector<std::pair<size_t, std::string>> lines;  // offset, line; a last line without its end is torn
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.emplace_back(start, text.substr(start, end - start));
  if (!lines.empty()) {
    const auto& [offset, last] = lines.back();
    j.committed =
        last.rfind("commit ", 0) == 0 && last.substr(7) == hex64(checksum(std::string_view(text).substr(0, offset)));
    if (j.committed) lines.pop_back();
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i == 0 && lines[i].second == kJournalHeader) continue;
    auto entry = i == 0 ? std::nullopt : parseJournalLine(lines[i].second);
    if (entry)
      j.entries.push_back(*entry);
    else if (j.committed)
      j.damaged = true;
  }
  return j;
}

}  // namespace

bool isTemporaryName(const std::string& name) {
  if (name.size() > kLongestName || name.size() < 2 || name[0] != '.') return false;
  if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) return false;
  size_t mark = name.rfind(".tmp-");
  if (mark == std::string::npos || mark == 0) return false;
  std::string suffix = name.substr(mark + 5);
  return suffix.size() >= 6 &&
         std::all_of(suffix.begin(), suffix.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

class Account::CommitLock {
 public:
  explicit CommitLock(const fs::path& folder) {
    fs::path file = folder / kCommitLockName;
    fd_ = Descriptor(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd_.get() < 0) ioFailure("cannot lock", file, errno);
    while (::flock(fd_.get(), LOCK_EX) != 0)
      if (errno != EINTR) ioFailure("cannot lock", file, errno);
  }

 private:
  Descriptor fd_;
};

namespace {

// Puts a committed journal's changes in place and retires the journal.
// Each step may already have been done by an earlier, interrupted run.
void applyJournal(const fs::path& account, const std::vector<JournalEntry>& entries) {
  std::set<fs::path> folders;
  for (const JournalEntry& e : entries) {
    fs::path folder = account / e.folder;
    folders.insert(folder);
    if (e.temp.empty()) {
      removeFile(folder / e.item);
      continue;
    }
    desktop::crashPoint();
    if (::rename((folder / e.temp).c_str(), (folder / e.item).c_str()) != 0 && errno != ENOENT)
      ioFailure("cannot put in place", folder / e.item, errno);
  }
  for (const fs::path& folder : folders) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) syncFolder(folder);
  }
  removeFile(account / kJournalName);
  // Else a journal that comes back after a power cut would delete again
  // items that later commits wrote.
  syncFolder(account);
}

}  // namespace

void Account::replayJournal() {
  fs::path path = folder_ / kJournalName;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return;
  if (!S_ISREG(st.st_mode)) throw AccountError("the commit journal " + path.string() + " is not a file");
  std::string text;
  try {
    text = desktop::readWholeFile(path);
  } catch (const desktop::FileError& e) {
    throw AccountError(e.what());
  }
  Journal journal = parseJournal(text);
  if (journal.damaged)
    throw AccountError("the commit journal " + path.string() +
                       " is damaged; the account is left as it is for someone to look at");
  if (journal.committed) {
    applyJournal(folder_, journal.entries);
    return;
  }
  for (const JournalEntry& e : journal.entries)
    if (!e.temp.empty()) removeFile(folder_ / e.folder / e.temp);
  removeFile(path);
}

void Account::settle() {
  struct stat st {};
  if (::lstat((folder_ / kJournalName).c_str(), &st) != 0) return;
  CommitLock lock(folder_);
  replayJournal();
}

void Account::recover() {
  // Every opening reads every file folder, so it reads plain names: only
  // hidden ones can be temporaries.
  auto temporaries = [this] {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& folder : fs::directory_iterator(folder_, ec)) {
      if (!folder.is_directory(ec) || !isEscapedName(folder.path().filename().string())) continue;
      DIR* dir = ::opendir(folder.path().c_str());
      if (!dir) continue;
      while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] == '.' && isTemporaryName(entry->d_name)) found.push_back(folder.path() / entry->d_name);
      ::closedir(dir);
    }
    return found;
  };
  std::error_code ec;
  // Looked at without the lock first, so that a read-only account that needs nothing opens.
  if (!fs::exists(fs::symlink_status(folder_ / kJournalName, ec)) && temporaries().empty()) return;
  CommitLock lock(folder_);
  replayJournal();
  for (const fs::path& temp : temporaries()) removeFile(temp);
}

void Account::commit(const std::vector<ItemChange>& changes) {
  if (changes.empty()) return;
  struct Planned {
    fs::path folder;
    JournalEntry entry;
    const std::string* item;  // null: deleted
  };
  CommitLock lock(folder_);
  replayJournal();

  std::vector<Planned> plan;
  for (const ItemChange& change : changes) {
    fs::path path = itemPath(change.file, change.id);
    // Writing what the item holds already, or deleting an item that is not
    // there, changes nothing and costs no temporary, rename or flush: a
    // subroutine that writes back every item it read stays cheap. Compared
    // under the commit lock, so no other commit comes between.
    if (read(change.file, change.id) == change.item) continue;
    Planned p{path.parent_path(),
              {path.parent_path().filename().string(), "", path.filename().string()},
              change.item ? &*change.item : nullptr};
    if (p.item) p.entry.temp = temporaryFor(p.entry.item);
    plan.push_back(std::move(p));
  }
  if (plan.empty()) return;
  std::set<fs::path> folders;
  for (const Planned& p : plan) folders.insert(p.folder);

  // A lone deletion needs neither temporaries nor a journal.
  if (plan.size() == 1 && !plan[0].item) {
    removeFile(plan[0].folder / plan[0].entry.item);
    syncFolder(plan[0].folder);
    return;
  }

  fs::path journalPath = folder_ / kJournalName;
  std::string journal = std::string(kJournalHeader) + "\n";
  for (const Planned& p : plan) journal += journalLine(p.entry);
  Descriptor journalFd;
  std::vector<const Planned*> created;
  bool marked = false;
  // Before the point of no return: undone, the account as it was. The
  // journal stops being a commit before any temporary it names goes.
  auto undo = [&] {
    if (marked) {
      desktop::crashPoint();
      if (::ftruncate(journalFd.get(), static_cast<off_t>(journal.size())) != 0) {
        journalFd.reset();
        ::unlink(journalPath.c_str());
      }
    }
    for (const Planned* p : created) {
      desktop::crashPoint();
      ::unlink((p->folder / p->entry.temp).c_str());
    }
    if (journalFd.get() >= 0) {
      journalFd.reset();
      desktop::crashPoint();
      ::unlink(journalPath.c_str());
    }
  };
  try {
    // Names first, so that a crash while they are written leaves none unlisted.
    journalFd = Descriptor(::open(journalPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (journalFd.get() < 0) ioFailure("cannot create", journalPath, errno);
    writeAll(journalFd.get(), journal, journalPath);

    // One wait for the disk per batch: writeback of a batch starts before the first flush.
    std::vector<std::pair<Descriptor, const Planned*>> open;
    auto flushOpen = [&] {
      for (auto& [fd, p] : open) syncData(fd.get(), p->folder / p->entry.temp);
      open.clear();
    };
    for (const Planned& p : plan) {
      if (!p.item) continue;
      fs::path temp = p.folder / p.entry.temp;
      struct stat existing {};
      mode_t mode = ::stat((p.folder / p.entry.item).c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0600;
      Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
      if (fd.get() < 0) {
        if (errno == ENOENT) throw AccountError("the account has no file " + unescapeName(p.entry.folder));
        ioFailure("cannot create", temp, errno);
      }
      created.push_back(&p);
      writeAll(fd.get(), *p.item, temp);
      if (::fchmod(fd.get(), mode) != 0) ioFailure("cannot set permissions of", temp, errno);
      ::sync_file_range(fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
      open.emplace_back(std::move(fd), &p);
      if (open.size() == kSyncBatch) flushOpen();
    }
    flushOpen();

    if (plan.size() == 1) {
      // One item: its rename is atomic, no journal needed to decide it.
      const Planned& p = plan[0];
      desktop::crashPoint();
      if (::rename((p.folder / p.entry.temp).c_str(), (p.folder / p.entry.item).c_str()) != 0)
        ioFailure("cannot put in place", p.folder / p.entry.item, errno);
      created.clear();
    } else {
      for (const fs::path& folder : folders) syncFolder(folder);
      std::string mark = "commit " + hex64(checksum(journal)) + "\n";
      marked = true;
      writeAll(journalFd.get(), mark, journalPath);
      syncData(journalFd.get(), journalPath);
      syncFolder(folder_);
    }
  } catch (...) {
    undo();
    throw;
  }
  journalFd.reset();

  if (plan.size() == 1) {
    syncFolder(plan[0].folder);
    removeFile(journalPath);
    return;
  }
  std::vector<JournalEntry> entries;
  entries.reserve(plan.size());
  for (const Planned& p : plan) entries.push_back(p.entry);
  try {
    applyJournal(folder_, entries);
  } catch (const AccountError& e) {
    throw AccountError(std::string("the changes are saved and are put in place when the account is next used: ") +
                       e.what());
  }
}

DictionaryField dictionaryField(const std::string& item) {
  DictionaryField field;
  std::string type = Extract(item, 1);
  if (!type.empty()) field.type = upperAscii(type[0]);
  if (auto n = asStrictNumber(Extract(item, 2))) field.number = *n;
  if (field.type == 'D' || field.type == 'A') field.conversion = Extract(item, field.type == 'D' ? 3 : 7);
  return field;
}

}  // namespace pelorix::mv
