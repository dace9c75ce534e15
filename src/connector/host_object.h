#pragma once
// What every host connector plug-in serves: the members of the connector
// contract, late-bound by name, over the settings the conduit sets. A
// connector supplies how it connects, calls a subroutine and disconnects.

#include <cstdint>
#include <string>

#include "com/dispatch.h"

namespace pelorix::connector {

// Errors every connector raises alike, so that the conduit reports them
// alike; the source is the ProgID, the description says what went wrong in
// words a user can act on.
inline constexpr com::HRESULT kConnectFailed = com::hr(0x80044E01);
inline constexpr com::HRESULT kProgramFailed = com::hr(0x80044E02);
inline constexpr com::HRESULT kNotConnected = com::hr(0x80044E03);
inline constexpr com::HRESULT kConnectionLost = com::hr(0x80044E04);

class HostObject : public com::Dispatchable<HostObject> {
 public:
  HostObject();
  ~HostObject() override;
  static const com::Members<HostObject>& members();

  virtual void connect() = 0;
  virtual void callHost(const std::string& program, com::Variant& palmInfo, com::Variant& fromPalm,
                        com::Variant& toPalm) = 0;
  virtual void disconnect() = 0;

 protected:
  // The password can be set, never read back.
  virtual void setPassword(const std::string& password) { password_ = password; }

  std::string hostName_, dataSource_, accountPath_, userName_, password_;
  bool doaAware_ = false;
  std::int16_t uniType_ = 0;
};

}  // namespace pelorix::connector
