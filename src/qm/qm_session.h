#pragma once
// One conversation with a QM server process: over TCP with a QMClient
// listener, or over pipes with a qm process started for it on this machine.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "qm/qm_protocol.h"

namespace pelorix::qm {

enum class Failure {
  Unreachable,    // no server answered
  Refused,        // the login was refused
  NoAccount,      // the account could not be entered
  NotCatalogued,  // a subroutine is not catalogued
  Aborted,        // the subroutine ended in a run-time error or ABORT
  Lost,           // the connection dropped or its bytes made no sense
};

// Its text never holds the password.
class SessionError : public std::runtime_error {
 public:
  SessionError(Failure failure, const std::string& text) : std::runtime_error(text), failure_(failure) {}
  Failure failure() const noexcept { return failure_; }

 private:
  Failure failure_;
};

inline constexpr const char* kDefaultPort = "4243";

struct Endpoint {
  bool local = false;
  std::string host;
  std::string port = kDefaultPort;
  std::string describe() const;
};

// "host", "host:port" or "[v6 address]:port". Empty or "localhost" without a
// password is the local connection: a login needs the network one.
Endpoint parseEndpoint(const std::string& hostName, bool havePassword);

// The server's QMSYS folder named by its configuration file
// ($SCARLET_CONFIG, $QMCONFIG, /etc/scarlet.conf, /etc/openqm.conf).
std::filesystem::path localSystemFolder();

class Session {
 public:
  // Starts <QMSYS>/bin/qm as this Linux user and enters the account.
  static std::unique_ptr<Session> openLocal(const std::string& account);
  static std::unique_ptr<Session> openNetwork(const Endpoint& endpoint, const std::string& user,
                                              const std::string& password, const std::string& account);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Calls a catalogued subroutine with three arguments by reference; returns
  // what it left in the third.
  std::string call(const std::string& subroutine, std::string_view a1, std::string_view a2, std::string_view a3);
  bool alive() const { return in_ >= 0; }
  const std::string& where() const { return where_; }

 private:
  struct Reply {
    Outcome outcome;
    std::string data;
  };
  Session(int in, int out, pid_t child, std::string where);

  Reply exchange(Action action, std::string_view data);
  Reply exchangeOrLose(Action action, std::string_view data);
  void send(std::string_view bytes);
  void receive(char* into, size_t n);
  void enter(const std::string& account);
  [[noreturn]] void lose(const std::string& why);
  void close() noexcept;

  int in_ = -1, out_ = -1;
  pid_t child_ = -1;
  std::string where_;
};

}  // namespace pelorix::qm
