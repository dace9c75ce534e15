#pragma once
// The PC side's 16 category slots: filled from the host subroutine once
// (request 6) and handed back to it when the last reference goes (request 7).

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "host/cmvdata.h"
#include "host/host_connector.h"
#include "palm/pddirect.h"

namespace pelorix::host {

struct CategoryEntry {
  std::string Name = std::string(15, ' ');  // exactly 15 characters
  std::uint8_t Id = 0;
  bool Dirty = false;
};

// Cut or padded with blanks to 15 characters (not bytes: texts are UTF-8).
std::string fitCategoryName(const std::string& name);

class CDtCategories final : public ICategoryList {
 public:
  com::DateTime ModDate;
  com::DateTime CreateDate;
  std::string PalmDatabaseName;
  std::string ProgName;
  std::optional<HostConnector> ConnectionObject;

  void ResetDirtyFlags();
  std::string Name(std::int32_t index) override;
  void Name(std::int32_t index, const std::string& name) override;
  std::int32_t Id(std::int32_t index) override;
  void Id(std::int32_t index, std::int32_t id) override;
  bool Dirty(std::int32_t index) override;
  void Dirty(std::int32_t index, bool dirty) override;
  void Abandon() override { report_ = false; }
  void Report() override;

  // A list whose request 6 failed reports nothing when released.
  void Create(const std::string& pName);
  // The category list as request 7 sends it.
  std::string wireList() const;

 protected:
  void Terminate() override;

 private:
  CategoryEntry& slot(std::int32_t index);
  std::string call(std::int16_t code, const std::string& from);

  std::array<CategoryEntry, 16> slots_;
  bool created_ = false;
  bool report_ = true;
  std::string path_;
  com::Ref<pddirect::IPDHotSyncInfo> hotSyncInfo_;
};

}  // namespace pelorix::host
