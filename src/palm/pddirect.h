#pragma once
// The Palm sync suite as the conduit sees it: the support, HotSync
// information, database query, record adapter, category and handheld data
// utility objects, called early-bound. src/palm serves them on a folder of
// Palm database files.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "com/object.h"
#include "com/variant.h"

namespace pelorix::pddirect {

using com::ByteArray;
using com::DateTime;
using com::Ref;
using com::Variant;

// The record adapter's ProgID and open mode, as the conduit passes them.
inline constexpr const char* kRecordAdapterProgId = "PDDirect.PDRecordAdapter";
inline constexpr std::int32_t kModeReadWrite = 208;

class IPDUserInfo : public com::Object {
 public:
  virtual std::string UserName() = 0;
  // The last time this handheld was synchronised with this desktop.
  virtual DateTime UserDate() = 0;
};

// What a HotSync is to do with a database, as IPDHotSyncInfo::SyncType
// gives it.
enum class SyncType : std::int32_t {
  Fast = 0,
  Slow = 1,
  HandheldOverwritesDesktop = 2,
  DesktopOverwritesHandheld = 3,
  Install = 4,
  Backup = 5,
  DoNothing = 6,
  ProfileInstall = 7,
};

class IPDHotSyncInfo : public com::Object {
 public:
  virtual std::int32_t SyncType() = 0;
  virtual std::string PathName() = 0;
  virtual std::string LocalName() = 0;
  virtual std::string InfoText() = 0;
  virtual std::int16_t RemoteDbCount() = 0;
  virtual std::string RemoteDbNames(std::int16_t index) = 0;
  virtual std::int32_t CreatorId() = 0;
  virtual std::int32_t DbType() = 0;
};

class IPDConduitSupport : public com::Object {
 public:
  virtual void AddLogEntry(const std::string& text, std::int32_t activity, bool flag1, bool flag2) = 0;
  virtual Ref<IPDUserInfo> GetUserInfo() = 0;
  virtual Ref<IPDHotSyncInfo> GetHotSyncInfo() = 0;
};

class IPDDatabaseInfo : public com::Object {
 public:
  virtual std::string Name() = 0;
  virtual DateTime CreationDate() = 0;
  virtual DateTime ModificationDate() = 0;
};

// The 16 category slots of one database; changes reach the handheld with it.
class IPDCategories : public com::Object {
 public:
  virtual std::string Name(std::int32_t index) = 0;
  virtual void Name(std::int32_t index, const std::string& name) = 0;
  virtual std::uint8_t Id(std::int32_t index) = 0;
  virtual void Id(std::int32_t index, std::uint8_t id) = 0;
  virtual bool Dirty(std::int32_t index) = 0;
  virtual void Dirty(std::int32_t index, bool dirty) = 0;
};

class IPDRecordAdapter : public com::Object {
 public:
  // kRecordNotFound when no record has the id.
  virtual Variant ReadById(std::int32_t& index, const Variant& id, std::int32_t& category,
                           std::int32_t& attributes) = 0;
  virtual Variant ReadNext(std::int32_t& index, Variant& id, std::int32_t& category, std::int32_t& attributes) = 0;
  virtual Variant ReadNextModified(std::int32_t& index, Variant& id, std::int32_t& category,
                                   std::int32_t& attributes) = 0;
  // An id that is unset, 0 or empty makes a new record and receives its id.
  virtual void WriteRecord(Variant& id, std::int32_t category, std::int32_t attributes, const Variant& data) = 0;
  virtual void RemoveRecord(const Variant& id) = 0;
  // kind 0 removes every record, kind 1 the deleted or archived ones; category
  // 255 is every category.
  virtual void RemoveSet(std::int32_t kind, std::int32_t category) = 0;
  virtual Ref<IPDDatabaseInfo> DatabaseInfo() = 0;
  virtual Ref<IPDCategories> Categories() = 0;
  virtual std::int32_t IteratorIndex() = 0;
  virtual void IteratorIndex(std::int32_t index) = 0;
  virtual bool AtEnd() = 0;
  // Tells the HotSync Manager how the record transfer of this database
  // ended, and why when it failed: a completed one is saved and its dirty
  // flags cleared; a failed one leaves the database as its last checkpoint.
  virtual void EndTransfer(bool completed, const std::string& why = {}) = 0;

  // Saves the database as it stands, so that what the host is told next
  // about it is never rolled back. With records, the records count as
  // delivered (dirty flags cleared) and the new ids not yet acknowledged
  // by the host are kept with them.
  virtual void Checkpoint(bool records) = 0;
  // The handheld id that an earlier, unfinished HotSync gave the host
  // record with this key (empty when none), so that it is written over
  // that record instead of being added twice.
  virtual Variant PendingId(const std::string& hostKey) = 0;
  // A host record written under a new id; kept until the host confirms.
  virtual void KeepNewId(const std::string& hostKey, const Variant& id) = 0;
  // Every id not yet confirmed, oldest first: (host key, handheld id).
  virtual std::vector<std::pair<std::string, std::int32_t>> PendingIds() = 0;
};

class IPDDatabaseQuery : public com::Object {
 public:
  virtual void AddLogEntry(const std::string& text, std::int32_t activity, bool flag1, bool flag2) = 0;
  // Raises an error when the database does not exist.
  virtual Ref<IPDRecordAdapter> OpenRecordDatabase(const std::string& name, const std::string& adapterProgId,
                                                   std::int32_t mode) = 0;
  virtual Ref<IPDRecordAdapter> CreateRecordDatabase(const std::string& name, const std::string& adapterProgId,
                                                     const std::string& creator, const std::string& type,
                                                     std::int32_t mode, std::int32_t flags, std::int32_t version,
                                                     std::int32_t backup) = 0;
};

// Byte-level reads and writes on a record buffer. Numbers are most
// significant byte first when swap is true; texts are UTF-8 on this side and
// Palm OS Latin, zero-terminated, in the buffer. A read or write outside the
// buffer fails with kSubscriptOutOfRange. Each returns the next offset.
class IPDUtility : public com::Object {
 public:
  virtual std::int32_t WriteWord(ByteArray& buffer, std::int32_t offset, bool swap, std::uint16_t value) = 0;
  virtual std::int32_t ReadWord(const ByteArray& buffer, std::int32_t offset, bool swap, std::uint16_t& value) = 0;
  virtual std::int32_t WriteDWord(ByteArray& buffer, std::int32_t offset, bool swap, std::uint32_t value) = 0;
  virtual std::int32_t ReadDWord(const ByteArray& buffer, std::int32_t offset, bool swap, std::uint32_t& value) = 0;
  virtual std::int32_t WriteText(ByteArray& buffer, std::int32_t offset, const std::string& text) = 0;
  virtual std::int32_t ReadText(const ByteArray& buffer, std::int32_t offset, std::int32_t limit,
                                std::string& text) = 0;
  virtual std::int32_t ReadNoteText(const ByteArray& buffer, std::int32_t offset, std::int32_t lineBreak,
                                    std::string& text) = 0;
  virtual std::int32_t ReadFixedText(const ByteArray& buffer, std::int32_t offset, std::int32_t length,
                                     std::string& text) = 0;
  virtual std::string RecordIdToText(const Variant& id) = 0;
  virtual Variant TextToRecordId(const std::string& text) = 0;
  // The four characters of a creator id or type, 'memo' for 0x6D656D6F.
  virtual std::string LongToText(std::int32_t value, std::int32_t swap) = 0;
  // How many bytes WriteText needs for the text, its terminator included.
  virtual std::int32_t TextSize(const std::string& text) = 0;
};

// Creating the suite's objects, as New does: they serve the running HotSync.
Ref<IPDConduitSupport> newConduitSupport();
Ref<IPDDatabaseQuery> newDatabaseQuery();
Ref<IPDUtility> newUtility();

}  // namespace pelorix::pddirect
