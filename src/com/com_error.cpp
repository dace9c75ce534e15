#include "com/com_error.h"

#include <cstdio>

namespace pelorix::com {

namespace {
std::string whatText(HRESULT number, const std::string& source, const std::string& description) {
  std::string text = description.empty() ? std::string("error") : description;
  text += " (" + hresultText(number);
  if (!source.empty()) text += ", " + source;
  return text + ")";
}
}  // namespace

ComError::ComError(HRESULT number, std::string source, std::string description, std::string helpFile,
                   std::int32_t helpContext)
    : std::runtime_error(whatText(number, source, description)),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      helpFile_(std::move(helpFile)),
      helpContext_(helpContext) {}

std::string hresultText(HRESULT number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(number));
  return buffer;
}

void raise(HRESULT number, std::string source, std::string description) {
  throw ComError(number, std::move(source), std::move(description));
}

}  // namespace pelorix::com
