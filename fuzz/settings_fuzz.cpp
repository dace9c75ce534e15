// Arbitrary text as a settings file: refused with the line, or read; what
// was read writes out as a file that reads back the same.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "desktop/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  using namespace pelorix::desktop;
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    SettingsTree tree = parseSettings(text, "fuzz.reg");
    std::string written = serialiseSettings(tree);
    if (parseSettings(written, "again.reg") != tree) std::abort();
  } catch (const SettingsError& e) {
    if (std::string(e.what()).find("fuzz.reg") == std::string::npos) std::abort();
  }
  return 0;
}
