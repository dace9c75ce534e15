#pragma once
// A MultiValue account on disk: a folder whose sub-folders are its files and
// whose files' entries are items, one file per item, named by the item id.
// Ids that are not safe file names are escaped reversibly. A set of changes
// reaches the disk all or none, also when the process is killed or the disk
// fills up on the way (see account.cpp for how).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelorix::mv {

class AccountError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Letters, digits, "-", "_" and "." stay as they are (a leading "." and the
// "%" escape itself excepted); every other byte becomes %XX.
std::string escapeName(const std::string& name);
// std::invalid_argument for a name that escapeName never makes.
std::string unescapeName(const std::string& fileName);

// Hidden files of the account folder that its commits use.
inline constexpr const char* kJournalName = ".commit-journal";
inline constexpr const char* kCommitLockName = ".commit-lock";
inline constexpr const char* kRecordLocksName = ".record-locks";

// A file's dictionary is the account file of its name and ".DIC".
inline std::string dictionaryOf(const std::string& file) { return file + ".DIC"; }

// What a dictionary item says of a field: its type letter in capitals (0 when
// it has none), the field number in attribute 2 (-1 when that is not a
// number), and its conversion (attribute 3 of a D item, 7 of an A item).
struct DictionaryField {
  char type = 0;
  double number = -1;
  std::string conversion;
};
DictionaryField dictionaryField(const std::string& item);

// A file of an item being written, beside it: ".<item>.tmp-<letters>".
bool isTemporaryName(const std::string& fileName);

// One change of a commit; no item: the item is deleted.
struct ItemChange {
  std::string file;
  std::string id;
  std::optional<std::string> item;
};

class Account {
 public:
  // AccountError when the folder does not exist.
  explicit Account(std::filesystem::path folder);
  const std::filesystem::path& folder() const { return folder_; }

  // AccountError for an id that cannot name an item (empty, too long).
  static void checkItemId(const std::string& id);

  bool hasFile(const std::string& file) const;
  void createFile(const std::string& file);
  std::vector<std::string> files() const;

  // nullopt when the item does not exist; AccountError when the file does not.
  std::optional<std::string> read(const std::string& file, const std::string& id) const;
  // Atomic: a reader sees the old item or the new one, never a part.
  void write(const std::string& file, const std::string& id, const std::string& item);
  // False when there was no such item.
  bool remove(const std::string& file, const std::string& id);
  // The item ids of a file, sorted.
  std::vector<std::string> items(const std::string& file) const;

  // All of the changes or none, in one commit with the other processes'
  // commits to this account. AccountError, the account unchanged, when one
  // cannot be made (no such file, a full disk).
  void commit(const std::vector<ItemChange>& changes);
  // What an opened account needs: a commit a killed process left is
  // finished (or, before its point of no return, undone), and temporaries
  // of interrupted writes are removed. AccountError for a damaged journal.
  void recover();
  // Finishes a commit a killed process left, if any; costs one stat when
  // there is none. For the start of a call and after taking a record lock.
  void settle();
  // The file whose byte ranges lock items; see AccountSession.
  std::filesystem::path recordLocksFile() const { return folder_ / kRecordLocksName; }

  // Tells whether an item changed without reading it: equal stamps, same
  // item (a write replaces the item's file, so its inode changes too).
  struct Stamp {
    std::uint64_t inode = 0, size = 0;
    std::int64_t modified = 0;  // nanoseconds
    bool operator==(const Stamp&) const = default;
  };
  // nullopt when the item does not exist.
  std::optional<Stamp> stamp(const std::string& file, const std::string& id) const;

 private:
  class CommitLock;
  void replayJournal();
  std::filesystem::path fileFolder(const std::string& file) const;
  std::filesystem::path itemPath(const std::string& file, const std::string& id) const;

  std::filesystem::path folder_;
};

}  // namespace pelorix::mv
