#pragma once
// The host connector of the embedded MultiValue host: one class serving
// trivex1.Host, trivex2.Host and trivex3.Host, late-bound by member name.
// It runs the account's BP programs with the embedded interpreter.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connector/host_object.h"

namespace pelorix::mv {

class Account;
class Interpreter;

using connector::kConnectFailed;
using connector::kNotConnected;
using connector::kProgramFailed;

// The file of an account that receives what programs CRT or PRINT.
inline constexpr const char* kHostLogName = "host.log";

class EmbeddedHost final : public connector::HostObject {
 public:
  explicit EmbeddedHost(int connectionType);
  ~EmbeddedHost() override;

  std::string progId() const;

  void connect() override;
  void callHost(const std::string& program, com::Variant& palmInfo, com::Variant& fromPalm,
                com::Variant& toPalm) override;
  void disconnect() override;
  bool connected() const { return account_ != nullptr; }

 private:
  [[noreturn]] void fail(com::HRESULT number, const std::string& description) const;
  std::filesystem::path accountFolder() const;
  // One line of the account's host.log, written at once.
  void log(const std::string& line);
  void closeLog();

  int type_;

  std::unique_ptr<Account> account_;
  // Reads each program again only when it changed.
  std::function<std::optional<std::string>(const std::string&)> loader_;
  std::unique_ptr<Interpreter> interpreter_;  // one per connection, so compiled programs are kept
  std::string running_;                       // the program of the call in progress
  int logFd_ = -1;                            // open during a call that logged
};

}  // namespace pelorix::mv
