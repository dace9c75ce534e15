// Records per second through each class, in each direction, and a whole
// 60,000-record AddressDB through the Address Book's codec.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>

#include "address_book_fixture.h"
#include "records/palm_record.h"

namespace {

using namespace pelorix;

struct Sample {
  const char* database;
  com::ByteArray bytes;
};

const Sample kSamples[] = {
    {"MemoDB",
     com::ByteArray{'B', 'u', 'y', ' ', 'm', 'i', 'l', 'k', '\n', 'a', 'n', 'd', ' ', 'e', 'g', 'g', 's', 0, 0}},
    {"AddressDB", com::ByteArray{0,   0x10, 0x32, 0x10, 0,   0,   0x01, 0x1F, 10,  'S', 'm', 'i', 't', 'h', 0,
                                 'A', 'n',  'n',  0,    'A', 'c', 'm',  'e',  ' ', 'L', 't', 'd', 0,   '5', '5',
                                 '5', '-',  '1',  '2',  '3', 0,   '5',  '5',  '5', '-', '9', '8', '7', 0,   0}},
    {"ToDoDB",
     com::ByteArray{0xC2, 0xA7, 0x82, 'C', 'a', 'l', 'l', ' ', 'B', 'o', 'b', 0, 'a', 'b', 'o', 'u', 't', 0, 0}},
    {"DatebookDB",
     com::ByteArray{0x0A, 0x00, 0x0B, 0x1E, 0xC2, 0xA7, 0x6C, 0x00, 5,   1, 2,   0,   0xFF, 0xFF, 1, 0x04, 0,
                    0,    0,    1,    0xC2, 0xA8, 'M',  'e',  'e',  't', 0, 'R', 'o', 'o',  'm',  0, 0}},
};

void BM_ToHost(benchmark::State& state) {
  const Sample& s = kSamples[state.range(0)];
  com::Variant data(s.bytes);
  for (auto _ : state) {
    auto r = records::createRecord(s.database);
    com::Variant id(std::int32_t{4242});
    r->CreateClass(id, 1, 0x40, data);
    benchmark::DoNotOptimize(r->CreateDynamicArray());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(s.database);
}
BENCHMARK(BM_ToHost)->DenseRange(0, 3);

void BM_ToPalm(benchmark::State& state) {
  const Sample& s = kSamples[state.range(0)];
  auto source = records::createRecord(s.database);
  com::Variant id(std::int32_t{4242});
  source->CreateClass(id, 1, 0x40, com::Variant(s.bytes));
  std::string array = source->CreateDynamicArray();
  for (auto _ : state) {
    auto r = records::createRecord(s.database);
    r->ExtractDynamicArray(array);
    benchmark::DoNotOptimize(r->CreatePalmData());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(s.database);
}
BENCHMARK(BM_ToPalm)->DenseRange(0, 3);

// The file read, each record decoded to the host's dynamic array and encoded
// back from it, the file written: what bench/codec_margins times other
// readers on. With PELORIX_ADDRESSDB_OUT set, the file is also saved there
// for them.
void BM_AddressDBCodecs(benchmark::State& state) {
  const std::vector<std::uint8_t> file = bench::addressDatabase(static_cast<int>(state.range(0))).serialize();
  if (const char* out = std::getenv("PELORIX_ADDRESSDB_OUT"))
    std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  size_t written = 0;
  for (auto _ : state) {
    palm::PdbDatabase db = palm::PdbDatabase::parse(file, "bench");
    for (palm::PdbRecord& record : db.records) {
      auto decoder = records::createRecord("AddressDB");
      com::Variant id(static_cast<std::int32_t>(record.uniqueId));
      decoder->CreateClass(id, record.attributes & 0x0F, record.attributes & 0xF0, com::Variant(record.data));
      std::string array = decoder->CreateDynamicArray();
      auto encoder = records::createRecord("AddressDB");
      encoder->ExtractDynamicArray(array);
      com::Variant encoded = encoder->CreatePalmData();
      record.data = std::move(encoded.bytes());
    }
    written = db.serialize().size();
    benchmark::DoNotOptimize(written);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["file_bytes"] = static_cast<double>(file.size());
  state.counters["written_bytes"] = static_cast<double>(written);
}
BENCHMARK(BM_AddressDBCodecs)->Arg(60000)->Unit(benchmark::kMillisecond);

}  // namespace
