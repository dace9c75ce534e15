#pragma once
// The host connector for QM servers (ScarletDME, OpenQM): trivex3.Host with
// the members of the connector contract, late-bound by name. It calls the
// account's catalogued subroutines through the QMClient protocol.

#include <cstdint>
#include <memory>
#include <string>

#include "connector/host_object.h"

namespace pelorix::qm {

class Session;

using connector::kConnectFailed;
using connector::kConnectionLost;
using connector::kNotConnected;
using connector::kProgramFailed;

inline constexpr const char* kProgId = "trivex3.Host";

class QmHost final : public connector::HostObject {
 public:
  QmHost();
  ~QmHost() override;

  void connect() override;
  void callHost(const std::string& program, com::Variant& palmInfo, com::Variant& fromPalm,
                com::Variant& toPalm) override;
  void disconnect() override;
  bool connected() const;

 private:
  [[noreturn]] void fail(com::HRESULT number, const std::string& description) const;
  // Wiped from memory, not only let go of.
  void setPassword(const std::string& password) override;
  void forgetPassword();

  std::unique_ptr<Session> session_;
  std::string lostWhy_;  // why the last connection ended under a call
};

}  // namespace pelorix::qm
