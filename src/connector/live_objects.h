#pragma once
// Objects of a connector library still alive, for its DllCanUnloadNow. Each
// plug-in links this in and so keeps a count of its own.

#include <atomic>

namespace pelorix::connector {

inline std::atomic<long>& liveObjects() {
  static std::atomic<long> count{0};
  return count;
}

}  // namespace pelorix::connector
