// The record transfers of the four record-moving sync types. They need the
// PC record store, which this build does not have yet: each says so in the
// desktop's log and moves nothing.

#include "conduit/csync.h"
#include "conduit/desktop_log.h"

namespace pelorix::conduit {

namespace {
void unavailable(const char* transfer, const std::string& database) {
  desktopLog(std::string(transfer) + " of " + database + " is not available in this build; nothing was moved");
}
}  // namespace

void CSync::FastSync() { unavailable("FastSync", pc().PalmDatabaseName); }
void CSync::SlowSync() { unavailable("SlowSync", pc().PalmDatabaseName); }
void CSync::CopyToPC() { unavailable("CopyToPC", pc().PalmDatabaseName); }
void CSync::CopyToPalm() { unavailable("CopyToPalm", pc().PalmDatabaseName); }

}  // namespace pelorix::conduit
