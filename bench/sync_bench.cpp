// Whole HotSyncs of an Address Book of 1,000 to 60,000 records, with both
// sides already in step: the cost of looking at every record (slow sync),
// of finding that nothing changed (fast), of the conduit alone (a
// subroutine that answers nothing), of the desktop overwriting the handheld,
// and of a fast sync in which the host deleted a third.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "address_book_fixture.h"
#include "base/marks.h"
#include "desktop/class_registry.h"
#include "host/settings_writer.h"
#include "palm/handheld.h"
#include "palm/hotsync_manager.h"

namespace {

namespace fs = std::filesystem;
using namespace pelorix;

constexpr std::int32_t kFast = 0, kSlow = 1, kDesktopOverwritesHandheld = 3;

// Answers every request with no records: what is left is the conduit's own
// work. Request 6 gets the 15 empty categories the conduit insists on.
constexpr char kTrivialSubroutine[] =
    "SUBROUTINE SYNC.NOTHING(PALM.INFO,FROM.PALM,TO.PALM)\n"
    "TO.PALM = ''\n"
    "IF PALM.INFO<1> = 6 THEN\n"
    "   FOR I = 1 TO 15\n"
    "      TO.PALM<I> = '' : @VM : 0\n"
    "   NEXT I\n"
    "END\n"
    "RETURN\n";

// A handheld and an account that hold the same `count` address records.
struct World {
  explicit World(int count, const std::string& program = "SYNC.ADDRESS") {
    std::string pattern = (fs::temp_directory_path() / "pelorix-syncbench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root = pattern;
    ::setenv("PELORIX_CONFIG_DIR", (root / "config").c_str(), 1);
    fs::copy(fs::path(PELORIX_SOURCE_DIR) / "samples" / "host", root / "host", fs::copy_options::recursive);
    for (const auto& entry : fs::directory_iterator(root / "host" / "ADDRESS.BOOK")) fs::remove(entry.path());
    std::ofstream(root / "host" / "BP" / "SYNC.NOTHING", std::ios::binary) << kTrivialSubroutine;
    fs::create_directories(root / "handheld");

    const std::string am(1, pelorix::kAttributeMark);
    for (int i = 1; i <= count; ++i) {
      std::string id = std::to_string(i);
      std::ofstream(root / "host" / "ADDRESS.BOOK" / id, std::ios::binary)
          << id << am << "0" << am << "0" << am << "0" << am << "0" << am << "0" << am << bench::addressFields(i);
    }
    palm::Handheld(root / "handheld").write("AddressDB", bench::addressDatabase(count));

    host::SetupValues v;
    v.applications[0] = {program, true};
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
  // Empty when the HotSync completed, else its first problem.
  std::string syncProblem(std::int32_t type) {
    palm::HotSyncResult result = sync(type);
    return result.ok() ? "" : result.problems.front();
  }
  palm::HotSyncResult sync(std::int32_t type) {
    palm::HotSyncOptions options;
    options.handheld = root / "handheld";
    options.syncType = type;
    options.userName = "Bench";
    options.applications = {"address"};
    return palm::runHotSync(options);
  }
  // Both sides as they are now, to start each iteration from.
  void save() {
    for (const char* side : {"handheld", "host"})
      fs::copy(root / side, root / (std::string(side) + ".saved"), fs::copy_options::recursive);
  }
  // Only the files that differ are copied back, so that restoring 60,000
  // items costs reading them; flushed, so that an iteration does not pay
  // for writing the copies back.
  void restore() {
    for (const char* side : {"handheld", "host"}) {
      fs::path live = root / side, saved = root / (std::string(side) + ".saved");
      std::vector<fs::path> extra;
      for (const auto& entry : fs::recursive_directory_iterator(live))
        if (!fs::exists(saved / fs::relative(entry.path(), live))) extra.push_back(entry.path());
      for (const fs::path& path : extra) fs::remove_all(path);
      for (const auto& entry : fs::recursive_directory_iterator(saved)) {
        fs::path target = live / fs::relative(entry.path(), saved);
        if (entry.is_directory()) {
          fs::create_directories(target);
        } else if (!fs::exists(target) || contents(target) != contents(entry.path())) {
          fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
        }
      }
    }
    ::sync();
  }
  static std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path root;
};

// The world of the last benchmark run, kept for its next repetitions: building
// 60,000 items and flushing them costs more than the HotSyncs measured.
// `kind` names what was done to it after it was built.
World& worldFor(int count, const std::string& program, const std::string& kind) {
  static std::unique_ptr<World> world;
  static std::string key;
  std::string wanted = std::to_string(count) + " " + program + " " + kind;
  if (!world || key != wanted) {
    world.reset();
    world = std::make_unique<World>(count, program);
    key = wanted;
    ::sync();
  }
  return *world;
}

void countRecords(benchmark::State& state, int count) {
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * count), benchmark::Counter::kIsRate);
}

void runSync(benchmark::State& state, std::int32_t type, const std::string& program = "SYNC.ADDRESS") {
  World& world = worldFor(static_cast<int>(state.range(0)), program, "in step");
  for (auto _ : state)
    if (std::string problem = world.syncProblem(type); !problem.empty()) state.SkipWithError(problem.c_str());
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  countRecords(state, static_cast<int>(state.range(0)));
  state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_SlowSyncAddressBook(benchmark::State& state) { runSync(state, kSlow); }
void BM_FastSyncAddressBook(benchmark::State& state) { runSync(state, kFast); }
void BM_SlowSyncTrivialSubroutine(benchmark::State& state) { runSync(state, kSlow, "SYNC.NOTHING"); }
BENCHMARK(BM_FastSyncAddressBook)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SlowSyncAddressBook)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SlowSyncTrivialSubroutine)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Desktop overwrites handheld with both sides in step: every record goes to
// the handheld again and the host settles every one it sent. Wall time is
// what counts here (a flush per record would show in it, not in CPU time),
// and it must grow linearly.
void BM_DesktopOverwritesHandheld(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  World& world = worldFor(count, "SYNC.ADDRESS", "desktop overwrites");
  if (!fs::exists(world.root / "host.saved")) {
    if (!world.sync(kSlow).ok()) state.SkipWithError("the first HotSync did not complete");
    world.save();
  }
  for (auto _ : state) {
    state.PauseTiming();
    world.restore();
    state.ResumeTiming();
    if (!world.sync(kDesktopOverwritesHandheld).ok()) state.SkipWithError("the HotSync did not complete");
  }
  countRecords(state, count);
}
BENCHMARK(BM_DesktopOverwritesHandheld)
    ->Arg(6000)
    ->Arg(20000)
    ->Arg(60000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

// A fast sync in which the host deleted every third record: the handheld
// removes them one by one, which must cost no more than linear time.
void BM_FastSyncHostDeletesAThird(benchmark::State& state) {
  int count = static_cast<int>(state.range(0));
  World& world = worldFor(count, "SYNC.ADDRESS", "host deletes");
  if (!fs::exists(world.root / "host.saved")) {
    if (!world.sync(kSlow).ok()) state.SkipWithError("the first HotSync did not complete");
    const std::string am(1, pelorix::kAttributeMark);
    for (int i = 3; i <= count; i += 3) {
      fs::path item = world.root / "host" / "ADDRESS.BOOK" / std::to_string(i);
      std::ofstream(item, std::ios::binary)
          << i << am << "0" << am << "0" << am << "0" << am << "1" << am << "1" << am << bench::addressFields(i);
    }
    world.save();
  }
  for (auto _ : state) {
    state.PauseTiming();
    world.restore();
    state.ResumeTiming();
    if (!world.sync(kFast).ok()) state.SkipWithError("the HotSync did not complete");
  }
  countRecords(state, count);
}
BENCHMARK(BM_FastSyncHostDeletesAThird)
    ->Arg(6000)
    ->Arg(20000)
    ->Arg(60000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
