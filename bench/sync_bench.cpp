// Whole HotSyncs of an Address Book of 1,000 to 60,000 records against the
// sample subroutine, with both sides already in step: the cost of looking
// at every record (slow sync) and of finding that nothing changed (fast).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "desktop/class_registry.h"
#include "base/marks.h"
#include "host/settings_writer.h"
#include "palm/handheld.h"
#include "palm/hotsync_manager.h"
#include "records/caddress_book_rec.h"

namespace {

namespace fs = std::filesystem;
using namespace pelorix;

std::string fieldsOf(int i) {
  const std::string vm(1, pelorix::kValueMark);
  std::string f = "Surname" + std::to_string(i) + vm + "First" + vm + "Company " + std::to_string(i % 97);
  for (int p = 0; p < 5; ++p) f += vm + (p < 2 ? "+1 555 01" + std::to_string(i % 100) : "") + vm + std::to_string(p);
  f += vm + "1" + vm + std::to_string(i) + " Main Street" + vm + "Springfield" + vm + "IL" + vm + "62701" + vm + "USA";
  for (int k = 0; k < 6; ++k) f += vm;  // title, four custom fields, note
  return f;
}

// A handheld and an account that hold the same `count` address records.
struct World {
  explicit World(int count) {
    std::string pattern = (fs::temp_directory_path() / "pelorix-syncbench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root = pattern;
    ::setenv("PELORIX_CONFIG_DIR", (root / "config").c_str(), 1);
    fs::copy(fs::path(PELORIX_SOURCE_DIR) / "samples" / "host", root / "host", fs::copy_options::recursive);
    for (const auto& entry : fs::directory_iterator(root / "host" / "ADDRESS.BOOK")) fs::remove(entry.path());
    fs::create_directories(root / "handheld");

    const std::string vm(1, pelorix::kValueMark), am(1, pelorix::kAttributeMark);
    palm::PdbDatabase db = palm::newDatabase("AddressDB", palm::fourCC("addr"), palm::fourCC("DATA"));
    for (int i = 1; i <= count; ++i) {
      std::string id = std::to_string(i);
      auto record = com::make<records::CAddressBookRec>();
      record->ExtractDynamicArray(id + vm + "0" + vm + "0" + vm + "0" + vm + "0" + vm + "0" + vm + fieldsOf(i) + vm);
      db.reserveUniqueId(static_cast<std::uint32_t>(i));
      db.records.push_back({0, static_cast<std::uint32_t>(i), record->CreatePalmData().bytes()});
      std::ofstream(root / "host" / "ADDRESS.BOOK" / id, std::ios::binary)
          << id << am << "0" << am << "0" << am << "0" << am << "0" << am << "0" << am << fieldsOf(i);
    }
    palm::Handheld(root / "handheld").write("AddressDB", db);

    host::SetupValues v;
    v.applications[0] = {"SYNC.ADDRESS", true};
    v.connectionType = 3;
    v.accountName = (root / "host").string();
    desktop::SettingsStore store = desktop::SettingsStore::user();
    host::writeSettings(store, v);
    for (const char* library : {"pelx.so", "mvhost.so"})
      desktop::ClassRegistry::instance().registerLibrary((fs::path(PELORIX_BIN_DIR) / library).string());
  }
  ~World() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  palm::HotSyncResult sync(std::int32_t type) {
    palm::HotSyncOptions options;
    options.handheld = root / "handheld";
    options.syncType = type;
    options.userName = "Bench";
    options.applications = {"address"};
    return palm::runHotSync(options);
  }
  fs::path root;
};

void runSync(benchmark::State& state, std::int32_t type) {
  World world(static_cast<int>(state.range(0)));
  for (auto _ : state)
    if (!world.sync(type).ok()) state.SkipWithError("the HotSync did not complete");
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)), benchmark::Counter::kIsRate);
  state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_SlowSyncAddressBook(benchmark::State& state) { runSync(state, 1); }
void BM_FastSyncAddressBook(benchmark::State& state) { runSync(state, 0); }
BENCHMARK(BM_FastSyncAddressBook)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SlowSyncAddressBook)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

// A fast sync in which the host deleted every third record: the handheld
// removes them one by one, which must cost no more than linear time.
void BM_FastSyncHostDeletesAThird(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  World world(count);
  if (!world.sync(1).ok()) state.SkipWithError("the first HotSync did not complete");
  const std::string am(1, pelorix::kAttributeMark);
  for (int i = 3; i <= count; i += 3) {
    fs::path item = world.root / "host" / "ADDRESS.BOOK" / std::to_string(i);
    std::ofstream(item, std::ios::binary) << i << am << "0" << am << "0" << am << "0" << am << "1" << am << "1" << am
                                          << fieldsOf(i);
  }
  for (const char* side : {"handheld", "host"})
    fs::copy(world.root / side, world.root / (std::string(side) + ".saved"), fs::copy_options::recursive);
  for (auto _ : state) {
    state.PauseTiming();
    for (const char* side : {"handheld", "host"}) {
      fs::remove_all(world.root / side);
      fs::copy(world.root / (std::string(side) + ".saved"), world.root / side, fs::copy_options::recursive);
    }
    state.ResumeTiming();
    if (!world.sync(0).ok()) state.SkipWithError("the HotSync did not complete");
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FastSyncHostDeletesAThird)->Arg(6000)->Arg(20000)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(2);
