#pragma once
// Stand-ins for the conduit-manager controls through which the setup dialog
// reaches the HotSync Manager's conduit entries. Callers bind them by
// dispatch id, as they would the real controls:
//   ConduitManager  3  call        creator text -> creator id
//   ConduitData    13  call        select the entry of a creator id (by reference); > 0 when there is none
//                  11  get / put   the selected entry's conduit library
//                   5  get / put   its display name
//                  16  get / put   a named value (name, unused second argument)
//   HotSyncApi     20  call        the HotSync Manager reloads its entries

#include <cstdint>
#include <optional>

#include "com/dispatch.h"
#include "palm/conduit_entries.h"

namespace pelorix::palm {

inline constexpr const char* kConduitManagerProgId = "PalmCntl.ConduitManager";
inline constexpr const char* kConduitDataProgId = "PalmCntl.ConduitData";
inline constexpr const char* kHotSyncApiProgId = "PalmCntl.HotSyncApi";

// Registers the three classes with the class registry, working on the
// user's entries. Calling it again changes nothing.
void addConduitControls();

class ConduitManager : public com::Dispatchable<ConduitManager> {
 public:
  static const com::Members<ConduitManager>& members();
  std::int32_t GetCreatorID(const std::string& creator);
};

class ConduitData : public com::Dispatchable<ConduitData> {
 public:
  explicit ConduitData(ConduitEntries entries) : entries_(std::move(entries)) {}
  static const com::Members<ConduitData>& members();

  std::int32_t ReadConduit(std::int32_t creatorId);
  std::string DllName() const;
  void setDllName(const std::string& dll);
  std::string DisplayName() const;
  void setDisplayName(const std::string& name);
  std::string Value(const std::string& name) const;
  void setValue(const std::string& name, const std::string& value);

 private:
  std::uint32_t selected(const char* member) const;
  ConduitEntries entries_;
  std::optional<std::uint32_t> selected_;
};

class HotSyncApi : public com::Dispatchable<HotSyncApi> {
 public:
  explicit HotSyncApi(ConduitEntries entries) : entries_(std::move(entries)) {}
  static const com::Members<HotSyncApi>& members();
  void ReloadConduits(std::int32_t flags);

 private:
  ConduitEntries entries_;
};

}  // namespace pelorix::palm
