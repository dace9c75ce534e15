#pragma once
// Creates objects by ProgID: classes registered in this process first, then
// server libraries entered in the settings store under Software\Classes.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "com/object.h"
#include "com/server.h"
#include "desktop/settings_store.h"

namespace pelorix::desktop {

using com::Object;
using com::Ref;

class ClassRegistry {
 public:
  using Factory = std::function<Ref<Object>()>;

  static ClassRegistry& instance();

  void addBuiltin(const std::string& progId, Factory factory);
  void removeBuiltin(const std::string& progId);

  // kClassNotRegistered when no one serves the ProgID, kDllNotFound when its
  // library cannot be loaded.
  Ref<Object> create(const std::string& progId);

  // Loads a server library and runs its DllRegisterServer or
  // DllUnregisterServer; throws ComError naming the library on failure.
  void registerLibrary(const std::string& path);
  void unregisterLibrary(const std::string& path);

  // Unloads the libraries whose DllCanUnloadNow allows it.
  void freeUnusedLibraries();

  // Registry entries, as a server's DllRegisterServer writes them.
  static void registerServer(SettingsStore& store, const std::string& progId, const std::string& clsid,
                             const std::string& libraryPath);
  static void unregisterServer(SettingsStore& store, const std::string& progId, const std::string& clsid);
  // The body of a server library's DllRegisterServer or DllUnregisterServer:
  // `change` on the user's settings store, kSelfRegisterFailed if it throws.
  static com::HRESULT changeRegistration(const std::function<void(SettingsStore&)>& change) noexcept;
  // The class id and library registered for a ProgID.
  static std::optional<std::pair<std::string, std::string>> lookup(const SettingsStore& store,
                                                                   const std::string& progId);

 private:
  void* load(const std::string& path);

  std::map<std::string, Factory, NoCaseLess> builtins_;
  std::map<std::string, void*> libraries_;
};

}  // namespace pelorix::desktop
