#pragma once
// Texts cross the handheld boundary here: Palm OS Latin (Windows-1252 with
// the card suits at 0x8D to 0x90) on the handheld, UTF-8 on the desktop.

#include <string>
#include <string_view>

namespace pelorix::palm {

// Each character becomes one byte; one that the handheld cannot hold, or a
// byte that is not valid UTF-8, becomes "?".
std::string toPalmText(std::string_view utf8);
std::string fromPalmText(std::string_view palm);

// How many bytes toPalmText gives, without building it.
size_t palmTextLength(std::string_view utf8);

}  // namespace pelorix::palm
