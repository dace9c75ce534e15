#pragma once
// PALM.INFO, the first argument of every call of a host subroutine: the
// request code, the sync type, the HotSync's information text, the
// database and its dates, and the user's date, separated by AM.

#include <cstdint>
#include <string>

#include "com/variant.h"
#include "palm/pddirect.h"

namespace pelorix::host {

// Takes the HotSync information object into `hotSyncInfo` on first use and
// keeps it there; errors of the suite reach the caller.
std::string buildPalmInfo(std::int16_t code, com::Ref<pddirect::IPDHotSyncInfo>& hotSyncInfo,
                          const std::string& palmDatabaseName, const com::DateTime& modDate,
                          const com::DateTime& createDate);

}  // namespace pelorix::host
