// The record transfers of the four record-moving sync types. Each throws on
// the error that ends it; runTransfer catches it and reports the database as
// not synchronised, and the next database still runs.
//
// The handheld is saved (Checkpoint) before a request tells the host of
// its new state (the new ids of request 5): a failure after that point
// keeps the handheld as the host now believes it is, and the ids the host
// has not confirmed are kept so that the next HotSync neither loses nor
// duplicates those records.

#include "conduit/csync.h"
#include "palm/record_attributes.h"

namespace pelorix::conduit {

using com::Variant;

namespace {

constexpr std::int32_t kDeletedOrArchived = palm::attr::kDeleted | palm::attr::kArchived;
constexpr std::int32_t kModified = palm::attr::kDirty;

bool isNew(const Variant& id) { return id.isUnsetZeroOrEmpty(); }

}  // namespace

void CSync::handheldToPC(bool modifiedOnly) {
  pddirect::IPDRecordAdapter& palm = adapter();
  host::CMVData& pc = this->pc();
  std::int32_t index = 0, category = 0, attributes = 0;
  Variant id;
  auto next = [&] {
    return modifiedOnly ? palm.ReadNextModified(index, id, category, attributes)
                        : palm.ReadNext(index, id, category, attributes);
  };

  palm.IteratorIndex(0);
  Variant data = next();
  while (!palm.AtEnd()) {
    if (attributes & kDeletedOrArchived) {
      pc.DeleteRecord(id, category, attributes, data);
    } else {
      data = pc.ReviewRecord(id, category, attributes, data);
      if (attributes & kModified) palm.WriteRecord(id, category, attributes, data);
    }
    data = next();
  }
}

void CSync::writeNewRecord(std::int32_t pcIndex, Variant& id, std::int32_t category, std::int32_t attributes,
                           const Variant& data) {
  if (data.bytes().empty()) return;  // the handheld cannot hold it; the PC store said why
  pddirect::IPDRecordAdapter& palm = adapter();
  std::string key = pc().HostKey(pcIndex);
  // Given an id by a HotSync that ended before the host learnt it: written
  // over that record, never added twice.
  if (!key.empty()) id = palm.PendingId(key);
  palm.WriteRecord(id, category, attributes, data);
  if (!key.empty()) {
    palm.KeepNewId(key, id);
    reportedKeys_.insert(key);
  }
  pc().UpdateRecordNo(pcIndex, id);
}

void CSync::notifyHost() {
  pddirect::IPDRecordAdapter& palm = adapter();
  for (const auto& [key, id] : palm.PendingIds())
    if (!reportedKeys_.count(key)) pc().AddNewId(id, key);
  palm.Checkpoint(true);
  pc().NotifyDatabase();
}

void CSync::hostToHandheld(bool modifiedOnly) {
  pddirect::IPDRecordAdapter& palm = adapter();
  host::CMVData& pc = this->pc();
  std::int32_t category = 0, attributes = 0;
  Variant id, data;

  pc.RecordIndex = 0;
  std::int32_t pcIndex = 0;
  auto next = [&] {
    return modifiedOnly ? pc.ReadNextModified(pcIndex, id, category, attributes)
                        : pc.ReadNextNotReview(pcIndex, id, category, attributes);
  };
  while (next()) {
    if (isNew(id)) {
      data = pc.ReadByIndex(pcIndex, id, category, attributes);
      writeNewRecord(pcIndex, id, category, attributes, data);
    } else if (attributes & kDeletedOrArchived) {
      try {
        palm.RemoveRecord(id);
      } catch (const std::exception&) {
      }
    } else if (!modifiedOnly) {
      data = pc.ReadByIndex(pcIndex, id, category, attributes);
      if ((attributes & kModified) && !data.bytes().empty()) palm.WriteRecord(id, category, attributes, data);
    } else {
      std::int32_t palmIndex = 0;
      bool missing = false;
      try {
        data = palm.ReadById(palmIndex, id, category, attributes);
      } catch (const com::ComError& e) {
        missing = e.number() == com::err::kRecordNotFound;
      } catch (const std::exception&) {
      }
      if (missing) {
        data = pc.ReadByIndex(pcIndex, id, category, attributes);
        if (!data.bytes().empty()) palm.WriteRecord(id, category, attributes, data);
      } else {
        data = pc.ReviewRecord(id, category, attributes, data);
        if (attributes & kModified) palm.WriteRecord(id, category, attributes, data);
      }
    }
  }

  notifyHost();
  palm.RemoveSet(1, 255);
}

void CSync::FastSync() {
  log(" - Sync configured to FastSync", -1, true, false);
  handheldToPC(true);
  pc().RequestInformation();
  hostToHandheld(true);
}

void CSync::SlowSync() {
  log(" - Sync configured to SlowSync", -1, true, false);
  handheldToPC(false);
  pc().RequestInformation();
  hostToHandheld(false);
}

void CSync::CopyToPC() {
  pddirect::IPDRecordAdapter& palm = adapter();
  host::CMVData& pc = this->pc();
  std::int32_t index = 0, category = 0, attributes = 0;
  Variant id;

  pc.RemoveAllRecords();
  palm.IteratorIndex(0);
  Variant data = palm.ReadNext(index, id, category, attributes);
  while (!palm.AtEnd()) {
    if (!(attributes & kDeletedOrArchived)) pc.WriteRecord(id, category, attributes, data);
    data = palm.ReadNext(index, id, category, attributes);
  }
  pc.RequestInformation();
  palm.RemoveSet(1, 255);
}

void CSync::CopyToPalm() {
  pddirect::IPDRecordAdapter& palm = adapter();
  host::CMVData& pc = this->pc();
  std::int32_t category = 0, attributes = 0;
  Variant id;

  try {
    palm.RemoveSet(0, 255);
  } catch (const std::exception&) {
  }
  // Not ignored: the handheld was emptied above, and going on would save
  // it empty. The transfer fails instead, and the handheld stays as it was.
  pc.RequestInformation();
  std::int32_t count = 0;
  try {
    count = pc.RecordCount();
  } catch (const std::exception&) {
  }
  for (std::int32_t i = 1; i <= count; ++i) {
    Variant data = pc.ReadByIndex(i, id, category, attributes);
    // The handheld was emptied: leaving the record out would lose it there.
    if (data.bytes().empty() && !(attributes & kDeletedOrArchived))
      com::raise(com::err::kFail, "CopyToPalm", pc.takeUnwritable().back());
    if (id.isEmpty() || (id.isNumeric() && id.toDouble() == 0)) {
      writeNewRecord(i, id, category, attributes, data);
    } else if (!(attributes & kDeletedOrArchived)) {
      palm.WriteRecord(id, category, attributes, data);
    }
  }
  notifyHost();
  pc.RemoveAllDeletedRecords();
}

}  // namespace pelorix::conduit
