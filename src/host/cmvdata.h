#pragma once
// The PC side of a synchronisation: the connection to the MultiValue host,
// and the record store that the transfers work through. The store keeps its
// records in memory only; every operation that needs the host calls the
// application's subroutine with PALM.INFO, FROM.PALM and TO.PALM.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "com/object.h"
#include "com/variant.h"
#include "host/host_connector.h"
#include "host/record_list.h"
#include "host/settings.h"
#include "palm/pddirect.h"

namespace pelorix::host {

// The 16 category slots of the PC side, as the driver reconciles them.
class ICategoryList : public com::Object {
 public:
  virtual std::string Name(std::int32_t index) = 0;
  virtual void Name(std::int32_t index, const std::string& name) = 0;
  virtual std::int32_t Id(std::int32_t index) = 0;
  virtual void Id(std::int32_t index, std::int32_t id) = 0;
  virtual bool Dirty(std::int32_t index) = 0;
  virtual void Dirty(std::int32_t index, bool dirty) = 0;
  // The handheld did not keep the list: its release tells the host nothing.
  virtual void Abandon() = 0;
  // Tells the host now what the release would (request 7), so that a
  // failure can be reported; the release then tells nothing more.
  virtual void Report() = 0;
};

class CMVData : public com::Object {
 public:
  // Connects to the host; false (never an error) when the connector cannot
  // be created or refuses the connection.
  virtual bool OpenDatabase(const std::string& pPath, const std::string& pName);
  // The PC side never creates databases.
  bool CreateDatabase(const std::string& pPath, const std::string& pName);

  std::string PalmDatabaseName;
  com::DateTime ModDate;
  com::DateTime CreateDate;

  // ---- the record store ----
  std::int32_t RecordIndex = 0;
  std::int32_t RecordCount() const { return records_.size(); }
  com::Variant ReadByIndex(std::int32_t nIndex, com::Variant& vRecordId, std::int32_t& nCategory,
                           std::int32_t& eAttributes);
  com::Variant ReadById(com::Variant& vRecordId, std::int32_t& nCategory, std::int32_t& eAttributes);
  bool ReadNextModified(std::int32_t& nIdx, com::Variant& vRecordId, std::int32_t& nCategory,
                        std::int32_t& eAttributes);
  bool ReadNextNotReview(std::int32_t& nIdx, com::Variant& vRecordId, std::int32_t& nCategory,
                         std::int32_t& eAttributes);
  void WriteRecord(com::Variant& vRecordId, std::int32_t nCategory, std::int32_t eAttributes,
                   const com::Variant& pData);
  void DeleteRecord(com::Variant& vRecordId, std::int32_t nCategory, std::int32_t eAttributes,
                    const com::Variant& pData);
  void UpdateRecordNo(std::int32_t nIdx, const com::Variant& vRecordId);
  // The host key (mvRecNo) of the record at a position.
  std::string HostKey(std::int32_t nIndex);
  // A new id an earlier HotSync gave a host record, for NotifyDatabase to
  // report again unless this HotSync already reports it.
  void AddNewId(std::int32_t id, const std::string& hostKey);
  void NotifyDatabase();
  com::Variant ReviewRecord(com::Variant& vRecordId, std::int32_t& nCategory, std::int32_t& eAttributes,
                            const com::Variant& pData);
  void RemoveAllDeletedRecords();
  void RemoveAllRecords();
  void RequestInformation();

  virtual com::Ref<ICategoryList> Categories();

  // Why the last OpenDatabase failed, for the desktop's log.
  const std::string& lastError() const { return lastError_; }
  const ConduitSettings& settings() const { return settings_; }
  // Set when an operation that does not pass its error on failed, so that
  // the transfer is not taken as complete. Reading it clears it.
  std::optional<std::string> takeSilentFailure();
  // Host records the handheld cannot hold (their buffer came out empty),
  // each named with the reason; reading them clears them.
  std::vector<std::string> takeUnwritable() { return std::exchange(unwritable_, {}); }

 protected:
  void Terminate() override;

  std::string ProgName() const;
  std::string BuildPalmInfo(std::int16_t code);
  // CallHost with this request; returns TO.PALM.
  std::string callHost(std::int16_t code, const std::string& fromPalm);
  RecordList::Record newRecord(const char* operation) const;
  template <class Test>
  bool readNext(Test test, std::int32_t& nIdx, com::Variant& vRecordId, std::int32_t& nCategory,
                std::int32_t& eAttributes);
  void silentFailure(const std::string& operation, const std::exception& e);
  // The record's buffer, or an empty one noted as unwritable.
  com::Variant palmData(records::IPalmRecord& r);

  std::string folder_;
  ConduitSettings settings_;
  std::optional<HostConnector> connector_;
  std::string lastError_;
  com::Ref<pddirect::IPDHotSyncInfo> hotSyncInfo_;
  RecordList records_;
  std::vector<std::string> newIds_;
  std::optional<std::string> silentFailure_;
  std::vector<std::string> unwritable_;
};

}  // namespace pelorix::host
