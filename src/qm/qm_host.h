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

// The embedded host's numbers for the same failures, so that the conduit
// reports both alike; the description says which failure it was.
inline constexpr com::HRESULT kConnectFailed = com::hr(0x80044E01);
inline constexpr com::HRESULT kProgramFailed = com::hr(0x80044E02);
inline constexpr com::HRESULT kNotConnected = com::hr(0x80044E03);
inline constexpr com::HRESULT kConnectionLost = com::hr(0x80044E04);

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
