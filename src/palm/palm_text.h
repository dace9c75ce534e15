#pragma once
// Texts cross the handheld boundary here: Palm OS Latin (Windows-1252 with
// card suits at 0x8D, 0x8F and 0x90) on the handheld, UTF-8 on the desktop.

#include <string>
#include <string_view>

namespace pelorix::palm {

// Each character becomes one byte. A byte that is not valid UTF-8 is read as
// Windows-1252; a character the handheld cannot hold becomes "?", a NUL a
// blank.
std::string toPalmText(std::string_view utf8);
std::string fromPalmText(std::string_view palm);

// How many characters toPalmText replaces by "?" or a blank.
size_t unheldCharacters(std::string_view utf8);

// How many bytes toPalmText gives, without building it.
size_t palmTextLength(std::string_view utf8);

}  // namespace pelorix::palm
