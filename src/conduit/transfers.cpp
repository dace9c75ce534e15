// The record transfers of the four record-moving sync types. Each throws on
// the error that ends it; SyncDatabases catches it, so that the transfer
// ends without a log line and the next database still runs.

#include "com/desktop_log.h"
#include "conduit/csync.h"

namespace pelorix::conduit {

using com::Variant;

namespace {

constexpr std::int32_t kDeletedOrArchived = 0x88;
constexpr std::int32_t kModified = 0x40;

bool isNew(const Variant& id) { return id.isUnsetZeroOrEmpty(); }

}  // namespace

void CSync::FastSync() {
  log(" - Sync configured to FastSync", -1, true, false);
  pddirect::IPDRecordAdapter& palm = adapter();
  host::CMVData& pc = this->pc();
  std::int32_t index = 0, category = 0, attributes = 0;
  Variant id;

  palm.IteratorIndex(0);
  Variant data = palm.ReadNextModified(index, id, category, attributes);
  while (!palm.AtEnd()) {
    if (attributes & kDeletedOrArchived) {
      pc.DeleteRecord(id, category, attributes, data);
    } else {
      data = pc.ReviewRecord(id, category, attributes, data);
      if (attributes & kModified) palm.WriteRecord(id, category, attributes, data);
    }
    data = palm.ReadNextModified(index, id, category, attributes);
  }

  pc.RequestInformation();

  pc.RecordIndex = 0;
  std::int32_t pcIndex = 0;
  while (pc.ReadNextModified(pcIndex, id, category, attributes)) {
    if (isNew(id)) {
      data = pc.ReadByIndex(pcIndex, id, category, attributes);
      palm.WriteRecord(id, category, attributes, data);
      pc.UpdateRecordNo(pcIndex, id);
    } else if (attributes & kDeletedOrArchived) {
      try {
        palm.RemoveRecord(id);
      } catch (const std::exception&) {
      }
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
        palm.WriteRecord(id, category, attributes, data);
      } else {
        data = pc.ReviewRecord(id, category, attributes, data);
        if (attributes & kModified) palm.WriteRecord(id, category, attributes, data);
      }
    }
  }

  pc.NotifyDatabase();
  palm.RemoveSet(1, 255);
}

void CSync::SlowSync() {
  log(" - Sync configured to SlowSync", -1, true, false);
  pddirect::IPDRecordAdapter& palm = adapter();
  host::CMVData& pc = this->pc();
  std::int32_t index = 0, category = 0, attributes = 0;
  Variant id;

  palm.IteratorIndex(0);
  Variant data = palm.ReadNext(index, id, category, attributes);
  while (!palm.AtEnd()) {
    if (attributes & kDeletedOrArchived) {
      pc.DeleteRecord(id, category, attributes, data);
    } else {
      data = pc.ReviewRecord(id, category, attributes, data);
      if (attributes & kModified) palm.WriteRecord(id, category, attributes, data);
    }
    data = palm.ReadNext(index, id, category, attributes);
  }

  pc.RequestInformation();

  pc.RecordIndex = 0;
  std::int32_t pcIndex = 0;
  while (pc.ReadNextNotReview(pcIndex, id, category, attributes)) {
    if (isNew(id)) {
      data = pc.ReadByIndex(pcIndex, id, category, attributes);
      palm.WriteRecord(id, category, attributes, data);
      pc.UpdateRecordNo(pcIndex, id);
    } else if (attributes & kDeletedOrArchived) {
      try {
        palm.RemoveRecord(id);
      } catch (const std::exception&) {
      }
    } else {
      data = pc.ReadByIndex(pcIndex, id, category, attributes);
      if (attributes & kModified) palm.WriteRecord(id, category, attributes, data);
    }
  }

  pc.NotifyDatabase();
  palm.RemoveSet(1, 255);
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
    if (id.isEmpty() || (id.isNumeric() && id.toDouble() == 0)) {
      palm.WriteRecord(id, category, attributes, data);
      pc.UpdateRecordNo(i, id);
    } else if (!(attributes & kDeletedOrArchived)) {
      palm.WriteRecord(id, category, attributes, data);
    }
  }
  pc.NotifyDatabase();
  pc.RemoveAllDeletedRecords();
}

}  // namespace pelorix::conduit
