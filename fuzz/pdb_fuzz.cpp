// Arbitrary bytes as a Palm database file: refused or read, never more.

#include <cstdint>
#include <cstdlib>

#include "palm/category_info.h"
#include "palm/pdb_database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  using namespace pelorix::palm;
  try {
    PdbDatabase db = PdbDatabase::parse({data, size}, "fuzz");
    CategoryInfo categories(db.appInfo);
    for (size_t i = 0; i < CategoryInfo::kCount; ++i) categories.label(i);
    // What was read writes out as a file that reads back the same.
    auto bytes = db.serialize();
    if (PdbDatabase::parse(bytes, "again").serialize() != bytes) std::abort();
  } catch (const PdbFormatError&) {
  }
  return 0;
}
