#pragma once
// Shows a dynamic array's marks the way MultiValue tools print them:
// AM as "^", VM as "]", SVM as "\". A literal "^", "]" or "\" is written
// with a "\" before it, so the form reads back exactly.

#include <string>
#include <string_view>

namespace pelorix::records {

std::string toReadableMarks(std::string_view raw);
// std::invalid_argument for a lone "\" at the end.
std::string fromReadableMarks(std::string_view readable);

}  // namespace pelorix::records
