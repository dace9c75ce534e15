#pragma once
// Limits of one call of a program, from the settings key below: how many
// steps it may take before it counts as a runaway ("MaxSteps"), and how many
// seconds a READU waits for another process's lock ("LockWait"), the
// largest value in megabytes ("MaxValueSize") and the seconds a call may
// run ("MaxSeconds").

#include <chrono>
#include <cstddef>

namespace pelorix::mv {

inline constexpr const char* kHostSettingsKey = "Software\\Pelorix\\Host";
inline constexpr const char* kMaxStepsValue = "MaxSteps";
inline constexpr long kDefaultMaxSteps = 10'000'000;
inline constexpr const char* kLockWaitValue = "LockWait";
inline constexpr std::chrono::seconds kDefaultLockWait{30};

inline constexpr const char* kMaxValueSizeValue = "MaxValueSize";  // megabytes
inline constexpr size_t kDefaultMaxValueSize = 64u << 20;
inline constexpr const char* kMaxSecondsValue = "MaxSeconds";
inline constexpr std::chrono::seconds kDefaultMaxTime{300};

long configuredMaxSteps();
size_t configuredMaxValueSize();
std::chrono::milliseconds configuredMaxTime();
std::chrono::milliseconds configuredLockWait();

}  // namespace pelorix::mv
