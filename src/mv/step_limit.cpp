#include "mv/step_limit.h"

#include <optional>
#include <string>

#include "desktop/settings_store.h"

namespace pelorix::mv {

namespace {

// A damaged or odd setting must not stop a sync: the default applies.
std::optional<double> positiveSetting(const char* value) {
  try {
    auto text = desktop::SettingsStore::user().get(kHostSettingsKey, value);
    if (text) {
      double number = std::stod(*text);
      if (number > 0) return number;
    }
  } catch (...) {
  }
  return std::nullopt;
}

}  // namespace

long configuredMaxSteps() {
  auto steps = positiveSetting(kMaxStepsValue);
  return steps && *steps >= 1 && *steps < 9e18 ? static_cast<long>(*steps) : kDefaultMaxSteps;
}

std::chrono::milliseconds configuredLockWait() {
  auto seconds = positiveSetting(kLockWaitValue);
  // A day at most: a wait must end.
  if (!seconds || *seconds > 86400) return kDefaultLockWait;
  return std::chrono::milliseconds(static_cast<long long>(*seconds * 1000));
}

size_t configuredMaxValueSize() {
  auto megabytes = positiveSetting(kMaxValueSizeValue);
  if (!megabytes || *megabytes > 4096) return kDefaultMaxValueSize;
  return static_cast<size_t>(*megabytes * 1048576);
}

std::chrono::milliseconds configuredMaxTime() {
  auto seconds = positiveSetting(kMaxSecondsValue);
  if (!seconds || *seconds > 86400) return kDefaultMaxTime;
  return std::chrono::milliseconds(static_cast<long long>(*seconds * 1000));
}

}  // namespace pelorix::mv
