#include "connector/host_object.h"

#include "connector/dynamic_array_object.h"
#include "connector/live_objects.h"

namespace pelorix::connector {

using com::Variant;
using Args = std::span<Variant>;

namespace {

// The text of an argument that may be an array object or plain text.
std::string arrayText(const Variant& v) {
  if (v.type() == Variant::Type::Object)
    if (auto array = com::query<DynamicArrayObject>(v.toObject())) return array->text();
  return v.toText();
}

int position(Args args, size_t n) { return args.size() > n ? args[n].toInt32() : 0; }

Variant dcount(Args args) {
  std::string delimiter = com::argument(args, 0, "Dcount").toText();
  const Variant& array = com::argument(args, 1, "Dcount");
  if (array.type() == Variant::Type::Object && delimiter == std::string(1, kAM))
    if (auto object = com::query<DynamicArrayObject>(array.toObject())) return Variant(object->attributeCount());
  return Variant(static_cast<std::int32_t>(countParts(arrayText(array), delimiter)));
}

Variant extract(Args args) {
  const Variant& array = com::argument(args, 0, "Extract");
  int attribute = com::argument(args, 1, "Extract").toInt32();
  if (array.type() == Variant::Type::Object)
    if (auto object = com::query<DynamicArrayObject>(array.toObject()))
      return Variant(object->extract(attribute, position(args, 2), position(args, 3)));
  return Variant(DynamicArrayObject(arrayText(array)).extract(attribute, position(args, 2), position(args, 3)));
}

}  // namespace

HostObject::HostObject() { ++liveObjects(); }

HostObject::~HostObject() { --liveObjects(); }

const com::Members<HostObject>& HostObject::members() {
  using H = HostObject;
  static const auto table =
      com::Members<H>()
          .property(
              "HostName", [](H& h, Args) { return Variant(h.hostName_); },
              [](H& h, Args, const Variant& v) { h.hostName_ = v.toText(); })
          .property(
              "ODBCDataSource", [](H& h, Args) { return Variant(h.dataSource_); },
              [](H& h, Args, const Variant& v) { h.dataSource_ = v.toText(); })
          .property(
              "DOAAware", [](H& h, Args) { return Variant(h.doaAware_); },
              [](H& h, Args, const Variant& v) { h.doaAware_ = v.toBool(); })
          .property(
              "AcctPath", [](H& h, Args) { return Variant(h.accountPath_); },
              [](H& h, Args, const Variant& v) { h.accountPath_ = v.toText(); })
          .property(
              "UserName", [](H& h, Args) { return Variant(h.userName_); },
              [](H& h, Args, const Variant& v) { h.userName_ = v.toText(); })
          .property(
              "Passwd", [](H&, Args) { return Variant(std::string()); },
              [](H& h, Args, const Variant& v) { h.setPassword(v.toText()); })
          .property(
              "unitype", [](H& h, Args) { return Variant(h.uniType_); },
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
          .method(
              "CreateDynamicArray",
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

}  // namespace pelorix::connector
