#include "host/palm_info.h"

#include "base/marks.h"
#include "records/mod_pelx.h"

namespace pelorix::host {

std::string buildPalmInfo(std::int16_t code, com::Ref<pddirect::IPDHotSyncInfo>& hotSyncInfo,
                          const std::string& palmDatabaseName, const com::DateTime& modDate,
                          const com::DateTime& createDate) {
  com::Ref<pddirect::IPDConduitSupport> support;
  if (!hotSyncInfo) {
    support = pddirect::newConduitSupport();
    hotSyncInfo = support->GetHotSyncInfo();
  }
  if (!support) support = pddirect::newConduitSupport();
  com::DateTime userDate = support->GetUserInfo()->UserDate();
  const std::string am(1, kAttributeMark);
  return std::to_string(code) + am + std::to_string(hotSyncInfo->SyncType()) + am + hotSyncInfo->InfoText() + am +
         palmDatabaseName + am + std::to_string(records::DateToMvDate(modDate)) + am +
         std::to_string(records::DateToMvDate(createDate)) + am + std::to_string(records::DateToMvDate(userDate));
}

}  // namespace pelorix::host
