#pragma once
// What the setup dialog saves: every key of every section, whatever the
// connection type, in one atomic change of the settings store.

#include "desktop/settings_store.h"
#include "host/settings.h"

namespace pelorix::host {

// SettingsError when the store cannot be written; it is then unchanged.
void writeSettings(desktop::SettingsStore& store, const SetupValues& values);

}  // namespace pelorix::host
