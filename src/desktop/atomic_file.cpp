#include "desktop/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace pelorix::desktop {

namespace fs = std::filesystem;

namespace {
[[noreturn]] void failure(const std::string& what, const fs::path& path) {
  throw FileError(what + " " + path.string() + ": " + std::strerror(errno));
}
}  // namespace

void crashPoint() {
  static const long target = [] {
    const char* at = std::getenv("PELORIX_CRASH_AT");
    return at ? std::atol(at) : 0L;
  }();
  static long reached = 0;
  if (target > 0 && ++reached == target) ::raise(SIGKILL);
}

void writeFileAtomically(const fs::path& file, std::string_view data, fs::perms mode) {
  struct stat existing {};
  mode_t permissions = static_cast<mode_t>(mode);
  if (::stat(file.c_str(), &existing) == 0) permissions = existing.st_mode & 07777;

  // Hidden, so that a folder listing never takes it for a finished file.
  std::string temp = (file.parent_path() / ("." + file.filename().string() + ".tmp-XXXXXX")).string();
  int fd = ::mkstemp(temp.data());
  if (fd < 0) failure("cannot create", temp);
  auto abandon = [&](const char* what) {
    int saved = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    errno = saved;
    failure(what, file);
  };
  crashPoint();
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) abandon("cannot write");
    done += static_cast<size_t>(n);
  }
  if (::fchmod(fd, permissions) != 0) abandon("cannot set permissions of");
  crashPoint();
  if (::fsync(fd) != 0) abandon("cannot flush");
  ::close(fd);
  crashPoint();
  if (::rename(temp.c_str(), file.c_str()) != 0) {
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    failure("cannot replace", file);
  }
  crashPoint();
  fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  if (int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

std::string readWholeFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) failure("cannot read", file);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) failure("cannot read", file);
  return text.str();
}

FileLock::FileLock(const fs::path& file, bool wait) {
  fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) failure("cannot lock", file);
  while (::flock(fd_, wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    int saved = errno;
    ::close(fd_);
    errno = saved;
    if (saved == EWOULDBLOCK) throw FileError(file.parent_path().string() + " is in use by another HotSync");
    failure("cannot lock", file);
  }
}

FileLock::~FileLock() { ::close(fd_); }

}  // namespace pelorix::desktop
