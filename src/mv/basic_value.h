#pragma once
// Values of MultiValue BASIC: every value is a text; numbers are texts that
// read as numbers.

#include <optional>
#include <string>
#include <string_view>

namespace pelorix::mv {

// A decimal number with optional sign and fraction; "" counts as 0.
std::optional<double> asNumber(std::string_view text);
// Whole numbers without a decimal point, others with up to 15 digits.
std::string formatNumber(double value);

}  // namespace pelorix::mv
