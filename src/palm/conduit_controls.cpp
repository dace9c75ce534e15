#include "palm/conduit_controls.h"

#include "com/com_error.h"
#include "desktop/class_registry.h"

namespace pelorix::palm {

using com::Variant;
using Args = std::span<Variant>;

void addConduitControls() {
  auto& registry = desktop::ClassRegistry::instance();
  registry.addBuiltin(kConduitManagerProgId, [] { return com::Ref<com::Object>(com::make<ConduitManager>()); });
  registry.addBuiltin(kConduitDataProgId,
                      [] { return com::Ref<com::Object>(com::make<ConduitData>(ConduitEntries::user())); });
  registry.addBuiltin(kHotSyncApiProgId,
                      [] { return com::Ref<com::Object>(com::make<HotSyncApi>(ConduitEntries::user())); });
}

const com::Members<ConduitManager>& ConduitManager::members() {
  static const com::Members<ConduitManager> table = [] {
    com::Members<ConduitManager> m;
    m.method(
        "GetCreatorID",
        [](ConduitManager& self, Args a) {
          return Variant(self.GetCreatorID(com::argument(a, 0, "GetCreatorID").toText()));
        },
        3);
    return m;
  }();
  return table;
}

std::int32_t ConduitManager::GetCreatorID(const std::string& creator) {
  auto id = ConduitEntries::creatorId(creator);
  if (!id) com::raise(com::err::kInvalidArgument, "GetCreatorID", "A creator id has four characters: " + creator);
  return static_cast<std::int32_t>(*id);
}

const com::Members<ConduitData>& ConduitData::members() {
  static const com::Members<ConduitData> table = [] {
    com::Members<ConduitData> m;
    m.property(
        "DisplayName", [](ConduitData& self, Args) { return Variant(self.DisplayName()); },
        [](ConduitData& self, Args, const Variant& v) { self.setDisplayName(v.toText()); }, 5);
    m.method(
        "ReadConduit",
        [](ConduitData& self, Args a) {
          return Variant(self.ReadConduit(com::argument(a, 0, "ReadConduit").toInt32()));
        },
        13);
    m.property(
        "DllName", [](ConduitData& self, Args) { return Variant(self.DllName()); },
        [](ConduitData& self, Args, const Variant& v) { self.setDllName(v.toText()); }, 11);
    m.property(
        "Value", [](ConduitData& self, Args a) { return Variant(self.Value(com::argument(a, 0, "Value").toText())); },
        [](ConduitData& self, Args a, const Variant& v) {
          self.setValue(com::argument(a, 0, "Value").toText(), v.toText());
        },
        16);
    return m;
  }();
  return table;
}

std::int32_t ConduitData::ReadConduit(std::int32_t creatorId) {
  auto id = static_cast<std::uint32_t>(creatorId);
  if (!entries_.exists(id)) {
    selected_.reset();
    return 1;
  }
  selected_ = id;
  return 0;
}

std::uint32_t ConduitData::selected(const char* member) const {
  if (!selected_) com::raise(com::err::kFail, member, "No conduit entry is selected");
  return *selected_;
}

std::string ConduitData::DllName() const { return entries_.value(selected("DllName"), "Conduit").value_or(""); }
void ConduitData::setDllName(const std::string& dll) { entries_.setValue(selected("DllName"), "Conduit", dll); }
std::string ConduitData::DisplayName() const { return entries_.value(selected("DisplayName"), "Name").value_or(""); }
void ConduitData::setDisplayName(const std::string& name) { entries_.setValue(selected("DisplayName"), "Name", name); }
std::string ConduitData::Value(const std::string& name) const {
  return entries_.value(selected("Value"), name).value_or("");
}
void ConduitData::setValue(const std::string& name, const std::string& value) {
  entries_.setValue(selected("Value"), name, value);
}

const com::Members<HotSyncApi>& HotSyncApi::members() {
  static const com::Members<HotSyncApi> table = [] {
    com::Members<HotSyncApi> m;
    m.method(
        "ReloadConduits",
        [](HotSyncApi& self, Args a) {
          self.ReloadConduits(a.empty() ? 0 : a[0].toInt32());
          return Variant();
        },
        20);
    return m;
  }();
  return table;
}

void HotSyncApi::ReloadConduits(std::int32_t) { entries_.reload(); }

}  // namespace pelorix::palm
