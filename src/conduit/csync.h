#pragma once
// One HotSync of one Palm application: reads the sync type, and for the
// record-moving types opens each handheld database, opens the PC store for
// it, reconciles the categories and runs the transfer.

#include <string>
#include <unordered_set>

#include "com/object.h"
#include "host/cmvdata.h"
#include "palm/pddirect.h"

namespace pelorix::conduit {

class CSync : public com::Object {
 public:
  void Synchronize();

  // The PC store to use; the sync creates a CMVData when none was given.
  void setPCStore(com::Ref<host::CMVData> store) { pc_ = std::move(store); }

 private:
  void SyncDatabases();
  void OpenPalmDatabase(const std::string& name);
  bool OpenPCDatabase();
  void SyncCategories();
  void FastSync();
  void SlowSync();
  void CopyToPC();
  void CopyToPalm();
  // The first pass of the fast and the slow sync: the handheld's records
  // (only the changed ones for the fast sync) go to the host.
  void handheldToPC(bool modifiedOnly);
  // Their second pass: the host's records (only the changed ones for the
  // fast sync) go to the handheld, then the host hears of the new ids.
  void hostToHandheld(bool modifiedOnly);
  // A record the host created goes to the handheld, which gives it an id.
  void writeNewRecord(std::int32_t pcIndex, com::Variant& id, std::int32_t category, std::int32_t attributes,
                      const com::Variant& data);
  // Saves the handheld, then tells the host the new ids (request 5).
  void notifyHost();
  // Runs the transfer of the sync type and tells the handheld whether it
  // completed, so that its changes are kept or dropped as one.
  void runTransfer(std::int32_t syncType);

  void log(const std::string& suffix, std::int32_t activity, bool flag1, bool flag2);
  pddirect::IPDDatabaseQuery& query();
  host::CMVData& pc();
  pddirect::IPDUtility& utility();
  pddirect::IPDRecordAdapter& adapter();

  com::Ref<pddirect::IPDHotSyncInfo> info_;
  com::Ref<pddirect::IPDDatabaseQuery> query_;
  com::Ref<pddirect::IPDRecordAdapter> adapter_;
  com::Ref<host::CMVData> pc_;
  com::Ref<pddirect::IPDUtility> utility_;
  // Host keys whose new id this transfer reports itself.
  std::unordered_set<std::string> reportedKeys_;
  std::string categoryFailure_;
};

}  // namespace pelorix::conduit
