#include "host/cmvdata.h"

#include "com/com_error.h"
#include "desktop/desktop_log.h"
#include "host/cdt_categories.h"
#include "host/palm_info.h"

namespace pelorix::host {

bool CMVData::OpenDatabase(const std::string& pPath, const std::string&) {
  folder_ = pPath;
  lastError_ = readSettings(desktop::SettingsStore::user(), settings_);
  try {
    // A second opening replaces the connector without disconnecting the old.
    connector_ = HostConnector::create(settings_.connectionType);
  } catch (const std::exception& e) {
    lastError_ =
        "cannot create the host connector " + HostConnector::progIdFor(settings_.connectionType) + ": " + e.what();
    return false;
  }
  auto set = [](auto&& assign) {
    try {
      assign();
    } catch (const com::ComError&) {
      // a connector may not know every property; the Connect decides
    }
  };
  HostConnector& c = *connector_;
  switch (settings_.connectionType) {
    case 1: set([&] { c.HostName(settings_.hostName); }); break;
    case 2:
      set([&] { c.ODBCDataSource(settings_.hostName); });
      set([&] { c.DOAAware(settings_.doa != 0); });
      break;
    case 3:
      set([&] { c.HostName(settings_.hostName); });
      set([&] { c.AcctPath(settings_.accountPath); });
      set([&] { c.UserName(settings_.userName); });
      set([&] { c.Passwd(settings_.password); });
      set([&] { c.unitype(settings_.databaseType); });
      break;
    default: break;
  }
  try {
    c.Connect();
  } catch (const std::exception& e) {
    lastError_ = std::string("the host refused the connection: ") + e.what();
    return false;
  }
  lastError_.clear();
  return true;
}

bool CMVData::CreateDatabase(const std::string&, const std::string&) { return false; }

std::string CMVData::ProgName() const {
  auto found = settings_.programNames.find(PalmDatabaseName);
  if (sectionOfDatabase(PalmDatabaseName).empty() || found == settings_.programNames.end())
    com::raise(com::err::kPelorix, "ProgName", PalmDatabaseName);
  return found->second;
}

std::string CMVData::BuildPalmInfo(std::int16_t code) {
  return buildPalmInfo(code, hotSyncInfo_, PalmDatabaseName, ModDate, CreateDate);
}

std::string CMVData::callHost(std::int16_t code, const std::string& fromPalm) {
  if (!connector_) com::raise(com::hr(0x800A005B), "CMVData", "Object variable or With block variable not set");
  std::string program = ProgName();
  std::string info = BuildPalmInfo(code);
  std::string toPalm;
  connector_->CallHost(program, info, fromPalm, toPalm);
  return toPalm;
}

void CMVData::silentFailure(const std::string& operation, const std::exception& e) {
  std::string what = operation + " of " + PalmDatabaseName + ": " + e.what();
  desktop::desktopLog(what);
  if (!silentFailure_) silentFailure_ = what;
}

std::optional<std::string> CMVData::takeSilentFailure() { return std::exchange(silentFailure_, std::nullopt); }

com::Ref<ICategoryList> CMVData::Categories() {
  auto list = com::make<CDtCategories>();
  list->CreateDate = CreateDate;
  list->ModDate = ModDate;
  list->PalmDatabaseName = PalmDatabaseName;
  list->ProgName = ProgName();
  list->ConnectionObject = connector_;
  bool endsWithSeparator = !folder_.empty() && folder_.back() == '\\';
  list->Create(folder_ + (endsWithSeparator ? "Categories.txt" : "\\Categories.txt"));
  return list;
}

void CMVData::Terminate() {
  hotSyncInfo_.reset();
  if (!connector_) return;
  try {
    connector_->Disconnect();
  } catch (const std::exception&) {
  }
}

}  // namespace pelorix::host
