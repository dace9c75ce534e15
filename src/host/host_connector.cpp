#include "host/host_connector.h"

#include "com/dispatch.h"
#include "desktop/class_registry.h"

namespace pelorix::host {

using com::Arg;
using com::Variant;

HostConnector::HostConnector(com::Ref<com::Object> object) : object_(std::move(object)) {}

std::string HostConnector::progIdFor(std::int32_t connectionType) {
  return "trivex" + std::to_string(connectionType) + ".Host";
}

HostConnector HostConnector::create(std::int32_t connectionType) {
  return HostConnector(desktop::ClassRegistry::instance().create(progIdFor(connectionType)));
}

void HostConnector::HostName(const std::string& value) { com::putProperty(*object_, "HostName", value); }
void HostConnector::ODBCDataSource(const std::string& value) { com::putProperty(*object_, "ODBCDataSource", value); }
void HostConnector::DOAAware(bool value) { com::putProperty(*object_, "DOAAware", value); }
void HostConnector::AcctPath(const std::string& value) { com::putProperty(*object_, "AcctPath", value); }
void HostConnector::UserName(const std::string& value) { com::putProperty(*object_, "UserName", value); }
void HostConnector::Passwd(const std::string& value) { com::putProperty(*object_, "Passwd", value); }
void HostConnector::unitype(std::int16_t value) { com::putProperty(*object_, "unitype", value); }

void HostConnector::Connect() { com::callMethod(*object_, "Connect"); }

void HostConnector::CallHost(const std::string& program, const std::string& palmInfo, const std::string& fromPalm,
                             std::string& toPalm) {
  Variant from(fromPalm), to(std::string{});
  com::callMethod(*object_, "CallHost", {program, palmInfo, Arg::ref(from), Arg::ref(to)});
  toPalm = to.toText();
}

Variant HostConnector::CreateDynamicArray(const std::string& text) {
  Variant value(text);
  return com::callMethod(*object_, "CreateDynamicArray", {Arg::ref(value)});
}

std::int32_t HostConnector::Dcount(Variant& array) {
  std::int16_t zero = 0;
  return com::callMethod(*object_, "Dcount", {std::string(1, kAttributeMark), Arg::ref(array), zero, zero, zero})
      .toInt32();
}

std::string HostConnector::Extract(Variant& array, std::int32_t element) {
  Variant n =
      element >= INT16_MIN && element <= INT16_MAX ? Variant(static_cast<std::int16_t>(element)) : Variant(element);
  std::int16_t zero = 0;
  return com::callMethod(*object_, "Extract", {Arg::ref(array), Arg::ref(n), zero, zero}).toText();
}

void HostConnector::Disconnect() { com::callMethod(*object_, "Disconnect"); }

}  // namespace pelorix::host
