#pragma once
// Shows a dynamic array's marks the way MultiValue tools print them:
// AM as "^", VM as "]", SVM as "\". A literal "^", "]", "\" or "~" is
// written with a "~" before it, so that no mark is ever mistaken for a
// literal character and the form reads back exactly.

#include <string>
#include <string_view>

namespace pelorix::records {

std::string toReadableMarks(std::string_view raw);
// A "~" before any other character, or at the end, is a literal "~".
std::string fromReadableMarks(std::string_view readable);

}  // namespace pelorix::records
