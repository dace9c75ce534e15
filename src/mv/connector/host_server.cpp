// The connector library's four server exports: it serves trivex1.Host,
// trivex2.Host and trivex3.Host, all three with the embedded host.

#include <strings.h>

#include "com/server.h"
#include "connector/live_objects.h"
#include "desktop/class_registry.h"
#include "mv/connector/embedded_host.h"

using namespace pelorix;

namespace {

struct HostClass {
  int type;
  const char* progId;
  const char* clsid;
};

constexpr HostClass kClasses[] = {
    {1, "trivex1.Host", "{5E1A0C12-7B3D-4C1F-9A2E-50454C580011}"},
    {2, "trivex2.Host", "{5E1A0C12-7B3D-4C1F-9A2E-50454C580012}"},
    {3, "trivex3.Host", "{5E1A0C12-7B3D-4C1F-9A2E-50454C580013}"},
};

class HostFactory final : public com::ClassFactory {
 public:
  explicit HostFactory(int type) : type_(type) {}
  com::Ref<com::Object> CreateInstance() override { return com::make<mv::EmbeddedHost>(type_); }

 private:
  int type_;
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) com::HRESULT DllGetClassObject(const char* clsid, com::ClassFactory** factory) {
  if (!factory) return com::err::kInvalidArgument;
  *factory = nullptr;
  if (!clsid) return com::kClassNotAvailable;
  for (const HostClass& c : kClasses) {
    if (strcasecmp(clsid, c.clsid) != 0) continue;
    *factory = new HostFactory(c.type);
    (*factory)->AddRef();
    return com::err::kOk;
  }
  return com::kClassNotAvailable;
}

__attribute__((visibility("default"))) com::HRESULT DllCanUnloadNow() {
  return connector::liveObjects() == 0 ? com::err::kOk : com::err::kFalse;
}

__attribute__((visibility("default"))) com::HRESULT DllRegisterServer() {
  return desktop::ClassRegistry::changeRegistration([](desktop::SettingsStore& store) {
    std::string library = com::libraryPathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    for (const HostClass& c : kClasses) desktop::ClassRegistry::registerServer(store, c.progId, c.clsid, library);
  });
}

__attribute__((visibility("default"))) com::HRESULT DllUnregisterServer() {
  return desktop::ClassRegistry::changeRegistration([](desktop::SettingsStore& store) {
    for (const HostClass& c : kClasses) desktop::ClassRegistry::unregisterServer(store, c.progId, c.clsid);
  });
}
}
