#pragma once
// A MultiValue account on disk: a folder whose sub-folders are its files and
// whose files' entries are items, one file per item, named by the item id.
// Ids that are not safe file names are escaped reversibly.

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

 private:
  std::filesystem::path fileFolder(const std::string& file) const;
  std::filesystem::path itemPath(const std::string& file, const std::string& id) const;

  std::filesystem::path folder_;
};

}  // namespace pelorix::mv
