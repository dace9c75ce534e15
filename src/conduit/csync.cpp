#include "conduit/csync.h"

#include "com/com_error.h"
#include "desktop/desktop_log.h"
#include "pelorix/version.h"

namespace pelorix::conduit {

using desktop::desktopLog;

namespace err = com::err;

void CSync::log(const std::string& suffix, std::int32_t activity, bool flag1, bool flag2) {
  query().AddLogEntry(std::string(version::kProductName) + suffix, activity, flag1, flag2);
}

pddirect::IPDDatabaseQuery& CSync::query() {
  if (!query_) query_ = pddirect::newDatabaseQuery();
  return *query_;
}

host::CMVData& CSync::pc() {
  if (!pc_) pc_ = com::make<host::CMVData>();
  return *pc_;
}

pddirect::IPDUtility& CSync::utility() {
  if (!utility_) utility_ = pddirect::newUtility();
  return *utility_;
}

pddirect::IPDRecordAdapter& CSync::adapter() {
  if (!adapter_) com::raise(err::kFail, "CSync", "The handheld database is not open");
  return *adapter_;
}

void CSync::Synchronize() {
  com::Ref<pddirect::IPDConduitSupport> support;
  try {
    support = pddirect::newConduitSupport();
    info_ = support->GetHotSyncInfo();
    using pddirect::SyncType;
    switch (std::int32_t type = info_->SyncType(); static_cast<SyncType>(type)) {
      case SyncType::Fast:
      case SyncType::Slow:
      case SyncType::HandheldOverwritesDesktop:
      case SyncType::DesktopOverwritesHandheld: SyncDatabases(); break;
      case SyncType::Install:
      case SyncType::ProfileInstall: log(" - Sync configured to Install", -1, true, false); break;
      case SyncType::Backup: log(" - Sync configured to Backup", -1, true, false); break;
      case SyncType::DoNothing: log(" - Sync configured to Do Nothing", -1, true, false); break;
      default:
        desktopLog("sync type " + std::to_string(type) + " is not one the conduit knows; nothing was done");
        break;
    }
  } catch (const std::exception& e) {
    desktopLog(std::string("HotSync error: ") + e.what());
    try {
      if (support) support->AddLogEntry(std::string(version::kProductName) + " - Sync Error", -1, true, false);
    } catch (const std::exception&) {
    }
  }
}

void CSync::SyncDatabases() {
  try {
    log("", -1, false, false);
    std::int16_t count = info_->RemoteDbCount();
    for (std::int16_t i = 0; i < count; ++i) {
      OpenPalmDatabase(info_->RemoteDbNames(i));
      // The HotSync Manager reports a database that could not be opened.
      if (!adapter_) continue;
      if (!OpenPCDatabase()) {
        log(" - Unable make connection to Database", 21, true, false);
        std::string why = "the host could not be reached: " + pc().lastError();
        desktopLog(pc().PalmDatabaseName + ": " + why);
        adapter().EndTransfer(false, why);
        return;
      }
      SyncCategories();
      runTransfer(info_->SyncType());
    }
  } catch (const std::exception& e) {
    desktopLog(std::string("synchronisation ended early: ") + e.what());
  }
}

void CSync::runTransfer(std::int32_t syncType) {
  using pddirect::SyncType;
  if (syncType < 0 || syncType > static_cast<std::int32_t>(SyncType::DesktopOverwritesHandheld)) return;
  static const char* names[] = {"FastSync", "SlowSync", "CopyToPC", "CopyToPalm"};
  std::string failure;
  reportedKeys_.clear();
  pc().takeSilentFailure();
  try {
    switch (static_cast<SyncType>(syncType)) {
      case SyncType::Fast: FastSync(); break;
      case SyncType::Slow: SlowSync(); break;
      case SyncType::HandheldOverwritesDesktop: CopyToPC(); break;
      default: CopyToPalm(); break;
    }
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (auto silent = pc().takeSilentFailure(); silent && failure.empty()) failure = *silent;
  std::string notes = categoryFailure_;
  for (const std::string& unwritable : pc().takeUnwritable()) notes += (notes.empty() ? "" : "; ") + unwritable;
  if (!failure.empty()) {
    failure = std::string(names[syncType]) + " ended early: " + failure;
    desktopLog(pc().PalmDatabaseName + ": " + failure);
  }
  try {
    // A failed category step, or a host record the handheld cannot hold,
    // leaves the transfer standing but is still reported.
    adapter().EndTransfer(failure.empty(), failure.empty() ? notes : failure);
  } catch (const std::exception&) {
  }
}

void CSync::OpenPalmDatabase(const std::string& name) {
  // A database that can be neither opened nor created must not leave the
  // previous database's adapter in place for its transfer.
  adapter_.reset();
  try {
    adapter_ = query().OpenRecordDatabase(name, pddirect::kRecordAdapterProgId, pddirect::kModeReadWrite);
  } catch (const std::exception& opening) {
    try {
      std::string creator = utility().LongToText(info_->CreatorId(), -1);
      std::string type = utility().LongToText(info_->DbType(), -1);
      adapter_ = query().CreateRecordDatabase(name, pddirect::kRecordAdapterProgId, creator, type,
                                              pddirect::kModeReadWrite, 0, 1, 0);
    } catch (const std::exception& creating) {
      desktopLog("cannot open or create the handheld database " + name + ": " + opening.what() + "; " +
                 creating.what());
      return;
    }
  }
  try {
    com::Ref<pddirect::IPDDatabaseInfo> info = adapter().DatabaseInfo();
    pc().PalmDatabaseName = info->Name();
    pc().ModDate = info->ModificationDate();
    pc().CreateDate = info->CreationDate();
  } catch (const std::exception&) {
  }
}

bool CSync::OpenPCDatabase() { return pc().OpenDatabase(info_->PathName(), info_->LocalName()); }

void CSync::SyncCategories() {
  categoryFailure_.clear();
  // Outlives the try block, so that a failed step can stop its report.
  com::Ref<host::ICategoryList> list;
  try {
    com::Ref<pddirect::IPDCategories> palm = adapter().Categories();
    list = pc().Categories();
    auto type = static_cast<pddirect::SyncType>(info_->SyncType());
    // The PC list pads its names to 15 characters; the handheld's are not,
    // and are compared and written without the padding.
    auto trimmed = [](std::string s) { return s.erase(s.find_last_not_of(' ') + 1); };
    auto takePC = [&](std::int32_t i) {
      palm->Name(i, trimmed(list->Name(i)));
      palm->Id(i, static_cast<std::uint8_t>(list->Id(i) & 0xFF));
      palm->Dirty(i, list->Dirty(i));
    };
    for (std::int32_t i = 0; i < 16; ++i) {
      if (type == pddirect::SyncType::HandheldOverwritesDesktop) {
        list->Name(i, palm->Name(i));
        list->Id(i, palm->Id(i));
        list->Dirty(i, palm->Dirty(i));
      } else if (type == pddirect::SyncType::DesktopOverwritesHandheld) {
        // "Unfiled" is the handheld's own; the host never fills slot 0.
        if (i > 0) takePC(i);
      } else if (type == pddirect::SyncType::Fast || type == pddirect::SyncType::Slow) {
        std::string palmName = trimmed(palm->Name(i));
        std::string pcName = trimmed(list->Name(i));
        if (palmName == pcName) continue;
        if (palmName.empty() || list->Dirty(i)) {
          takePC(i);
          list->Dirty(i, false);
        } else {
          list->Name(i, palm->Name(i));
          list->Id(i, palm->Id(i));
          list->Dirty(i, true);
        }
      }
    }
    // The handheld keeps its categories before the host is told it took them.
    adapter().Checkpoint(false);
    list->Report();
  } catch (const std::exception& e) {
    if (list) list->Abandon();
    categoryFailure_ = std::string("the categories were not reconciled: ") + e.what();
    desktopLog(pc().PalmDatabaseName + ": " + categoryFailure_);
  }
}

}  // namespace pelorix::conduit
