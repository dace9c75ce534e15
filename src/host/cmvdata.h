#pragma once
// The PC side of a synchronisation: the connection to the MultiValue host
// and, for each handheld database, the host subroutine that serves it.

#include <optional>
#include <string>

#include "com/object.h"
#include "com/variant.h"
#include "host/host_connector.h"
#include "host/settings.h"

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

  virtual com::Ref<ICategoryList> Categories();

  // Why the last OpenDatabase failed, for the desktop's log.
  const std::string& lastError() const { return lastError_; }
  const ConduitSettings& settings() const { return settings_; }

 protected:
  void Terminate() override;

  std::string folder_;
  ConduitSettings settings_;
  std::optional<HostConnector> connector_;
  std::string lastError_;
};

}  // namespace pelorix::host
