#pragma once
// How many steps one call of a program may take before it counts as a
// runaway: the setting "MaxSteps" of the key below, else the default.

namespace pelorix::mv {

inline constexpr const char* kHostSettingsKey = "Software\\Pelorix\\Host";
inline constexpr const char* kMaxStepsValue = "MaxSteps";
inline constexpr long kDefaultMaxSteps = 10'000'000;

long configuredMaxSteps();

}  // namespace pelorix::mv
