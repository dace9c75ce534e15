#pragma once
// The element-by-element functions of the embedded BASIC (ADDS, EQS, CATS ...).

#include <string_view>

namespace pelorix::mv {

struct BuiltinFunction;

// nullptr when `name` (in capitals) is not one of them.
const BuiltinFunction* findElementwiseFunction(std::string_view name);

}  // namespace pelorix::mv
