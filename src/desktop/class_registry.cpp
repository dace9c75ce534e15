#include "desktop/class_registry.h"

#include <dlfcn.h>

#include <filesystem>

#include "com/com_error.h"
#include "com/server.h"

namespace pelorix::desktop {

using com::raise;
namespace err = com::err;
using com::ClassFactory;
using com::DllCanUnloadNowFn;
using com::DllGetClassObjectFn;
using com::DllRegisterServerFn;
using com::HRESULT;

namespace {
std::string classesKey(const std::string& name) { return "Software\\Classes\\" + name; }
}  // namespace

ClassRegistry& ClassRegistry::instance() {
  static ClassRegistry registry;
  return registry;
}

void ClassRegistry::addBuiltin(const std::string& progId, Factory factory) { builtins_[progId] = std::move(factory); }

void ClassRegistry::removeBuiltin(const std::string& progId) { builtins_.erase(progId); }

void ClassRegistry::registerServer(SettingsStore& store, const std::string& progId, const std::string& clsid,
                                   const std::string& libraryPath) {
  store.update([&](SettingsTree& tree) {
    tree[classesKey(progId + "\\CLSID")][""] = clsid;
    tree[classesKey("CLSID\\" + clsid)][""] = progId;
    tree[classesKey("CLSID\\" + clsid + "\\InprocServer32")][""] = libraryPath;
    tree[classesKey("CLSID\\" + clsid + "\\ProgID")][""] = progId;
  });
}

void ClassRegistry::unregisterServer(SettingsStore& store, const std::string& progId, const std::string& clsid) {
  store.removeKey(classesKey(progId));
  store.removeKey(classesKey("CLSID\\" + clsid));
}

std::optional<std::pair<std::string, std::string>> ClassRegistry::lookup(const SettingsStore& store,
                                                                         const std::string& progId) {
  SettingsTree tree = store.load();
  auto id = tree.find(classesKey(progId + "\\CLSID"));
  if (id == tree.end() || !id->second.count("")) return std::nullopt;
  std::string clsid = id->second.at("");
  auto server = tree.find(classesKey("CLSID\\" + clsid + "\\InprocServer32"));
  if (server == tree.end() || !server->second.count("")) return std::nullopt;
  return std::make_pair(clsid, server->second.at(""));
}

void* ClassRegistry::load(const std::string& path) {
  if (auto found = libraries_.find(path); found != libraries_.end()) return found->second;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    raise(err::kDllNotFound, "ClassRegistry", "Cannot load " + path + ": " + (why ? why : "unknown error"));
  }
  libraries_[path] = handle;
  return handle;
}

Ref<Object> ClassRegistry::create(const std::string& progId) {
  if (auto builtin = builtins_.find(progId); builtin != builtins_.end()) return builtin->second();

  SettingsStore store = SettingsStore::user();
  auto entry = lookup(store, progId);
  if (!entry) raise(err::kClassNotRegistered, "ClassRegistry", "Class not registered: " + progId);
  const auto& [clsid, path] = *entry;
  void* handle = load(path);
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
  if (!getClassObject) raise(err::kDllNotFound, "ClassRegistry", path + " does not export DllGetClassObject");
  ClassFactory* factory = nullptr;
  HRESULT result = getClassObject(clsid.c_str(), &factory);
  if (result < 0 || !factory)
    raise(result < 0 ? result : err::kClassNotRegistered, "ClassRegistry",
          path + " does not serve " + progId + " (" + clsid + ")");
  Ref<ClassFactory> owned(factory);
  factory->Release();  // the Ref holds the reference handed out
  return owned->CreateInstance();
}

namespace {
void runExport(void* handle, const std::string& path, const char* name) {
  auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, name));
  if (!fn) raise(err::kDllNotFound, "ClassRegistry", path + " does not export " + name);
  HRESULT result = fn();
  if (result < 0) raise(result, "ClassRegistry", std::string(name) + " of " + path + " failed");
}
}  // namespace

void ClassRegistry::registerLibrary(const std::string& path) { runExport(load(path), path, "DllRegisterServer"); }

void ClassRegistry::unregisterLibrary(const std::string& path) { runExport(load(path), path, "DllUnregisterServer"); }

void ClassRegistry::freeUnusedLibraries() {
  for (auto it = libraries_.begin(); it != libraries_.end();) {
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(it->second, "DllCanUnloadNow"));
    if (canUnload && canUnload() == err::kOk) {
      ::dlclose(it->second);
      it = libraries_.erase(it);
    } else {
      ++it;
    }
  }
}

HRESULT ClassRegistry::changeRegistration(const std::function<void(SettingsStore&)>& change) noexcept {
  try {
    SettingsStore store = SettingsStore::user();
    change(store);
    return com::err::kOk;
  } catch (...) {
    return com::kSelfRegisterFailed;
  }
}

}  // namespace pelorix::desktop
