#pragma once
// Takes over the HotSync Manager's conduit entry of an application for
// Pelx.CNotify, keeping what it named before, and gives it back.

#include <string>

#include "com/object.h"
#include "desktop/settings_store.h"

namespace pelorix::setup {

// The conduit-manager controls, bound late by dispatch id.
struct ConduitControls {
  com::Ref<com::Object> cndManager, cndData, HotSyncApi1;
  static ConduitControls create();
};

// Makes the application of the creator text ("memo") this conduit's (flag
// true) or restores its previous conduit. Every failure is told through a
// critical message; returns false then.
bool UpdateConduit(ConduitControls& controls, desktop::SettingsStore& settings, const std::string& creator, bool flag);

// Restores all four applications and marks each no longer used ("Active" 0).
bool UnInstall(ConduitControls& controls, desktop::SettingsStore& settings);

}  // namespace pelorix::setup
