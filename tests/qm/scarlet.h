#pragma once
// A QM server (ScarletDME) on this machine for the tests that need one:
// whether it is there, QM accounts made from embedded accounts by
// scripts/host-to-qm, a socat listener for network connections, a Linux user
// for network logins, and a proxy that cuts a connection at a chosen call.

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace pelorix::test::scarlet {

// Bytes as a line of text: marks as ^ ] \\, other bytes outside ASCII as {XX}.
std::string readable(std::string_view bytes);

// Why no QM server can be used here, or nothing when one can.
std::optional<std::string> unavailable();
// Why no network connection can be tested here, or nothing.
std::optional<std::string> networkUnavailable();

#define PELORIX_NEEDS_SCARLETDME() \
  if (auto why_ = ::pelorix::test::scarlet::unavailable()) GTEST_SKIP() << *why_
#define PELORIX_NEEDS_QM_NETWORK() \
  if (auto why_ = ::pelorix::test::scarlet::networkUnavailable()) GTEST_SKIP() << *why_

struct Output {
  int status = -1;
  std::string text;  // standard output and error
};
Output run(const std::vector<std::string>& argv, const std::string& input = {});

class QmAccount {
 public:
  // A fresh account holding a copy of an embedded account folder; a program
  // that does not compile fails it unless `tolerant`.
  explicit QmAccount(const std::filesystem::path& source, bool tolerant = false);
  ~QmAccount();
  const std::string& name() const { return name_; }
  const std::filesystem::path& folder() const { return folder_; }
  // Copies more files and programs in (and compiles and catalogues them).
  void load(const std::filesystem::path& source) const;

 private:
  TempDir dir_;
  std::string name_;
  std::filesystem::path folder_;
};

// socat on 127.0.0.1 starting a QMClient server process per connection.
class Listener {
 public:
  Listener();
  ~Listener();
  std::string hostName() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

struct NetworkUser {
  std::string name;
  std::string password;
};
// A Linux user of the group qmusers for network logins, with a password kept
// in a root-only file; made when missing. Needs root.
const NetworkUser& networkUser();

// Relays connections to a listener and cuts the connection, once, right after
// passing on the n-th call (counted over all its connections).
class CuttingProxy {
 public:
  CuttingProxy(std::string target, int cutAtCall);
  ~CuttingProxy();
  std::string hostName() const { return "127.0.0.1:" + std::to_string(port_); }
  int callsSeen() const { return calls_; }
  bool cut() const { return cut_; }

 private:
  void serve();
  void relay(int client);

  std::string target_;
  int cutAt_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<int> calls_{0};
  std::atomic<bool> cut_{false}, stop_{false};
  std::thread thread_;
};

// The pid of this process's child running the local QM process, or -1.
pid_t localQmChild();

}  // namespace pelorix::test::scarlet
