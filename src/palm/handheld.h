#pragma once
// A handheld: a folder holding one Palm database file, <Name>.pdb, per
// database, and the small state file that tells which desktop it last
// synchronised with.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "palm/pdb_database.h"

namespace pelorix::palm {

class Handheld {
 public:
  // std::runtime_error when the folder does not exist.
  explicit Handheld(std::filesystem::path folder);

  const std::filesystem::path& folder() const { return folder_; }

  // The file of a database; std::invalid_argument for a name that is not a
  // plain Palm database name (path separators, "..", too long).
  std::filesystem::path fileOf(const std::string& name) const;
  bool has(const std::string& name) const;
  // PdbFormatError naming the file when it is corrupt or cannot be read.
  PdbDatabase read(const std::string& name) const;
  // Atomic: the old file stays whole until the new one is in place.
  void write(const std::string& name, const PdbDatabase& db) const;
  // Names of the databases in the folder, from their file names.
  std::vector<std::string> databases() const;

  // key=value lines of the handheld's own HotSync state.
  std::map<std::string, std::string> state() const;
  void setState(const std::map<std::string, std::string>& state) const;

  std::filesystem::path lockFile() const { return folder_ / ".hotsync.lock"; }

 private:
  std::filesystem::path folder_;
};

// A new, empty record database as Palm OS creates one.
PdbDatabase newDatabase(const std::string& palmName, std::uint32_t creator, std::uint32_t type);

}  // namespace pelorix::palm
