#pragma once
// The host connector "trivex<N>.Host", reached late-bound by member name
// exactly as the conduit calls it. Any error it raises is a ComError.

#include <cstdint>
#include <string>

#include "base/marks.h"
#include "com/object.h"
#include "com/variant.h"

namespace pelorix::host {

class HostConnector {
 public:
  explicit HostConnector(com::Ref<com::Object> object);
  // Creates "trivex" + type + ".Host" through the class registry.
  static HostConnector create(std::int32_t connectionType);
  static std::string progIdFor(std::int32_t connectionType);

  void HostName(const std::string& value);
  void ODBCDataSource(const std::string& value);
  void DOAAware(bool value);
  void AcctPath(const std::string& value);
  void UserName(const std::string& value);
  void Passwd(const std::string& value);
  void unitype(std::int16_t value);

  void Connect();
  // Runs the subroutine; TO.PALM receives what it leaves in its third
  // argument. FROM.PALM travels by reference but its changes are dropped.
  void CallHost(const std::string& program, const std::string& palmInfo, const std::string& fromPalm,
                std::string& toPalm);
  com::Variant CreateDynamicArray(const std::string& text);
  std::int32_t Dcount(com::Variant& array);  // elements separated by AM
  // The element number travels as a 16-bit number when it fits one, else as
  // a 32-bit one, so that answers of more than 32,767 records can be split.
  std::string Extract(com::Variant& array, std::int32_t element);
  void Disconnect();

  com::Object& object() const { return *object_; }

 private:
  com::Ref<com::Object> object_;
};

}  // namespace pelorix::host
