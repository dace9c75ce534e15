#include "conduit/cnotify.h"

#include "com/com_error.h"
#include "conduit/csync.h"
#include "desktop/desktop_log.h"
#include "setup/dialog_library.h"

namespace pelorix::conduit {

using desktop::desktopLog;

using com::Variant;

namespace {
// By-reference 32-bit arguments of a late-bound call.
struct RefInt {
  Variant& slot;
  std::int32_t value;
  RefInt(std::span<Variant> args, size_t n, const char* member)
      : slot(com::argument(args, n, member)), value(slot.toInt32()) {}
  ~RefInt() { slot = Variant(value); }
};
}  // namespace

const com::Members<CNotify>& CNotify::members() {
  static const com::Members<CNotify> table = [] {
    com::Members<CNotify> m;
    m.method("IPDClientNotify_BeginProcess",
             [](CNotify& self, std::span<Variant>) { return Variant(self.IPDClientNotify_BeginProcess()); });
    m.method("IPDClientNotify_ConfigureConduit", [](CNotify& self, std::span<Variant> a) {
      const char* name = "IPDClientNotify_ConfigureConduit";
      RefInt pref(a, 2, name), type(a, 3, name);
      self.IPDClientNotify_ConfigureConduit(com::argument(a, 0, name).toText(), com::argument(a, 1, name).toText(),
                                            pref.value, type.value);
      return Variant();
    });
    m.method("IPDClientNotify_GetConduitInfo", [](CNotify& self, std::span<Variant> a) {
      const char* name = "IPDClientNotify_GetConduitInfo";
      return self.IPDClientNotify_GetConduitInfo(com::argument(a, 0, name).toInt32(), a.size() > 1 ? a[1].toInt32() : 0,
                                                 a.size() > 2 ? a[2].toInt32() : 0, a.size() > 3 ? a[3].toText() : "");
    });
    m.method("IPDClientNotify_CfgConduit", [](CNotify& self, std::span<Variant> a) {
      const char* name = "IPDClientNotify_CfgConduit";
      RefInt perm(a, 4, name), temp(a, 5, name), fresh(a, 6, name), pref(a, 7, name);
      self.IPDClientNotify_CfgConduit(com::argument(a, 0, name).toInt32(), com::argument(a, 1, name).toInt32(),
                                      com::argument(a, 2, name).toText(), com::argument(a, 3, name).toText(),
                                      perm.value, temp.value, fresh.value, pref.value);
      return Variant();
    });
    m.method("ShowSetup", [](CNotify& self, std::span<Variant>) {
      self.ShowSetup();
      return Variant();
    });
    m.method("UnInstall", [](CNotify& self, std::span<Variant>) {
      self.UnInstall();
      return Variant();
    });
    return m;
  }();
  return table;
}

bool CNotify::IPDClientNotify_BeginProcess() {
  try {
    com::make<CSync>()->Synchronize();
  } catch (const std::exception& e) {
    desktopLog(std::string("HotSync ended on an error: ") + e.what());
  }
  return false;
}

CNotify::~CNotify() {
  // Forms that were never loaded have nothing to unload; loading Qt here
  // would cost every HotSync the dialogs it never shows.
  if (auto* dialogs = setup::loadedDialogs()) dialogs->unloadAll();
}

void CNotify::IPDClientNotify_ConfigureConduit(const std::string&, const std::string&, std::int32_t& nSyncPref,
                                               std::int32_t& nSyncType) {
  std::int32_t action = nSyncType, preference = nSyncPref;
  if (!setup::dialogs().configure(action, preference, false)) return;
  nSyncType = action;
  nSyncPref = preference;
}

Variant CNotify::IPDClientNotify_GetConduitInfo(std::int32_t infoType, std::int32_t, std::int32_t, const std::string&) {
  switch (infoType) {
    case 0: return Variant("Pelorix");
    case 1: return Variant(std::int32_t{0x10000000});
    case 2: return Variant(std::int32_t{2});
    case 3: return Variant(1.0);
    default: return Variant();
  }
}

void CNotify::IPDClientNotify_CfgConduit(std::int32_t, std::int32_t, const std::string&, const std::string&,
                                         std::int32_t& nSyncPerm, std::int32_t&, std::int32_t& nSyncNew,
                                         std::int32_t& nSyncPref) {
  std::int32_t action = nSyncPerm, preference = nSyncPref;
  // Called from a command line, the dialog must not open behind the terminal.
  if (!setup::dialogs().configure(action, preference, true)) return;
  nSyncNew = action;
  nSyncPref = preference;
}

void CNotify::ShowSetup() { setup::dialogs().showSetup(); }
void CNotify::UnInstall() { setup::dialogs().unInstall(); }

}  // namespace pelorix::conduit
