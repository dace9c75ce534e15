// Arbitrary text as a BASIC subroutine: refused with a BasicError, or run
// within small bounds of steps, memory and time. Nothing else may escape.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "mv/basic_interpreter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  using namespace pelorix::mv;
  std::string source(reinterpret_cast<const char*>(data), size);
  // No account: file statements fail as they would without one.
  Interpreter vm([](const std::string&) { return std::optional<std::string>(); }, [](const std::string&) {}, 20'000);
  vm.setMaxValueSize(1 << 20);
  vm.setMaxTime(std::chrono::milliseconds(200));
  std::vector<std::string> args{"1", "2", "3"};
  // A whole program (the seeds are) runs as it is, anything else as a body.
  bool whole = source.starts_with("SUBROUTINE") || source.starts_with("FUNCTION") || source.starts_with("PROGRAM");
  try {
    vm.run("FUZZ", whole ? source : "SUBROUTINE FUZZ(A,B,C)\n" + source, args);
  } catch (const BasicError&) {
  }
  return 0;
}
