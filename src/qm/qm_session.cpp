#include "qm/qm_session.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <utility>

#include "base/ascii_case.h"

extern char** environ;

namespace pelorix::qm {

namespace fs = std::filesystem;

namespace {

// Reaching a server and its greeting may take this long; a call may take as
// long as it needs, while TCP keepalive finds a peer that went away.
constexpr int kConnectMillis = 30'000;

std::string errnoText(int error) { return std::strerror(error); }

// The secret leaves memory once sent.
struct Wiped {
  std::string text;
  ~Wiped() { ::explicit_bzero(text.data(), text.size()); }
};

bool waitFor(int fd, short events, int millis) {
  pollfd p{fd, events, 0};
  for (;;) {
    int n = ::poll(&p, 1, millis);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

int dial(const Endpoint& e) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int rc = ::getaddrinfo(e.host.c_str(), e.port.c_str(), &hints, &found); rc != 0)
    throw SessionError(Failure::Unreachable, e.describe() + " cannot be reached: " + ::gai_strerror(rc));
  std::string why = "no address";
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) {
      why = errnoText(errno);
      continue;
    }
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      if (waitFor(fd, POLLOUT, kConnectMillis)) {
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        rc = error ? -1 : 0;
        errno = error;
      } else {
        errno = ETIMEDOUT;
      }
    }
    if (rc != 0) {
      why = errnoText(errno);
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(found);
  if (fd < 0) throw SessionError(Failure::Unreachable, e.describe() + " cannot be reached: " + why);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  int on = 1, idle = 60, interval = 10, count = 6;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  // The server process speaks only after an acknowledgement byte.
  for (;;) {
    char c = 0;
    if (!waitFor(fd, POLLIN, kConnectMillis) || ::recv(fd, &c, 1, 0) != 1) {
      ::close(fd);
      throw SessionError(Failure::Unreachable,
                         e.describe() + " accepted the connection but no QMClient server process answered on it");
    }
    if (c == '\x06') break;
  }
  return fd;
}

void reap(pid_t child) {
  if (child <= 0) return;
  using namespace std::chrono;
  auto until = steady_clock::now() + seconds(5);
  while (steady_clock::now() < until) {
    pid_t r = ::waitpid(child, nullptr, WNOHANG);
    if (r == child || (r < 0 && errno != EINTR)) return;
    std::this_thread::sleep_for(milliseconds(5));
  }
  ::kill(child, SIGKILL);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

std::string qmsysFromConfig(const fs::path& file) {
  std::ifstream in(file);
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    if (namesEqual(section, "qm") && line.rfind("QMSYS=", 0) == 0) return line.substr(6);
  }
  return {};
}

}  // namespace

std::string Endpoint::describe() const {
  if (local) return "the local QM server";
  bool v6 = host.find(':') != std::string::npos;
  return "the QM server at " + (v6 ? "[" + host + "]" : host) + ":" + port;
}

Endpoint parseEndpoint(const std::string& hostName, bool havePassword) {
  Endpoint e;
  std::string name = hostName;
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front()))) name.erase(0, 1);
  if (!name.empty() && name.front() == '[') {
    size_t close = name.find(']');
    e.host = name.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos && close + 1 < name.size() && name[close + 1] == ':')
      e.port = name.substr(close + 2);
  } else if (size_t colon = name.find(':');
             colon != std::string::npos && name.find(':', colon + 1) == std::string::npos) {
    e.host = name.substr(0, colon);
    e.port = name.substr(colon + 1);
  } else {
    e.host = name;
  }
  if (e.port.empty()) e.port = kDefaultPort;
  bool explicitPort = e.port != kDefaultPort || name.find(':') != std::string::npos;
  if ((e.host.empty() || namesEqual(e.host, "localhost")) && !havePassword && !explicitPort) e.local = true;
  if (e.host.empty()) e.host = "localhost";
  return e;
}

fs::path localSystemFolder() {
  for (const char* variable : {"SCARLET_CONFIG", "QMCONFIG"})
    if (const char* file = std::getenv(variable); file && *file) {
      std::string folder = qmsysFromConfig(file);
      if (!folder.empty()) return folder;
    }
  for (const char* file : {"/etc/scarlet.conf", "/etc/openqm.conf"}) {
    std::string folder = qmsysFromConfig(file);
    if (!folder.empty()) return folder;
  }
  return "/usr/qmsys";
}

Session::Session(int in, int out, pid_t child, std::string where)
    : in_(in), out_(out), child_(child), where_(std::move(where)) {}

Session::~Session() {
  if (alive()) {
    try {
      send(requestHeader(Action::Quit, 0));
    } catch (const std::exception&) {
    }
  }
  close();
}

void Session::close() noexcept {
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0 && out_ != in_) ::close(out_);
  in_ = out_ = -1;
  reap(std::exchange(child_, -1));
}

void Session::lose(const std::string& why) {
  close();
  throw SessionError(Failure::Lost, "The connection to " + where_ + " was lost: " + why);
}

void Session::send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(out_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) lose(errnoText(errno));
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

void Session::receive(char* into, size_t n) {
  while (n > 0) {
    ssize_t got = ::recv(in_, into, n, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) lose("the server closed it");
    if (got < 0) lose(errnoText(errno));
    into += got;
    n -= static_cast<size_t>(got);
  }
}

Session::Reply Session::exchange(Action action, std::string_view data) {
  if (!alive()) throw SessionError(Failure::Lost, "Not connected to " + where_);
  std::string header = requestHeader(action, data.size());
  send(header);
  send(data);
  char head[kReplyHeaderBytes];
  receive(head, sizeof head);
  ReplyHeader h;
  try {
    h = parseReplyHeader(std::string_view(head, sizeof head));
  } catch (const ProtocolError& e) {
    lose(std::string("its reply could not be read (") + e.what() + ")");
  }
  Reply reply{h.outcome, {}};
  // Grown as the bytes arrive, so that a damaged length costs no memory.
  size_t got = 0;
  while (got < h.dataBytes) {
    size_t chunk = std::min(h.dataBytes - got, std::max<size_t>(got, size_t{64} * 1024));
    reply.data.resize(got + chunk);
    receive(reply.data.data() + got, chunk);
    got += chunk;
  }
  if (reply.outcome == Outcome::Error) {
    send(requestHeader(Action::GetError, 0));
    receive(head, sizeof head);
    ReplyHeader e = parseReplyHeader(std::string_view(head, sizeof head));
    reply.data.assign(std::min<size_t>(e.dataBytes, size_t{64} * 1024), '\0');
    receive(reply.data.data(), reply.data.size());
    for (size_t rest = e.dataBytes - reply.data.size(); rest > 0;) {
      char sink[4096];
      size_t n = std::min(rest, sizeof sink);
      receive(sink, n);
      rest -= n;
    }
  }
  return reply;
}

Session::Reply Session::exchangeOrLose(Action action, std::string_view data) {
  try {
    return exchange(action, data);
  } catch (const ProtocolError& e) {
    lose(std::string("its reply could not be read (") + e.what() + ")");
  }
}

void Session::enter(const std::string& account) {
  if (account.empty()) throw SessionError(Failure::NoAccount, "No account: the account path is empty");
  if (account.size() > kMaxAccountName)
    throw SessionError(Failure::NoAccount,
                       "No account \"" + account + "\": QM names an account in at most 32 characters");
  Reply r = exchangeOrLose(Action::Account, account);
  if (r.outcome == Outcome::Ok) return;
  std::string why = abortMessage(r.data);
  std::string hint = account.find('/') != std::string::npos
                         ? " (QM takes the account's name, as CREATE.ACCOUNT registered it, not its folder)"
                         : "";
  throw SessionError(Failure::NoAccount, "No account \"" + account + "\" on " + where_ + ": " + why + hint);
}

std::unique_ptr<Session> Session::openLocal(const std::string& account) {
  fs::path program = localSystemFolder() / "bin" / "qm";
  std::error_code ec;
  if (!fs::exists(program, ec))
    throw SessionError(Failure::Unreachable, "No QM server on this machine: " + program.string() +
                                                 " is missing (install ScarletDME or OpenQM, or give a host name)");
  int toChild[2], fromChild[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, toChild) != 0)
    throw SessionError(Failure::Unreachable, "Cannot start the local QM process: " + errnoText(errno));
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fromChild) != 0) {
    int error = errno;
    ::close(toChild[0]);
    ::close(toChild[1]);
    throw SessionError(Failure::Unreachable, "Cannot start the local QM process: " + errnoText(error));
  }
  // The process reads requests on its standard input and answers on its
  // standard output (-C<out>!<in>); two separate streams, as the server
  // makes its input non-blocking and expects a blocking output.
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, toChild[1], 0);
  posix_spawn_file_actions_adddup2(&files, fromChild[1], 1);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&files, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, so that the terminal's Ctrl-C reaches only us;
  // default signal handling whatever this process ignores.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string path = program.string();
  char* argv[] = {path.data(), const_cast<char*>("-Q"), const_cast<char*>("-C1!0"), nullptr};
  pid_t child = -1;
  int rc = ::posix_spawn(&child, path.c_str(), &files, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  ::close(toChild[1]);
  ::close(fromChild[1]);
  if (rc != 0) {
    ::close(toChild[0]);
    ::close(fromChild[0]);
    throw SessionError(Failure::Unreachable, "Cannot start " + path + ": " + errnoText(rc));
  }
  std::unique_ptr<Session> s(new Session(fromChild[0], toChild[0], child, "the local QM server"));
  Reply r;
  try {
    r = s->exchangeOrLose(Action::LocalLogin, {});
  } catch (const SessionError&) {
    throw SessionError(Failure::Unreachable, "The local QM process (" + path +
                                                 ") ended before it answered; is the QM server started (qm -start)?");
  }
  if (r.outcome != Outcome::Ok)
    throw SessionError(Failure::Refused, "The local QM server refused this Linux user: " + abortMessage(r.data));
  s->enter(account);
  return s;
}

std::unique_ptr<Session> Session::openNetwork(const Endpoint& endpoint, const std::string& user,
                                              const std::string& password, const std::string& account) {
  std::string where = endpoint.describe();
  if (user.empty() || user.size() > kMaxLoginText || password.size() > kMaxLoginText)
    throw SessionError(Failure::Refused, where +
                                             " refused the login: QM takes a user name of 1 to 32 characters "
                                             "and a password of at most 32");
  std::unique_ptr<Session> s(new Session(-1, -1, -1, where));
  s->in_ = s->out_ = dial(endpoint);
  Reply r;
  {
    Wiped login{loginData(user, password)};
    r = s->exchangeOrLose(Action::Login, login.text);
  }
  if (r.outcome != Outcome::Ok)
    throw SessionError(Failure::Refused, where + " refused the user \"" + user + "\": " + abortMessage(r.data));
  s->enter(account);
  return s;
}

std::string Session::call(const std::string& subroutine, std::string_view a1, std::string_view a2,
                          std::string_view a3) {
  if (subroutine.empty() || subroutine.size() > kMaxCallName)
    throw SessionError(Failure::NotCatalogued,
                       "\"" + subroutine + "\" is no subroutine name: QM catalogues names of 1 to 63 characters");
  std::string_view arguments[] = {a1, a2, a3};
  std::string request = callData(subroutine, arguments);
  Reply r = exchangeOrLose(Action::Call, request);
  switch (r.outcome) {
    case Outcome::Ok:
    case Outcome::Else:
    case Outcome::Locked: try { return changedArgument(r.data, 3).value_or(std::string(a3));
      } catch (const ProtocolError& e) {
        lose(std::string("its reply could not be read (") + e.what() + ")");
      }
    case Outcome::Prompt:
      // The process now waits for an answer that no one will give.
      close();
      throw SessionError(Failure::Aborted, subroutine +
                                               " asked for input (INPUT), which a HotSync cannot answer; "
                                               "the connection was closed");
    case Outcome::Aborted:
    case Outcome::Error: break;
  }
  std::string message = abortMessage(r.data);
  const std::string load = "Unable to load '";
  if (size_t at = message.find(load); at != std::string::npos) {
    size_t end = message.find("' object code", at + load.size());
    if (end != std::string::npos) {
      std::string missing = message.substr(at + load.size(), end - at - load.size());
      if (namesEqual(missing, subroutine))
        throw SessionError(Failure::NotCatalogued,
                           "The subroutine " + subroutine + " is not catalogued in the account (" + message +
                               "); compile and catalogue it: BASIC BP " + subroutine + ", CATALOG BP " + subroutine);
      throw SessionError(Failure::NotCatalogued, subroutine + " calls " + missing +
                                                     ", which is not catalogued in the account (" + message + ")");
    }
  }
  throw SessionError(Failure::Aborted, subroutine + " failed on " + where_ + ": " + message);
}

}  // namespace pelorix::qm
