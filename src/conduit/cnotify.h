#pragma once
// Pelx.CNotify: the class the HotSync Manager creates and calls.

#include <cstdint>
#include <string>

#include "com/dispatch.h"

namespace pelorix::conduit {

class CNotify : public com::Dispatchable<CNotify> {
 public:
  static const com::Members<CNotify>& members();
  // Unloads the dialogs this component has loaded (they live in pelorix_dialogs).
  ~CNotify() override;

  // Runs the HotSync of one application; False in every case.
  bool IPDClientNotify_BeginProcess();
  void IPDClientNotify_ConfigureConduit(const std::string& pPathName, const std::string& pRegistry,
                                        std::int32_t& nSyncPref, std::int32_t& nSyncType);
  com::Variant IPDClientNotify_GetConduitInfo(std::int32_t infoType, std::int32_t dwCreatorId, std::int32_t dwUserId,
                                              const std::string& bstrUserName);
  void IPDClientNotify_CfgConduit(std::int32_t nCreatorId, std::int32_t nUserId, const std::string& bstrUserName,
                                  const std::string& bstrPathName, std::int32_t& nSyncPerm, std::int32_t& nSyncTemp,
                                  std::int32_t& nSyncNew, std::int32_t& nSyncPref);
  void ShowSetup();
  void UnInstall();
};

inline constexpr const char* kNotifyProgId = "Pelx.CNotify";
inline constexpr const char* kNotifyClsid = "{5E1A0C12-7B3D-4C1F-9A2E-50454C580001}";

}  // namespace pelorix::conduit
