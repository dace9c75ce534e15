#include "mv/connector/embedded_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "mv/account.h"
#include "mv/account_programs.h"
#include "mv/account_users.h"
#include "mv/basic_interpreter.h"
#include "mv/connections.h"
#include "mv/dynamic_array.h"
#include "mv/step_limit.h"

namespace pelorix::mv {

namespace fs = std::filesystem;
using com::Variant;

namespace {

bool isLocalHost(const std::string& name) {
  return name.empty() || pelorix::namesEqual(name, "localhost") || name == "127.0.0.1" || name == "::1";
}

// Control characters shown as escapes, so that what a program prints can
// neither break a line of the log nor drive the terminal that shows it.
std::string visible(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[5];
          std::snprintf(escape, sizeof escape, "\\x%02x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string timestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

EmbeddedHost::EmbeddedHost(int connectionType) : type_(connectionType) {}

EmbeddedHost::~EmbeddedHost() { closeLog(); }

std::string EmbeddedHost::progId() const { return "trivex" + std::to_string(type_) + ".Host"; }

void EmbeddedHost::fail(com::HRESULT number, const std::string& description) const {
  com::raise(number, progId(), description);
}

fs::path EmbeddedHost::accountFolder() const {
  std::string name = type_ == 1 ? hostName_ : type_ == 2 ? dataSource_ : accountPath_;
  if (type_ == 3 && !isLocalHost(hostName_))
    fail(kConnectFailed, "The host \"" + hostName_ +
                             "\" cannot be reached: the embedded host serves accounts of this machine only "
                             "(leave the host name empty or use \"localhost\")");
  const char* what = type_ == 1 ? "host name" : type_ == 2 ? "data source" : "account path";
  if (name.empty()) fail(kConnectFailed, std::string("No account: the ") + what + " is empty");
  std::optional<fs::path> folder = resolveAccount(name);
  if (!folder || !fs::is_directory(*folder))
    fail(kConnectFailed, "No account \"" + name + "\": it is neither a connection in " + connectionsFile().string() +
                             " nor an account folder");
  return *folder;
}

void EmbeddedHost::connect() {
  fs::path folder = accountFolder();
  try {
    AccountUsers users(folder);
    if (users.required()) {
      switch (users.check(userName_, password_)) {
        case AccountUsers::Check::Accepted: break;
        case AccountUsers::Check::UnknownUser:
          fail(kConnectFailed, "Unknown user \"" + userName_ + "\" for the account " + folder.string());
        case AccountUsers::Check::WrongPassword:
          fail(kConnectFailed, "Wrong password for the user \"" + userName_ + "\" of the account " + folder.string());
      }
    }
    auto account = std::make_unique<Account>(folder);
    account->recover();
    loader_ = programLoader(*account);
    interpreter_ = std::make_unique<Interpreter>(
        loader_, [this](const std::string& line) { log(running_ + ": " + visible(line)); }, configuredMaxSteps(),
        account.get());
    interpreter_->setLockWait(configuredLockWait());
    account_ = std::move(account);
  } catch (const UsersError& e) {
    fail(kConnectFailed, e.what());
  } catch (const AccountError& e) {
    fail(kConnectFailed, e.what());
  }
}

void EmbeddedHost::log(const std::string& line) {
  // The log is a help for the subroutine's author; failing to write it must
  // not fail the sync. Not through a link planted in its place, and only
  // into a plain file (a FIFO would block).
  if (logFd_ < 0) {
    fs::path file = account_->folder() / kHostLogName;
    logFd_ = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat st {};
    if (logFd_ >= 0 && (::fstat(logFd_, &st) != 0 || !S_ISREG(st.st_mode))) closeLog();
    if (logFd_ < 0) return;
  }
  // One write a line: nothing waits in a buffer for a process that is killed.
  std::string text = timestamp() + ' ' + line + '\n';
  for (size_t done = 0; done < text.size();) {
    ssize_t n = ::write(logFd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void EmbeddedHost::closeLog() {
  if (logFd_ >= 0) ::close(logFd_);
  logFd_ = -1;
}

void EmbeddedHost::callHost(const std::string& program, Variant& palmInfo, Variant& fromPalm, Variant& toPalm) {
  if (!account_) fail(kNotConnected, "Not connected: call Connect before CallHost");
  if (!loader_(program))
    fail(kProgramFailed, "No program \"" + program + "\" in the BP file of the account " + account_->folder().string());
  std::vector<std::string> args{palmInfo.toText(), fromPalm.toText(), toPalm.toText()};
  running_ = visible(program);
  struct LogCloser {
    EmbeddedHost& host;
    ~LogCloser() { host.closeLog(); }
  } closer{*this};
  try {
    interpreter_->call(program, args);
  } catch (const BasicError& e) {
    log(running_ + ": failed: " + visible(e.what()));
    fail(kProgramFailed, e.what());
  } catch (const std::exception& e) {
    log(running_ + ": failed: " + visible(e.what()));
    fail(kProgramFailed, program + ": " + e.what());
  }
  toPalm = Variant(std::move(args[2]));
}

void EmbeddedHost::disconnect() {
  closeLog();
  interpreter_.reset();
  loader_ = nullptr;
  account_.reset();
}

}  // namespace pelorix::mv
