#include "qm/scarlet.h"

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>

#include "qm/qm_session.h"

extern char** environ;

namespace pelorix::test::scarlet {

namespace fs = std::filesystem;

namespace {

fs::path qmProgram() { return qm::localSystemFolder() / "bin" / "qm"; }

std::optional<std::string> findProgram(const std::string& name) {
  for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin", "/usr/sbin", "/sbin"})
    if (::access((fs::path(dir) / name).c_str(), X_OK) == 0) return (fs::path(dir) / name).string();
  return std::nullopt;
}

int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  ::close(fd);
  return ntohs(a.sin_port);
}

int dialLoopback(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  ::close(fd);
  return -1;
}

bool sendAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t sent = ::send(fd, p, n, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    p += sent;
    n -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace

Output run(const std::vector<std::string>& argv, const std::string& input) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, in[0], 0);
  posix_spawn_file_actions_adddup2(&files, out[1], 1);
  posix_spawn_file_actions_adddup2(&files, out[1], 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, args[0], &files, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  ::close(in[0]);
  ::close(out[1]);
  Output result;
  if (rc == 0) {
    signal(SIGPIPE, SIG_IGN);
    ssize_t ignored = ::write(in[1], input.data(), input.size());
    (void)ignored;
  }
  ::close(in[1]);
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) result.text.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  if (rc != 0) {
    result.text = "cannot start " + argv[0];
    return result;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::optional<std::string> unavailable() {
  static const std::optional<std::string> why = []() -> std::optional<std::string> {
    fs::path qm = qmProgram();
    if (::access(qm.c_str(), X_OK) != 0)
      return "ScarletDME is not installed (no " + qm.string() + "): the tests against a QM server are skipped";
    Output who = run({"sh", "-c", "cd \"$1\" && exec timeout 20 \"$2\" -quiet WHO", "sh",
                      qm::localSystemFolder().string(), qm.string()});
    if (who.status != 0)
      return "ScarletDME is installed but does not answer (start it with qm -start): the tests against a QM server "
             "are skipped";
    return std::nullopt;
  }();
  return why;
}

std::optional<std::string> networkUnavailable() {
  if (auto why = unavailable()) return why;
  if (!findProgram("socat"))
    return std::string("socat is not installed: the tests over a QM network connection are skipped");
  if (::geteuid() != 0)
    return std::string("the tests over a QM network connection log in as a Linux user they make, which needs root");
  return std::nullopt;
}

QmAccount::QmAccount(const fs::path& source, bool tolerant) {
  static int counter = 0;
  name_ = "PXT" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
  folder_ = dir_ / "account";
  // Network sessions run as another Linux user: it must reach the folder.
  fs::permissions(dir_.path(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
  Output made =
      run({fs::path(PELORIX_SOURCE_DIR) / "scripts" / "host-to-qm", source.string(), name_, folder_.string()});
  if (made.status != 0 && !(tolerant && fs::exists(folder_)))
    throw std::runtime_error("host-to-qm failed: " + made.text);
  run({"chmod", "-R", "a+rwX", folder_.string()});
}

QmAccount::~QmAccount() {
  run({"sh", "-c", "cd \"$1\" && exec \"$2\" -quiet \"DELETE ACCOUNTS $3\"", "sh", qm::localSystemFolder().string(),
       qmProgram().string(), name_});
}

void QmAccount::load(const fs::path& source) const {
  Output made = run({fs::path(PELORIX_SOURCE_DIR) / "scripts" / "host-to-qm", source.string(), name_});
  if (made.status != 0) throw std::runtime_error("host-to-qm failed: " + made.text);
  run({"chmod", "-R", "a+rwX", folder_.string()});
}

Listener::Listener() {
  port_ = freePort();
  std::string listen = "TCP-LISTEN:" + std::to_string(port_) + ",bind=127.0.0.1,reuseaddr,fork";
  std::string serve = "EXEC:" + qmProgram().string() + " -n -q";
  std::string socat = findProgram("socat").value_or("socat");
  char* argv[] = {socat.data(), const_cast<char*>("-lf/dev/null"), listen.data(), serve.data(), nullptr};
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  if (::posix_spawn(&pid_, socat.c_str(), &files, nullptr, argv, environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&files);
  if (pid_ < 0) throw std::runtime_error("socat cannot be started");
  // Ready once it accepts; the server process it starts for this ends
  // when the connection does.
  for (int i = 0; i < 500; ++i) {
    if (int fd = dialLoopback(port_); fd >= 0) {
      ::close(fd);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  throw std::runtime_error("socat does not listen");
}

Listener::~Listener() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

const NetworkUser& networkUser() {
  static const NetworkUser user = [] {
    NetworkUser u{"pelorixqm", {}};
    const char* file = "/var/tmp/pelorix-qm-test-user";
    int fd = ::open(file, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error(std::string("cannot open ") + file);
    ::flock(fd, LOCK_EX);
    char buffer[64] = {};
    ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    u.password = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
    bool fresh = u.password.empty();
    if (fresh) {
      std::random_device random;
      const char* letters = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
      u.password = "Px-";
      for (int i = 0; i < 16; ++i) u.password += letters[random() % 56];
    }
    if (!::getpwnam(u.name.c_str())) run({"useradd", "-M", "-N", "-g", "qmusers", "-s", "/usr/sbin/nologin", u.name});
    if (fresh || !::getpwnam(u.name.c_str())) {
      // Given on standard input, so that no process list shows it.
      Output set = run({"chpasswd"}, u.name + ":" + u.password + "\n");
      if (set.status != 0) throw std::runtime_error("chpasswd failed: " + set.text);
      ssize_t written = ::pwrite(fd, u.password.data(), u.password.size(), 0);
      (void)written;
    }
    ::close(fd);
    return u;
  }();
  return user;
}

CuttingProxy::CuttingProxy(std::string target, int cutAtCall) : target_(std::move(target)), cutAt_(cutAtCall) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  ::bind(listener_, reinterpret_cast<sockaddr*>(&a), size);
  ::listen(listener_, 8);
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { serve(); });
}

CuttingProxy::~CuttingProxy() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

void CuttingProxy::serve() {
  std::vector<std::thread> relays;
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) relays.emplace_back([this, client] { relay(client); });
  }
  for (std::thread& t : relays) t.join();
}

void CuttingProxy::relay(int client) {
  int server = dialLoopback(std::stoi(target_.substr(target_.rfind(':') + 1)));
  std::string pending;  // client bytes not yet a whole packet
  bool open = server >= 0;
  while (open && !stop_) {
    pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(p, 2, 20) <= 0) continue;
    char buffer[65536];
    if (p[1].revents) {
      ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
      open = n > 0 && sendAll(client, buffer, static_cast<size_t>(n));
    }
    if (open && p[0].revents) {
      ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      open = n > 0;
      if (open) pending.append(buffer, static_cast<size_t>(n));
      // Whole packets only, so that a cut falls right after one.
      while (open && pending.size() >= 6) {
        auto byte = [&](size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(pending[i])); };
        size_t length = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
        if (pending.size() < length) break;
        bool call = (byte(4) | byte(5) << 8) == 20;
        open = sendAll(server, pending.data(), length);
        pending.erase(0, length);
        if (call && ++calls_ == cutAt_ && !cut_.exchange(true)) open = false;
      }
    }
  }
  ::close(client);
  if (server >= 0) ::close(server);
}

pid_t localQmChild() {
  DIR* proc = ::opendir("/proc");
  pid_t found = -1;
  while (dirent* e = proc ? ::readdir(proc) : nullptr) {
    std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
    std::string pid, name, state;
    pid_t parent = 0;
    if (stat >> pid >> name >> state >> parent && parent == ::getpid() && name == "(qm)") found = std::stoi(pid);
  }
  if (proc) ::closedir(proc);
  return found;
}

std::string readable(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == 0xFE)
      out += '^';
    else if (c == 0xFD)
      out += ']';
    else if (c == 0xFC)
      out += '\\';
    else if (c >= 0x20 && c < 0x7F)
      out += static_cast<char>(c);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "{%02X}", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace pelorix::test::scarlet
