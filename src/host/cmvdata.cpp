#include "host/cmvdata.h"

#include "com/com_error.h"

namespace pelorix::host {

bool CMVData::OpenDatabase(const std::string& pPath, const std::string&) {
  folder_ = pPath;
  lastError_ = readSettings(com::SettingsStore::user(), settings_);
  try {
    // A second opening replaces the connector without disconnecting the old.
    connector_ = HostConnector::create(settings_.connectionType);
  } catch (const std::exception& e) {
    lastError_ = "cannot create the host connector " + HostConnector::progIdFor(settings_.connectionType) +
                 ": " + e.what();
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
    case 1:
      set([&] { c.HostName(settings_.hostName); });
      break;
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
    default:
      break;
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

com::Ref<ICategoryList> CMVData::Categories() {
  com::raise(com::err::kNotImplemented, "Categories", "The PC category list is not available in this build");
}

void CMVData::Terminate() {
  if (!connector_) return;
  try {
    connector_->Disconnect();
  } catch (const com::ComError&) {
  }
}

}  // namespace pelorix::host
