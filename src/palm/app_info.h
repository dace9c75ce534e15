#pragma once
// The AppInfo block a built-in application gives a database it creates: the
// category block, then the application's own settings. Readers of the Palm
// File Format take a database without them as damaged.

#include <cstdint>
#include <vector>

namespace pelorix::palm {

// For 'addr', 'date', 'memo' and 'todo' the application's block with its
// defaults and "Unfiled" in slot 0; for any other creator the category block
// alone.
std::vector<std::uint8_t> applicationAppInfo(std::uint32_t creator);

}  // namespace pelorix::palm
