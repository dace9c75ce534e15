// The support, HotSync information, user and database query objects: the
// conduit's view of the running HotSync.

#include "com/com_error.h"
#include "palm/hotsync_session.h"
#include "palm/pdb_database.h"
#include "palm/pddirect.h"
#include "palm/record_adapter.h"

namespace pelorix::palm {

namespace err = com::err;

namespace {

void addLogEntry(const std::string& text, std::int32_t activity, bool flag1, bool flag2) {
  HotSyncSession::current().log({text, activity, flag1, flag2});
}

class PDUserInfo final : public pddirect::IPDUserInfo {
 public:
  std::string UserName() override { return HotSyncSession::current().request().userName; }
  com::DateTime UserDate() override { return HotSyncSession::current().request().userDate; }
};

class PDHotSyncInfo final : public pddirect::IPDHotSyncInfo {
 public:
  std::int32_t SyncType() override { return request().syncType; }
  std::string PathName() override { return request().pathName; }
  std::string LocalName() override { return request().localName; }
  std::string InfoText() override { return request().infoText; }
  std::int16_t RemoteDbCount() override { return static_cast<std::int16_t>(request().databaseNames.size()); }
  std::string RemoteDbNames(std::int16_t index) override {
    const auto& names = request().databaseNames;
    if (index < 0 || static_cast<size_t>(index) >= names.size())
      com::raise(err::kSubscriptOutOfRange, "PDHotSyncInfo", "No database at index " + std::to_string(index));
    return names[static_cast<size_t>(index)];
  }
  std::int32_t CreatorId() override { return static_cast<std::int32_t>(request().creator); }
  std::int32_t DbType() override { return static_cast<std::int32_t>(request().dbType); }

 private:
  static const HotSyncRequest& request() { return HotSyncSession::current().request(); }
};

class PDConduitSupport final : public pddirect::IPDConduitSupport {
 public:
  void AddLogEntry(const std::string& text, std::int32_t activity, bool flag1, bool flag2) override {
    addLogEntry(text, activity, flag1, flag2);
  }
  com::Ref<pddirect::IPDUserInfo> GetUserInfo() override { return com::make<PDUserInfo>(); }
  com::Ref<pddirect::IPDHotSyncInfo> GetHotSyncInfo() override {
    HotSyncSession::current();  // there is none outside a HotSync
    return com::make<PDHotSyncInfo>();
  }
};

class PDDatabaseQuery final : public pddirect::IPDDatabaseQuery {
 public:
  void AddLogEntry(const std::string& text, std::int32_t activity, bool flag1, bool flag2) override {
    addLogEntry(text, activity, flag1, flag2);
  }

  com::Ref<pddirect::IPDRecordAdapter> OpenRecordDatabase(const std::string& name, const std::string& progId,
                                                          std::int32_t) override {
    checkAdapter(progId);
    try {
      return com::make<PDRecordAdapter>(HotSyncSession::current().open(name));
    } catch (const std::exception& e) {  // missing or corrupt file, unsafe name
      com::raise(err::kFail, kSource, e.what());
    }
  }

  com::Ref<pddirect::IPDRecordAdapter> CreateRecordDatabase(const std::string& name, const std::string& progId,
                                                            const std::string& creator, const std::string& type,
                                                            std::int32_t, std::int32_t, std::int32_t,
                                                            std::int32_t) override {
    checkAdapter(progId);
    try {
      return com::make<PDRecordAdapter>(HotSyncSession::current().create(name, fourCC(creator), fourCC(type)));
    } catch (const std::exception& e) {
      com::raise(err::kFail, kSource, e.what());
    }
  }

 private:
  static constexpr const char* kSource = "PDDatabaseQuery";
  static void checkAdapter(const std::string& progId) {
    if (progId != pddirect::kRecordAdapterProgId)
      com::raise(err::kClassNotRegistered, kSource, "Unknown record adapter " + progId);
  }
};

}  // namespace
}  // namespace pelorix::palm

namespace pelorix::pddirect {
Ref<IPDConduitSupport> newConduitSupport() { return com::make<palm::PDConduitSupport>(); }
Ref<IPDDatabaseQuery> newDatabaseQuery() { return com::make<palm::PDDatabaseQuery>(); }
}  // namespace pelorix::pddirect
