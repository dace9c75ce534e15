#include "mv/connector/embedded_host.h"

#include <ctime>
#include <fstream>

#include "mv/account.h"
#include "mv/account_programs.h"
#include "mv/account_users.h"
#include "mv/basic_interpreter.h"
#include "mv/connections.h"
#include "mv/connector/dynamic_array_object.h"
#include "mv/connector/live_objects.h"
#include "mv/dynamic_array.h"
#include "mv/step_limit.h"

namespace pelorix::mv {

namespace fs = std::filesystem;
using com::Variant;
using Args = std::span<Variant>;

namespace {

bool isLocalHost(const std::string& name) {
  return name.empty() || com::namesEqual(name, "localhost") || name == "127.0.0.1" || name == "::1";
}

// The text of an argument that may be an array object or plain text.
std::string arrayText(const Variant& v) {
  if (v.type() == Variant::Type::Object)
    if (auto array = com::query<DynamicArrayObject>(v.toObject())) return array->text();
  return v.toText();
}

Variant dcount(Args args) {
  std::string delimiter = com::argument(args, 0, "Dcount").toText();
  const Variant& array = com::argument(args, 1, "Dcount");
  if (array.type() == Variant::Type::Object && delimiter == std::string(1, AM))
    if (auto object = com::query<DynamicArrayObject>(array.toObject())) return Variant(object->attributeCount());
  return Variant(Dcount(arrayText(array), delimiter));
}

int position(Args args, size_t n) { return args.size() > n ? args[n].toInt32() : 0; }

Variant extract(Args args) {
  const Variant& array = com::argument(args, 0, "Extract");
  int attribute = com::argument(args, 1, "Extract").toInt32();
  if (array.type() == Variant::Type::Object)
    if (auto object = com::query<DynamicArrayObject>(array.toObject()))
      return Variant(object->extract(attribute, position(args, 2), position(args, 3)));
  return Variant(Extract(arrayText(array), attribute, position(args, 2), position(args, 3)));
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

EmbeddedHost::EmbeddedHost(int connectionType) : type_(connectionType) { ++liveObjects(); }

EmbeddedHost::~EmbeddedHost() { --liveObjects(); }

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
    fail(kConnectFailed, "No account \"" + name + "\": it is neither a connection in " +
                             connectionsFile().string() + " nor an account folder");
  return *folder;
}

void EmbeddedHost::connect() {
  fs::path folder = accountFolder();
  try {
    AccountUsers users(folder);
    if (users.required()) {
      switch (users.check(userName_, password_)) {
        case AccountUsers::Check::Accepted:
          break;
        case AccountUsers::Check::UnknownUser:
          fail(kConnectFailed, "Unknown user \"" + userName_ + "\" for the account " + folder.string());
        case AccountUsers::Check::WrongPassword:
          fail(kConnectFailed, "Wrong password for the user \"" + userName_ + "\" of the account " + folder.string());
      }
    }
    auto account = std::make_unique<Account>(folder);
    interpreter_ = std::make_unique<Interpreter>(
        programLoader(*account), [this](const std::string& line) { output_.push_back(line); }, configuredMaxSteps(),
        account.get());
    account_ = std::move(account);
  } catch (const UsersError& e) {
    fail(kConnectFailed, e.what());
  } catch (const AccountError& e) {
    fail(kConnectFailed, e.what());
  }
}

void EmbeddedHost::log(const std::string& program, const std::string& line) const {
  // The log is a help for the subroutine's author; failing to write it must
  // not fail the sync.
  std::ofstream out(account_->folder() / kHostLogName, std::ios::app);
  out << timestamp() << ' ' << program << ": " << line << '\n';
}

void EmbeddedHost::callHost(const std::string& program, Variant& palmInfo, Variant& fromPalm, Variant& toPalm) {
  if (!account_) fail(kNotConnected, "Not connected: call Connect before CallHost");
  std::optional<std::string> source = programSource(*account_, program);
  if (!source)
    fail(kProgramFailed, "No program \"" + program + "\" in the BP file of the account " + account_->folder().string());
  std::vector<std::string> args{palmInfo.toText(), fromPalm.toText(), toPalm.toText()};
  output_.clear();
  try {
    interpreter_->call(program, args);
  } catch (const BasicError& e) {
    for (const std::string& line : output_) log(program, line);
    log(program, std::string("failed: ") + e.what());
    fail(kProgramFailed, e.what());
  } catch (const std::exception& e) {
    log(program, std::string("failed: ") + e.what());
    fail(kProgramFailed, program + ": " + e.what());
  }
  for (const std::string& line : output_) log(program, line);
  toPalm = Variant(std::move(args[2]));
}

void EmbeddedHost::disconnect() {
  interpreter_.reset();
  account_.reset();
}

const com::Members<EmbeddedHost>& EmbeddedHost::members() {
  using H = EmbeddedHost;
  static const auto table =
      com::Members<H>()
          .property("HostName", [](H& h, Args) { return Variant(h.hostName_); },
                    [](H& h, Args, const Variant& v) { h.hostName_ = v.toText(); })
          .property("ODBCDataSource", [](H& h, Args) { return Variant(h.dataSource_); },
                    [](H& h, Args, const Variant& v) { h.dataSource_ = v.toText(); })
          .property("DOAAware", [](H& h, Args) { return Variant(h.doaAware_); },
                    [](H& h, Args, const Variant& v) { h.doaAware_ = v.toBool(); })
          .property("AcctPath", [](H& h, Args) { return Variant(h.accountPath_); },
                    [](H& h, Args, const Variant& v) { h.accountPath_ = v.toText(); })
          .property("UserName", [](H& h, Args) { return Variant(h.userName_); },
                    [](H& h, Args, const Variant& v) { h.userName_ = v.toText(); })
          // The password can be set, never read back.
          .property("Passwd", [](H&, Args) { return Variant(std::string()); },
                    [](H& h, Args, const Variant& v) { h.password_ = v.toText(); })
          .property("unitype", [](H& h, Args) { return Variant(h.uniType_); },
                    [](H& h, Args, const Variant& v) { h.uniType_ = v.toInt16(); })
          .method("Connect",
                  [](H& h, Args) {
                    h.connect();
                    return Variant();
                  })
          .method("CallHost",
                  [](H& h, Args args) {
                    std::string program = com::argument(args, 0, "CallHost").toText();
                    h.callHost(program, com::argument(args, 1, "CallHost"), com::argument(args, 2, "CallHost"),
                               com::argument(args, 3, "CallHost"));
                    return Variant();
                  })
          .method("CreateDynamicArray",
                  [](H&, Args args) {
                    return Variant(com::make<DynamicArrayObject>(arrayText(com::argument(args, 0, "CreateDynamicArray"))));
                  })
          .method("Dcount", [](H&, Args args) { return dcount(args); })
          .method("Extract", [](H&, Args args) { return extract(args); })
          .method("Disconnect", [](H& h, Args) {
            h.disconnect();
            return Variant();
          });
  return table;
}

}  // namespace pelorix::mv
