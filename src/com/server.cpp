#include "com/server.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace pelorix::com {

std::string libraryPathOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || !info.dli_fname) return {};
  std::error_code ec;
  auto canonical = std::filesystem::canonical(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : canonical.string();
}

}  // namespace pelorix::com
