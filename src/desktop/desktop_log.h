#pragma once
// The desktop's own log: what went wrong where the HotSync log stays silent,
// so that a user can find out why nothing moved.

#include <filesystem>
#include <string>

namespace pelorix::desktop {

// <config folder>/pelorix.log
std::filesystem::path desktopLogFile();

// Appends one time-stamped line; a log that cannot be written is not an
// error of the synchronisation.
void desktopLog(const std::string& line);

}  // namespace pelorix::desktop
