// The component's four server exports: it serves Pelx.CNotify.

#include <atomic>

#include "com/server.h"
#include "conduit/cnotify.h"
#include "desktop/class_registry.h"

using namespace pelorix;

namespace {

std::atomic<long> liveObjects{0};

// Counts the objects the component handed out, for DllCanUnloadNow.
class CountedNotify final : public conduit::CNotify {
 public:
  CountedNotify() { ++liveObjects; }
  ~CountedNotify() override { --liveObjects; }
};

class NotifyFactory final : public com::ClassFactory {
 public:
  com::Ref<com::Object> CreateInstance() override { return com::make<CountedNotify>(); }
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) com::HRESULT DllGetClassObject(const char* clsid, com::ClassFactory** factory) {
  if (!factory) return com::err::kInvalidArgument;
  *factory = nullptr;
  if (!clsid || std::string(clsid) != conduit::kNotifyClsid) return com::kClassNotAvailable;
  *factory = new NotifyFactory();
  (*factory)->AddRef();
  return com::err::kOk;
}

__attribute__((visibility("default"))) com::HRESULT DllCanUnloadNow() {
  return liveObjects == 0 ? com::err::kOk : com::err::kFalse;
}

__attribute__((visibility("default"))) com::HRESULT DllRegisterServer() {
  return desktop::ClassRegistry::changeRegistration([](desktop::SettingsStore& store) {
    desktop::ClassRegistry::registerServer(store, conduit::kNotifyProgId, conduit::kNotifyClsid,
                                           com::libraryPathOf(reinterpret_cast<const void*>(&DllRegisterServer)));
  });
}

__attribute__((visibility("default"))) com::HRESULT DllUnregisterServer() {
  return desktop::ClassRegistry::changeRegistration([](desktop::SettingsStore& store) {
    desktop::ClassRegistry::unregisterServer(store, conduit::kNotifyProgId, conduit::kNotifyClsid);
  });
}
}
