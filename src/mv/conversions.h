#pragma once
// OCONV, ICONV and FMT codes: dates (D...), times (MT...), decimals (MD, MR,
// ML), character classes (MC...), groups (G), patterns (P) and masks (L#5,
// R%6, L###-####, 10L, R2,$#12). Internal dates count days from
// 31 December 1967, internal times seconds from midnight.

#include <optional>
#include <string>

namespace pelorix::mv {

// nullopt for a code this host does not know.
std::optional<std::string> oconv(const std::string& value, const std::string& code);
// "" when the text is not a date, time or number in that code's form.
std::optional<std::string> iconv(const std::string& text, const std::string& code);
// FMT(value, code) and the mask after an expression; nullopt for a bad code.
std::optional<std::string> formatValue(const std::string& value, const std::string& code);
// value MATCHES pattern: nN nA nX (0 for any number), n-mN, literals, with
// alternatives separated by value marks.
bool matchesPattern(const std::string& value, const std::string& pattern);

}  // namespace pelorix::mv
