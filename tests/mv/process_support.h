#pragma once
// Other processes for the tests of commits and locks: `pelorix mv` run as a
// child (killed at a chosen crash point or at any moment), forked helpers,
// and what an account holds on disk.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "desktop/atomic_file.h"
#include "mv/account.h"

extern char** environ;

namespace pelorix::mv::proc {

namespace fs = std::filesystem;

struct Ended {
  bool killed = false;  // by SIGKILL
  int exitCode = -1;
};

inline Ended waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) return {WTERMSIG(status) == SIGKILL, -1};
  return {false, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// `pelorix mv <args>`, quiet; with crashAt > 0 it kills itself at that crash point.
inline pid_t startPelorix(const std::vector<std::string>& args, long crashAt = 0) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "PELORIX_CRASH_AT=", 17) != 0) env.emplace_back(*e);
  if (crashAt > 0) env.push_back("PELORIX_CRASH_AT=" + std::to_string(crashAt));
  std::vector<std::string> argv{(fs::path(PELORIX_BIN_DIR) / "pelorix").string(), "mv"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto pointers = [](std::vector<std::string>& v) {
    std::vector<char*> p;
    for (auto& s : v) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
  };
  auto argp = pointers(argv);
  auto envp = pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int error = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error(std::string("cannot start pelorix: ") + std::strerror(error));
  return pid;
}

inline Ended runPelorix(const std::vector<std::string>& args, long crashAt = 0) {
  return waitFor(startPelorix(args, crashAt));
}

// Runs `body` in a forked child that ends with its result as exit code
// (an exception: 100), without running the test framework's exit handlers.
inline pid_t forkChild(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int code = 100;
    try {
      code = body();
    } catch (...) {
    }
    ::_exit(code);
  }
  return pid;
}

// Every item of every file, "FILE/ID" -> content.
inline std::map<std::string, std::string> items(const fs::path& account) {
  std::map<std::string, std::string> all;
  Account a(account);
  for (const std::string& file : a.files())
    for (const std::string& id : a.items(file)) all[file + "/" + id] = a.read(file, id).value_or("?");
  return all;
}

// What an interrupted commit may leave: its journal and temporaries.
inline std::vector<std::string> leftovers(const fs::path& account) {
  std::vector<std::string> found;
  if (fs::exists(fs::symlink_status(account / kJournalName))) found.push_back(kJournalName);
  for (const auto& folder : fs::directory_iterator(account)) {
    if (!folder.is_directory()) continue;
    for (const auto& entry : fs::directory_iterator(folder.path()))
      if (isTemporaryName(entry.path().filename().string()))
        found.push_back(folder.path().filename().string() + "/" + entry.path().filename().string());
  }
  return found;
}

inline void copyAccount(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::copy(from, to, fs::copy_options::recursive);
}

// Waits, within a generous bound, until `done` holds; false if it never did.
inline bool eventually(const std::function<bool()>& done) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The process waits in the kernel for a file lock (flock) another holds.
inline bool blockedOnFileLock(pid_t pid) {
  std::ifstream locks("/proc/locks");
  std::string line;
  std::string mark = " " + std::to_string(pid) + " ";
  while (std::getline(locks, line))
    if (line.find("->") != std::string::npos && line.find(mark) != std::string::npos) return true;
  return false;
}

}  // namespace pelorix::mv::proc
