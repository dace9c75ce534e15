// Reading and writing handheld databases, and the record adapter's lookups.

#include <benchmark/benchmark.h>

#include "palm/handheld.h"
#include "palm/hotsync_session.h"
#include "palm/pdb_database.h"

namespace {

using namespace pelorix::palm;

PdbDatabase database(size_t records) {
  PdbDatabase db = newDatabase("AddressDB", fourCC("addr"), fourCC("DATA"));
  for (size_t i = 0; i < records; ++i)
    db.records.push_back({0x40, db.allocateUniqueId(), std::vector<std::uint8_t>(120, static_cast<std::uint8_t>(i))});
  return db;
}

void BM_ParsePdb(benchmark::State& state) {
  auto bytes = database(static_cast<size_t>(state.range(0))).serialize();
  for (auto _ : state) benchmark::DoNotOptimize(PdbDatabase::parse(bytes, "bench"));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParsePdb)->Arg(1000)->Arg(10000)->Arg(60000);

void BM_SerializePdb(benchmark::State& state) {
  PdbDatabase db = database(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(db.serialize());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SerializePdb)->Arg(1000)->Arg(10000)->Arg(60000);

void BM_FindById(benchmark::State& state) {
  WorkingDatabase w;
  w.db = database(static_cast<size_t>(state.range(0)));
  std::uint32_t id = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(w.find(id));
    id = id % static_cast<std::uint32_t>(state.range(0)) + 1;
  }
}
BENCHMARK(BM_FindById)->Arg(60000);

}  // namespace
