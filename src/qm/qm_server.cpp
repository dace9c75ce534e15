// The connector library's four server exports. It serves trivex3.Host; its
// registration takes the ProgID over from whichever library served it, and
// its unregistration removes only entries that name this library.

#include <strings.h>

#include "com/server.h"
#include "connector/live_objects.h"
#include "desktop/class_registry.h"
#include "qm/qm_host.h"

using namespace pelorix;

namespace {

constexpr const char* kClsid = "{5E1A0C12-7B3D-4C1F-9A2E-514D43000003}";

class HostFactory final : public com::ClassFactory {
 public:
  com::Ref<com::Object> CreateInstance() override { return com::make<qm::QmHost>(); }
};

std::string thisLibrary();

}  // namespace

extern "C" {

__attribute__((visibility("default"))) com::HRESULT DllGetClassObject(const char* clsid, com::ClassFactory** factory) {
  if (!factory) return com::err::kInvalidArgument;
  *factory = nullptr;
  if (!clsid || strcasecmp(clsid, kClsid) != 0) return com::kClassNotAvailable;
  *factory = new HostFactory();
  (*factory)->AddRef();
  return com::err::kOk;
}

__attribute__((visibility("default"))) com::HRESULT DllCanUnloadNow() {
  return connector::liveObjects() == 0 ? com::err::kOk : com::err::kFalse;
}

__attribute__((visibility("default"))) com::HRESULT DllRegisterServer() {
  return desktop::ClassRegistry::changeRegistration([](desktop::SettingsStore& store) {
    desktop::ClassRegistry::registerServer(store, qm::kProgId, kClsid, thisLibrary());
  });
}

__attribute__((visibility("default"))) com::HRESULT DllUnregisterServer() {
  return desktop::ClassRegistry::changeRegistration([](desktop::SettingsStore& store) {
    auto entry = desktop::ClassRegistry::lookup(store, qm::kProgId);
    if (entry && strcasecmp(entry->first.c_str(), kClsid) == 0)
      desktop::ClassRegistry::unregisterServer(store, qm::kProgId, kClsid);
    else
      // Another library serves the ProgID now: only our class entry goes.
      store.removeKey(std::string("Software\\Classes\\CLSID\\") + kClsid);
  });
}
}

namespace {
std::string thisLibrary() { return com::libraryPathOf(reinterpret_cast<const void*>(&DllRegisterServer)); }
}  // namespace
