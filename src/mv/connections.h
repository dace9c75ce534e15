#pragma once
// Named connections to accounts of the embedded host: a small text file of
// the settings folder, one "name = account folder" a line, "#" for comments.
// A relative folder is taken from the settings folder.

#include <filesystem>
#include <optional>
#include <string>

namespace pelorix::mv {

std::filesystem::path connectionsFile();

// The account folder of a connection name (matched without regard to
// case), else of `name` taken as a folder when one exists there.
std::optional<std::filesystem::path> resolveAccount(const std::string& name);

}  // namespace pelorix::mv
