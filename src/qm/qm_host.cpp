#include "qm/qm_host.h"

#include <string.h>

#include "qm/qm_session.h"

namespace pelorix::qm {

using com::Variant;

namespace {

com::HRESULT numberOf(Failure failure) {
  switch (failure) {
    case Failure::Unreachable:
    case Failure::Refused:
    case Failure::NoAccount: return kConnectFailed;
    case Failure::NotCatalogued:
    case Failure::Aborted: return kProgramFailed;
    case Failure::Lost: break;
  }
  return kConnectionLost;
}

}  // namespace

QmHost::QmHost() = default;

QmHost::~QmHost() {
  disconnect();
  forgetPassword();
}

bool QmHost::connected() const { return session_ && session_->alive(); }

void QmHost::fail(com::HRESULT number, const std::string& description) const {
  com::raise(number, kProgId, description);
}

void QmHost::setPassword(const std::string& password) {
  forgetPassword();
  password_ = password;
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
    fail(kNotConnected,
         lostWhy_.empty() ? "Not connected: call Connect before CallHost" : "Not connected: " + lostWhy_);
  std::string info = palmInfo.toText(), from = fromPalm.toText(), to = toPalm.toText();
  try {
    toPalm = Variant(session_->call(program, info, from, to));
  } catch (const SessionError& e) {
    if (!session_->alive()) lostWhy_ = e.what();
    fail(numberOf(e.failure()), e.what());
  }
}

void QmHost::disconnect() { session_.reset(); }

}  // namespace pelorix::qm
