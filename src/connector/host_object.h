#pragma once
// What every host connector plug-in serves: the members of the connector
// contract, late-bound by name, over the settings the conduit sets. A
// connector supplies how it connects, calls a subroutine and disconnects.

#include <cstdint>
#include <string>

#include "com/dispatch.h"

namespace pelorix::connector {

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
