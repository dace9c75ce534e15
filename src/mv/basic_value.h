#pragma once
// Values of MultiValue BASIC: every value is a text; numbers are texts that
// read as numbers. Texts are UTF-8: functions count characters, and a byte
// that is not part of a valid sequence (a mark, say) counts as one.

#include <optional>
#include <string>
#include <string_view>

namespace pelorix::mv {

// For arithmetic: a decimal number with optional sign and fraction, blanks
// around it allowed; "" counts as 0.
std::optional<double> asNumber(std::string_view text);
// For comparisons and NUM(): no blanks, and "" is not a number.
std::optional<double> asStrictNumber(std::string_view text);
// -1, 0 or 1: numerically when both sides are numbers, otherwise as texts.
int compareValues(const std::string& a, const std::string& b);
// Whole numbers in full, others rounded to 4 decimals (PRECISION 4).
std::string formatNumber(double value);

// ---- UTF-8 characters ----
// The length in bytes of the character starting at `at`.
size_t charLength(std::string_view text, size_t at);
size_t charCount(std::string_view text);
// The byte offset of character `index` (0-based), or text.size().
size_t byteOffset(std::string_view text, size_t index);
// The character index of byte offset `at`.
size_t charIndex(std::string_view text, size_t at);
std::string upperText(std::string_view text);
std::string lowerText(std::string_view text);

}  // namespace pelorix::mv
