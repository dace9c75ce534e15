#pragma once
// The host connector for QM servers (ScarletDME, OpenQM): trivex3.Host with
// the members of the connector contract, late-bound by name. It calls the
// account's catalogued subroutines through the QMClient protocol.

#include <cstdint>
#include <memory>
#include <string>

#include "com/dispatch.h"

namespace pelorix::qm {

class Session;

// The embedded host's numbers for the same failures, so that the conduit
// reports both alike; the description says which failure it was.
inline constexpr com::HRESULT kConnectFailed = com::hr(0x80044E01);
inline constexpr com::HRESULT kProgramFailed = com::hr(0x80044E02);
inline constexpr com::HRESULT kNotConnected = com::hr(0x80044E03);
inline constexpr com::HRESULT kConnectionLost = com::hr(0x80044E04);

inline constexpr const char* kProgId = "trivex3.Host";

class QmHost final : public com::Dispatchable<QmHost> {
 public:
  QmHost();
  ~QmHost() override;
  static const com::Members<QmHost>& members();

  void connect();
  void callHost(const std::string& program, com::Variant& palmInfo, com::Variant& fromPalm, com::Variant& toPalm);
  void disconnect();
  bool connected() const;

 private:
  [[noreturn]] void fail(com::HRESULT number, const std::string& description) const;
  void forgetPassword();

  std::string hostName_, dataSource_, accountPath_, userName_, password_;
  bool doaAware_ = false;
  std::int16_t uniType_ = 0;
  std::unique_ptr<Session> session_;
  std::string lostWhy_;  // why the last connection ended under a call
};

}  // namespace pelorix::qm
