#pragma once
// The windows live in a library of their own, pelorix_dialogs, opened only
// when one is shown, so that a HotSync and the other commands never load Qt.

#include <cstdint>
#include <string>

#include "setup/dialogs.h"

namespace pelorix::setup {

// What pelorix_dialogs offers to code that does not link it.
struct DialogEntries {
  void (*showSetup)();
  void (*unInstall)();
  // The HotSync action dialog loaded from `action`; false when cancelled,
  // otherwise `action` and `preference` hold what was chosen.
  bool (*configure)(std::int32_t& action, std::int32_t& preference, bool stayOnTop);
  void (*unloadAll)();
  void (*message)(MessageKind kind, const std::string& text);
  bool (*start)(const std::string& path);
  bool (*applicationRunning)();
};

// Opens pelorix_dialogs, found beside this library, on first use; ComError
// when it cannot be opened.
const DialogEntries& dialogs();
// The entries when the library is already loaded, else nullptr: unloading
// must not load Qt just to find nothing there.
const DialogEntries* loadedDialogs();

inline constexpr const char* kDialogLibrary = "libpelorix_dialogs.so";
inline constexpr const char* kDialogEntriesSymbol = "pelorix_dialog_entries";

}  // namespace pelorix::setup
