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

#include "com/dispatch.h"

namespace pelorix::mv {

class Account;
class Interpreter;

// Errors of the connector; the source is the ProgID, the description says
// what went wrong in words a user can act on.
inline constexpr com::HRESULT kConnectFailed = com::hr(0x80044E01);
inline constexpr com::HRESULT kProgramFailed = com::hr(0x80044E02);
inline constexpr com::HRESULT kNotConnected = com::hr(0x80044E03);

// The file of an account that receives what programs CRT or PRINT.
inline constexpr const char* kHostLogName = "host.log";

class EmbeddedHost final : public com::Dispatchable<EmbeddedHost> {
 public:
  explicit EmbeddedHost(int connectionType);
  ~EmbeddedHost() override;
  static const com::Members<EmbeddedHost>& members();

  std::string progId() const;

  void connect();
  void callHost(const std::string& program, com::Variant& palmInfo, com::Variant& fromPalm, com::Variant& toPalm);
  void disconnect();
  bool connected() const { return account_ != nullptr; }

 private:
  [[noreturn]] void fail(com::HRESULT number, const std::string& description) const;
  std::filesystem::path accountFolder() const;
  // One line of the account's host.log, written at once.
  void log(const std::string& line);
  void closeLog();

  int type_;
  std::string hostName_, dataSource_, accountPath_, userName_, password_;
  bool doaAware_ = false;
  std::int16_t uniType_ = 0;

  std::unique_ptr<Account> account_;
  // Reads each program again only when it changed.
  std::function<std::optional<std::string>(const std::string&)> loader_;
  std::unique_ptr<Interpreter> interpreter_;  // one per connection, so compiled programs are kept
  std::string running_;                       // the program of the call in progress
  int logFd_ = -1;                            // open during a call that logged
};

}  // namespace pelorix::mv
