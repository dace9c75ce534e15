#pragma once
// The contract between the class registry and a library that serves classes.
// A server library exports, with C linkage:
//   HRESULT DllGetClassObject(const char* clsid, ClassFactory** factory)
//       hands out a factory with one reference that the caller owns;
//   HRESULT DllCanUnloadNow()          kOk when no object of it is alive;
//   HRESULT DllRegisterServer()        enters its classes in the registry;
//   HRESULT DllUnregisterServer()      takes them out again.

#include <string>

#include "com/com_error.h"
#include "com/object.h"

namespace pelorix::com {

class ClassFactory : public Object {
 public:
  virtual Ref<Object> CreateInstance() = 0;
};

using DllGetClassObjectFn = HRESULT (*)(const char* clsid, ClassFactory** factory);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

inline constexpr HRESULT kClassNotAvailable = hr(0x80040111);   // CLASS_E_CLASSNOTAVAILABLE
inline constexpr HRESULT kSelfRegisterFailed = hr(0x80040201);  // SELFREG_E_CLASS

// The file of the library (or program) that holds `address`.
std::string libraryPathOf(const void* address);

}  // namespace pelorix::com
