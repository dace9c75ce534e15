#include "mv/step_limit.h"

#include <string>

#include "com/settings_store.h"

namespace pelorix::mv {

long configuredMaxSteps() {
  try {
    auto text = com::SettingsStore::user().get(kHostSettingsKey, kMaxStepsValue);
    if (text) {
      long steps = std::stol(*text);
      if (steps > 0) return steps;
    }
  } catch (...) {
    // A damaged or odd setting must not stop a sync: the default applies.
  }
  return kDefaultMaxSteps;
}

}  // namespace pelorix::mv
