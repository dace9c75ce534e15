#pragma once
// Limits of one call of a program, from the settings key below: how many
// steps it may take before it counts as a runaway ("MaxSteps"), and how many
// seconds a READU waits for another process's lock ("LockWait").

#include <chrono>

namespace pelorix::mv {

inline constexpr const char* kHostSettingsKey = "Software\\Pelorix\\Host";
inline constexpr const char* kMaxStepsValue = "MaxSteps";
inline constexpr long kDefaultMaxSteps = 10'000'000;
inline constexpr const char* kLockWaitValue = "LockWait";
inline constexpr std::chrono::seconds kDefaultLockWait{30};

long configuredMaxSteps();
std::chrono::milliseconds configuredLockWait();

}  // namespace pelorix::mv
