// Feeds arbitrary bytes to a record class, both as a handheld record and as
// a dynamic array from the host.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "palm/applications.h"
#include "records/palm_record.h"

namespace {
// The application the build names by its command key; the Date Book for any other name.
pelorix::palm::AppKind kind() {
  const pelorix::palm::Application* app = pelorix::palm::applicationOfKey(PELORIX_FUZZ_DATABASE);
  return app ? app->kind : pelorix::palm::AppKind::DateBook;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  using namespace pelorix;
  static const palm::AppKind db = kind();
  com::ByteArray bytes(data, data + size);

  auto fromPalm = records::createRecord(db);
  com::Variant id(std::int32_t{1});
  try {
    fromPalm->CreateClass(id, 3, 0x40, com::Variant(bytes));
  } catch (const com::ComError&) {
    // the To Do class passes decoding failures on
  }
  std::string array = fromPalm->CreateDynamicArray();
  if (array.find('\xFE') != std::string::npos) std::abort();  // one record never holds an AM
  auto fromHost = records::createRecord(db);
  fromHost->ExtractDynamicArray(array);  // what we wrote must read back
  fromHost->CreatePalmData();

  auto hostile = records::createRecord(db);
  try {
    hostile->ExtractDynamicArray(std::string(bytes.begin(), bytes.end()));
  } catch (const com::ComError&) {
  }
  hostile->CreatePalmData();
  hostile->CreateDynamicArray();
  return 0;
}
