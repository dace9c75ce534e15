#pragma once
// A handheld: a folder holding one Palm database file, <Name>.pdb, per
// database, and the small state file that tells which desktop it last
// synchronised with.

#include <filesystem>
#include <map>
#include <string>
#include <utility>
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
  // Atomic: the old file stays whole until the new one is in place. A
  // database file that is a link is written through to its target.
  void write(const std::string& name, const PdbDatabase& db) const;
  // PdbFormatError when the user made the database's file read-only: it is
  // left alone rather than replaced.
  void checkWritable(const std::string& name) const;
  // Names of the databases in the folder, from their file names.
  std::vector<std::string> databases() const;

  // Kept beside a database: new host records' ids that the host has not
  // confirmed yet, as (host key, handheld id), and the unique-id seed of a
  // HotSync that was rolled back. Nothing to keep removes the file.
  struct Pending {
    std::vector<std::pair<std::string, std::uint32_t>> ids;
    std::uint32_t seed = 0;
  };
  Pending pending(const std::string& name) const;
  void setPending(const std::string& name, const Pending& pending) const;

  // Removes what writes that were cut short left behind; call it while
  // holding the lock.
  void removeLeftovers() const;

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
