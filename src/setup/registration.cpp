#include "setup/registration.h"

#include "base/ascii_case.h"
#include "com/com_error.h"
#include "com/dispatch.h"
#include "desktop/class_registry.h"
#include "host/settings.h"
#include "palm/applications.h"
#include "palm/conduit_controls.h"
#include "palm/conduit_entries.h"
#include "palm/pdb_database.h"
#include "setup/dialogs.h"

namespace pelorix::setup {

using com::Arg;
using com::InvokeKind;
using com::Variant;

namespace {
const palm::Application* findCreator(const std::string& text) {
  auto id = palm::ConduitEntries::creatorId(text);
  return id ? palm::applicationOfCreator(*id) : nullptr;
}

// Dispatch ids of the conduit-manager controls.
constexpr com::DispId kGetCreatorId = 3, kReadConduit = 13, kDllName = 11, kDisplayName = 5, kValue = 16, kReload = 20;

void put(com::Object& object, com::DispId id, std::initializer_list<Arg> args) {
  com::invokeWith(object, id, InvokeKind::PropertyPut, args);
}
}  // namespace

ConduitControls ConduitControls::create() {
  static const bool added = (palm::addConduitControls(), true);
  (void)added;
  auto& registry = desktop::ClassRegistry::instance();
  return {registry.create(palm::kConduitManagerProgId), registry.create(palm::kConduitDataProgId),
          registry.create(palm::kHotSyncApiProgId)};
}

bool UpdateConduit(ConduitControls& controls, desktop::SettingsStore& settings, const std::string& creator, bool flag) {
  const palm::Application* app = findCreator(creator);
  if (!app) {
    showMessage(MessageKind::Critical, "Invalid Creator Id");
    return false;
  }
  // Saving updates four applications in a row: each message says which.
  const std::string about = std::string("\r\nApplication: ") + app->name;
  try {
    Variant id = com::invokeWith(*controls.cndManager, kGetCreatorId, InvokeKind::Method, {Arg(creator)});
    Variant status = com::invokeWith(*controls.cndData, kReadConduit, InvokeKind::Method, {Arg::ref(id)});
    if (status.toInt32() > 0) {
      showMessage(MessageKind::Critical,
                  "Unable to find the Creator ID.  Conduit not likely installed.\r\n"
                  "The default Conduit must be installed by installing the Palm Desktop." +
                      about);
      return false;
    }
    std::string dll = com::invokeWith(*controls.cndData, kDllName, InvokeKind::PropertyGet, {}).toText();
    std::string client =
        com::invokeWith(*controls.cndData, kValue, InvokeKind::PropertyGet, {Arg("COMClient"), Arg("")}).toText();
    const std::string section = host::sectionKey(app->section);

    if (flag) {
      std::string upperDll = pelorix::upperAscii(dll);
      if (pelorix::upperAscii(client) == "PELX.CNOTIFY" &&
          (upperDll == "COMCLIENT.DLL" || upperDll == "COMCONDUIT.DLL"))
        return true;
      settings.set(section, host::kOldDllKey, dll);
      settings.set(section, host::kOldComClientKey, client);
      put(*controls.cndData, kDllName, {Arg(palm::kComConduitDll)});
      put(*controls.cndData, kDisplayName, {Arg(app->name)});
      put(*controls.cndData, kValue, {Arg("COMClient"), Arg(""), Arg("Pelx.CNotify")});
      // A one-time action chosen before Pelorix served the application is not
      // the user's choice for Pelorix: it could overwrite the host.
      if (!com::invokeWith(*controls.cndData, kValue, InvokeKind::PropertyGet, {Arg("SyncTemp"), Arg("")})
               .toText()
               .empty())
        put(*controls.cndData, kValue, {Arg("SyncTemp"), Arg(""), Arg("")});
    } else {
      std::string oldDll = settings.get(section, host::kOldDllKey, dll);
      std::string oldClient = settings.get(section, host::kOldComClientKey, client);
      put(*controls.cndData, kDllName, {Arg(oldDll)});
      put(*controls.cndData, kValue, {Arg("COMClient"), Arg(""), Arg(oldClient)});
    }
    com::invokeWith(*controls.HotSyncApi1, kReload, InvokeKind::Method, {Arg(std::int32_t{0})});
    return true;
  } catch (const com::ComError& e) {
    showMessage(MessageKind::Critical,
                "Error In Conduit Update\r\n" + std::to_string(e.number()) + " " + e.description() + about);
  } catch (const std::exception& e) {
    showMessage(MessageKind::Critical,
                "Error In Conduit Update\r\n" + std::to_string(com::err::kFail) + " " + e.what() + about);
  }
  return false;
}

bool UnInstall(ConduitControls& controls, desktop::SettingsStore& settings) {
  bool ok = true;
  for (const palm::Application& app : palm::applications()) {
    // As unregistering one application does, so that the setup shows it unticked.
    settings.set(host::sectionKey(app.section), host::kActiveKey, "0");
    ok = UpdateConduit(controls, settings, palm::fourCCText(app.creator), false) && ok;
  }
  return ok;
}

}  // namespace pelorix::setup
