// The record store half of CMVData: the record list filled from the
// handheld and from the host, and the requests that move records.

#include "base/marks.h"
#include "desktop/desktop_log.h"
#include "host/cmvdata.h"

namespace pelorix::host {

using com::Variant;
using records::IPalmRecord;

namespace {

std::string palmKey(std::int32_t id) { return "T" + std::to_string(id); }
std::string palmKey(const IPalmRecord& r) { return palmKey(r.RecordId().toInt32()); }

// Whole records joined with AM; counted with 32 bits, as a database may hold
// up to 65,535 records.
template <class Each>
std::string joinRecords(std::int32_t count, Each each) {
  std::string out;
  bool first = true;
  for (std::int32_t i = 1; i <= count; ++i) {
    std::string part;
    if (!each(i, part)) continue;
    if (!first) out += kAttributeMark;
    first = false;
    out += part;
  }
  return out;
}

void report(const IPalmRecord& r, Variant& id, std::int32_t& category, std::int32_t& attributes) {
  id = r.RecordId();
  category = r.CategoryId();
  attributes = r.eAttributes();
}

}  // namespace

RecordList::Record CMVData::newRecord(const char* operation) const {
  RecordList::Record r = records::createRecord(PalmDatabaseName);
  if (!r) com::raise(com::err::kPelorix, operation, PalmDatabaseName);
  return r;
}

Variant CMVData::palmData(IPalmRecord& r) {
  Variant data = r.CreatePalmData();
  if (data.bytes().empty()) {
    std::string which = r.RecordId().toInt32() != 0 ? "record " + r.RecordId().toText() : "new record";
    std::string what = "the host's " + which + " (key \"" + r.mvRecNo() +
                       "\") cannot be held by the handheld: " + r.encodeError() + "; it was not written";
    desktop::desktopLog(PalmDatabaseName + ": " + what);
    unwritable_.push_back(what);
  }
  return data;
}

Variant CMVData::ReadByIndex(std::int32_t nIndex, Variant& vRecordId, std::int32_t& nCategory,
                             std::int32_t& eAttributes) {
  IPalmRecord& r = records_.at(nIndex);
  report(r, vRecordId, nCategory, eAttributes);
  return palmData(r);
}

Variant CMVData::ReadById(Variant& vRecordId, std::int32_t& nCategory, std::int32_t& eAttributes) {
  IPalmRecord* r = records_.find(palmKey(vRecordId.toInt32()));
  if (!r) com::raise(com::err::kInvalidArgument, "ReadById", "No record with the id " + vRecordId.toText());
  report(*r, vRecordId, nCategory, eAttributes);
  return palmData(*r);
}

template <class Test>
bool CMVData::readNext(Test test, std::int32_t& nIdx, Variant& vRecordId, std::int32_t& nCategory,
                       std::int32_t& eAttributes) {
  std::int32_t n = records_.size();
  for (std::int32_t i = RecordIndex + 1; i <= n; ++i) {
    IPalmRecord& r = records_.at(i);
    if (r.FromPalm() || r.Reviewed() || !test(r)) continue;
    report(r, vRecordId, nCategory, eAttributes);
    nIdx = RecordIndex = i;
    return true;
  }
  return false;
}

bool CMVData::ReadNextModified(std::int32_t& nIdx, Variant& vRecordId, std::int32_t& nCategory,
                               std::int32_t& eAttributes) {
  return readNext([](IPalmRecord& r) { return r.IsDirty(); }, nIdx, vRecordId, nCategory, eAttributes);
}

bool CMVData::ReadNextNotReview(std::int32_t& nIdx, Variant& vRecordId, std::int32_t& nCategory,
                                std::int32_t& eAttributes) {
  return readNext([](IPalmRecord&) { return true; }, nIdx, vRecordId, nCategory, eAttributes);
}

void CMVData::WriteRecord(Variant& vRecordId, std::int32_t nCategory, std::int32_t eAttributes, const Variant& pData) {
  RecordList::Record r;
  try {
    r = newRecord("WriteRecord");
    r->CreateClass(vRecordId, nCategory, eAttributes, pData);
    r->FromPalm(true);
  } catch (const std::exception& e) {
    // Nothing is stored, and the transfer does not count as complete.
    silentFailure("WriteRecord", std::runtime_error("the record " + vRecordId.toText() + " was left out: " + e.what()));
    return;
  }
  try {
    records_.remove(palmKey(*r));
    records_.add(palmKey(*r), r);
  } catch (const std::exception&) {
  }
}

void CMVData::DeleteRecord(Variant& vRecordId, std::int32_t nCategory, std::int32_t eAttributes, const Variant& pData) {
  RecordList::Record r = newRecord("DeleteRecord");
  r->CreateClass(vRecordId, nCategory, eAttributes, pData);
  callHost(2, r->CreateDynamicArray());
}

void CMVData::UpdateRecordNo(std::int32_t nIdx, const Variant& vRecordId) {
  try {
    IPalmRecord& r = records_.at(nIdx);
    r.RecordId(vRecordId);
    newIds_.push_back(std::string("NewId ") + kValueMark + std::to_string(r.RecordId().toInt32()) + kValueMark +
                      r.mvRecNo());
  } catch (const std::exception& e) {
    silentFailure("UpdateRecordNo", std::runtime_error("at " + std::to_string(nIdx) + ": " + e.what()));
  }
}

std::string CMVData::HostKey(std::int32_t nIndex) { return records_.at(nIndex).mvRecNo(); }

void CMVData::AddNewId(std::int32_t id, const std::string& hostKey) {
  newIds_.push_back(std::string("NewId ") + kValueMark + std::to_string(id) + kValueMark + hostKey);
}

void CMVData::NotifyDatabase() {
  std::string from = joinRecords(static_cast<std::int32_t>(newIds_.size()), [&](std::int32_t i, std::string& part) {
    part = newIds_[static_cast<size_t>(i) - 1];
    return true;
  });
  callHost(5, from);
}

Variant CMVData::ReviewRecord(Variant& vRecordId, std::int32_t& nCategory, std::int32_t& eAttributes,
                              const Variant& pData) {
  RecordList::Record r;
  std::string answer;
  try {
    r = newRecord("ReviewRecord");
    r->CreateClass(vRecordId, nCategory, eAttributes, pData);
  } catch (const std::exception& e) {
    desktop::desktopLog("ReviewRecord of " + PalmDatabaseName + ": " + e.what());
  }
  IPalmRecord* stored = nullptr;
  try {
    stored = records_.find(palmKey(vRecordId.toInt32()));
  } catch (const std::exception&) {
  }
  // A host that fails ends the transfer: going on would settle, at request
  // 5, changes the host was never shown.
  answer = callHost(1, r ? r->CreateDynamicArray() : std::string());
  if (stored) stored->Reviewed(true);
  if (!answer.empty() && r) {
    try {
      r->ExtractDynamicArray(answer);
      // The handheld takes what the host answered, private flag and
      // category included; only the id stays the handheld's.
      Variant data = palmData(*r);
      // An answer the handheld cannot hold leaves the handheld's copy.
      eAttributes = data.bytes().empty() ? 0 : r->eAttributes() & 0x50;
      if (!data.bytes().empty()) nCategory = r->CategoryId();
      return data;
    } catch (const std::exception& e) {
      desktop::desktopLog("ReviewRecord of " + PalmDatabaseName + ": the host's answer is not a record: " + e.what());
    }
  }
  eAttributes = 0;
  return Variant(com::ByteArray{});
}

void CMVData::RemoveAllDeletedRecords() {
  RecordList kept;
  for (std::int32_t i = 1; i <= records_.size(); ++i) {
    IPalmRecord& r = records_.at(i);
    if (!r.IsDelete() && !r.IsArchive()) kept.add(palmKey(r), RecordList::Record(&r));
  }
  records_ = std::move(kept);
  callHost(4, "");
}

void CMVData::RemoveAllRecords() {
  callHost(3, "");
  records_.clear();
}

void CMVData::RequestInformation() {
  std::string from = joinRecords(records_.size(), [&](std::int32_t i, std::string& part) {
    IPalmRecord& r = records_.at(i);
    if (!r.FromPalm()) return false;
    part = r.CreateDynamicArray();
    return true;
  });
  std::string to = callHost(0, from);
  Variant array = connector_->CreateDynamicArray(to);
  std::int32_t n = connector_->Dcount(array);
  for (std::int32_t i = 1; i <= n; ++i) {
    std::string element = connector_->Extract(array, i);
    RecordList::Record r = newRecord("RequestInformation");
    r->ExtractDynamicArray(element);
    try {
      if (r->IsNew()) {
        if (!records_.tryAdd("MV" + r->mvRecNo(), r))
          desktop::desktopLog(PalmDatabaseName + ": the host sent a second new record with the key \"" + r->mvRecNo() +
                              "\"; it was dropped");
      } else {
        records_.remove(palmKey(*r));
        records_.add(palmKey(*r), r);
      }
    } catch (const std::exception& e) {
      desktop::desktopLog(PalmDatabaseName + ": the host's record " + std::to_string(i) + " was dropped: " + e.what());
    }
  }
}

}  // namespace pelorix::host
