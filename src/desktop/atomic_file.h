#pragma once
// Replaces a file so that a reader sees either the old or the new content:
// write a temporary file beside it, flush it, rename it into place.

#include <filesystem>
#include <stdexcept>
#include <string_view>

namespace pelorix::desktop {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `mode` is used for a new file; an existing file keeps its permissions.
void writeFileAtomically(const std::filesystem::path& file, std::string_view data,
                         std::filesystem::perms mode = std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::owner_write);

// A test hook at each point where a file is written, flushed, renamed or
// removed: with PELORIX_CRASH_AT=N in the environment the process kills
// itself (SIGKILL, as kill -9 does) on reaching the N-th such point, so that
// tests can end a run at every one of them in turn.
void crashPoint();

// The whole file; FileError naming it when it cannot be read.
std::string readWholeFile(const std::filesystem::path& file);

// Holds an exclusive advisory lock on `file` (created when missing) while it
// lives, so that two processes never change the same thing at once.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& file, bool wait = true);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace pelorix::desktop
