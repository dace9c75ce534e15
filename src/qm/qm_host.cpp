#include "qm/qm_host.h"

#include <string.h>

#include "qm/qm_array.h"
#include "qm/qm_live_objects.h"
#include "qm/qm_session.h"

namespace pelorix::qm {

using com::Variant;
using Args = std::span<Variant>;

namespace {

std::string arrayText(const Variant& v) {
  if (v.type() == Variant::Type::Object)
    if (auto array = com::query<DynamicArray>(v.toObject())) return array->text();
  return v.toText();
}

int position(Args args, size_t n) { return args.size() > n ? args[n].toInt32() : 0; }

Variant dcount(Args args) {
  std::string delimiter = com::argument(args, 0, "Dcount").toText();
  const Variant& array = com::argument(args, 1, "Dcount");
  if (array.type() == Variant::Type::Object && delimiter == std::string(1, kAM))
    if (auto object = com::query<DynamicArray>(array.toObject())) return Variant(object->attributeCount());
  return Variant(static_cast<std::int32_t>(countElements(arrayText(array), delimiter)));
}

Variant extract(Args args) {
  const Variant& array = com::argument(args, 0, "Extract");
  int attribute = com::argument(args, 1, "Extract").toInt32();
  if (array.type() == Variant::Type::Object)
    if (auto object = com::query<DynamicArray>(array.toObject()))
      return Variant(object->extract(attribute, position(args, 2), position(args, 3)));
  return Variant(DynamicArray(arrayText(array)).extract(attribute, position(args, 2), position(args, 3)));
}

com::HRESULT numberOf(Failure failure) {
  switch (failure) {
    case Failure::Unreachable:
    case Failure::Refused:
    case Failure::NoAccount:
      return kConnectFailed;
    case Failure::NotCatalogued:
    case Failure::Aborted:
      return kProgramFailed;
    case Failure::Lost:
      break;
  }
  return kConnectionLost;
}

}  // namespace

QmHost::QmHost() { ++liveObjects(); }

QmHost::~QmHost() {
  disconnect();
  forgetPassword();
  --liveObjects();
}

bool QmHost::connected() const { return session_ && session_->alive(); }

void QmHost::fail(com::HRESULT number, const std::string& description) const {
  com::raise(number, kProgId, description);
}

void QmHost::forgetPassword() {
  ::explicit_bzero(password_.data(), password_.size());
  password_.clear();
}

void QmHost::connect() {
  disconnect();
  lostWhy_.clear();
  try {
    Endpoint endpoint = parseEndpoint(hostName_, !password_.empty());
    session_ = endpoint.local ? Session::openLocal(accountPath_)
                              : Session::openNetwork(endpoint, userName_, password_, accountPath_);
  } catch (const SessionError& e) {
    fail(kConnectFailed, e.what());
  }
}

void QmHost::callHost(const std::string& program, Variant& palmInfo, Variant& fromPalm, Variant& toPalm) {
  if (!connected())
    fail(kNotConnected, lostWhy_.empty() ? "Not connected: call Connect before CallHost"
                                         : "Not connected: " + lostWhy_);
  std::string info = palmInfo.toText(), from = fromPalm.toText(), to = toPalm.toText();
  try {
    toPalm = Variant(session_->call(program, info, from, to));
  } catch (const SessionError& e) {
    if (!session_->alive()) lostWhy_ = e.what();
    fail(numberOf(e.failure()), e.what());
  }
}

void QmHost::disconnect() { session_.reset(); }

const com::Members<QmHost>& QmHost::members() {
  using H = QmHost;
  static const auto table =
      com::Members<H>()
          .property("HostName", [](H& h, Args) { return Variant(h.hostName_); },
                    [](H& h, Args, const Variant& v) { h.hostName_ = v.toText(); })
          .property("ODBCDataSource", [](H& h, Args) { return Variant(h.dataSource_); },
                    [](H& h, Args, const Variant& v) { h.dataSource_ = v.toText(); })
          .property("DOAAware", [](H& h, Args) { return Variant(h.doaAware_); },
                    [](H& h, Args, const Variant& v) { h.doaAware_ = v.toBool(); })
          .property("AcctPath", [](H& h, Args) { return Variant(h.accountPath_); },
                    [](H& h, Args, const Variant& v) { h.accountPath_ = v.toText(); })
          .property("UserName", [](H& h, Args) { return Variant(h.userName_); },
                    [](H& h, Args, const Variant& v) { h.userName_ = v.toText(); })
          // The password can be set, never read back.
          .property("Passwd", [](H&, Args) { return Variant(std::string()); },
                    [](H& h, Args, const Variant& v) {
                      h.forgetPassword();
                      h.password_ = v.toText();
                    })
          .property("unitype", [](H& h, Args) { return Variant(h.uniType_); },
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
          .method("CreateDynamicArray",
                  [](H&, Args args) {
                    return Variant(com::make<DynamicArray>(arrayText(com::argument(args, 0, "CreateDynamicArray"))));
                  })
          .method("Dcount", [](H&, Args args) { return dcount(args); })
          .method("Extract", [](H&, Args args) { return extract(args); })
          .method("Disconnect", [](H& h, Args) {
            h.disconnect();
            return Variant();
          });
  return table;
}

}  // namespace pelorix::qm
