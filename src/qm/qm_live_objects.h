#pragma once
// Objects of the connector library still alive, for DllCanUnloadNow.

#include <atomic>

namespace pelorix::qm {

inline std::atomic<long>& liveObjects() {
  static std::atomic<long> count{0};
  return count;
}

}  // namespace pelorix::qm
