#pragma once
// OCONV and ICONV for the date codes (D, D2/, D4-, ...) and time codes (MT,
// MTS, MTH). Internal dates count days from 31 December 1967, internal
// times seconds from midnight.

#include <optional>
#include <string>

namespace pelorix::mv {

// nullopt for a code this host does not know.
std::optional<std::string> oconv(const std::string& value, const std::string& code);
// "" when the text is not a date or time in that code's form.
std::optional<std::string> iconv(const std::string& text, const std::string& code);

}  // namespace pelorix::mv
