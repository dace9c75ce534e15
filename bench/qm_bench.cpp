// Each host connector against the other: CallHost round trips of a trivial
// subroutine, and a slow HotSync of 10,000 Address Book records already in
// step, on the embedded host and on a local ScarletDME (skipped without it).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/marks.h"
#include "desktop/class_registry.h"
#include "host/host_connector.h"
#include "host/settings_writer.h"
#include "palm/handheld.h"
#include "palm/hotsync_manager.h"
#include "records/caddress_book_rec.h"

namespace {

namespace fs = std::filesystem;
using namespace pelorix;

const fs::path kSource = PELORIX_SOURCE_DIR;
const char* kLibraries[] = {"mvhost.so", "qmclient.so"};

bool scarletInstalled() { return ::access("/usr/qmsys/bin/qm", X_OK) == 0; }

// A temporary folder, settings of its own and, for QM, an account made from
// an embedded account folder (removed again at the end).
struct Place {
  Place() {
    std::string pattern = (fs::temp_directory_path() / "pelorix-qmbench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root = pattern;
    ::setenv("PELORIX_CONFIG_DIR", (root / "config").c_str(), 1);
  }
  ~Place() {
    if (!qmAccount.empty())
      std::system(("cd /usr/qmsys && qm -quiet 'DELETE ACCOUNTS " + qmAccount + "' >/dev/null").c_str());
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  // The account to name in the settings for the connector.
  std::string account(bool qm, const fs::path& embedded) {
    if (!qm) return embedded.string();
    qmAccount = "PXB" + std::to_string(::getpid()) + "_" + std::to_string(++count);
    std::string command = "'" + (kSource / "scripts" / "host-to-qm").string() + "' '" + embedded.string() + "' " +
                          qmAccount + " '" + (root / qmAccount).string() + "' >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("host-to-qm failed");
    return qmAccount;
  }
  fs::path root;
  std::string qmAccount;
  int count = 0;
};

void BM_CallHostRoundTrip(benchmark::State& state) {
  bool qm = state.range(0) == 1;
  if (qm && !scarletInstalled()) return state.SkipWithError("ScarletDME is not installed");
  Place place;
  fs::copy(kSource / "tests" / "qm" / "account", place.root / "host", fs::copy_options::recursive);
  std::string account = place.account(qm, place.root / "host");
  desktop::ClassRegistry::instance().registerLibrary((fs::path(PELORIX_BIN_DIR) / kLibraries[qm]).string());
  host::HostConnector host = host::HostConnector::create(3);
  host.HostName("");
  host.AcctPath(account);
  host.Connect();
  std::string to;
  for (auto _ : state) host.CallHost("PX.ECHO", "0", "x", to);
  host.Disconnect();
  state.counters["calls/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CallHostRoundTrip)->ArgName("qm")->Arg(0)->Arg(1)->UseRealTime();

std::string fieldsOf(int i) {
  const std::string vm(1, pelorix::kValueMark);
  std::string f = "Surname" + std::to_string(i) + vm + "First" + vm + "Company " + std::to_string(i % 97);
  for (int p = 0; p < 5; ++p) f += vm + (p < 2 ? "+1 555 01" + std::to_string(i % 100) : "") + vm + std::to_string(p);
  f += vm + "1" + vm + std::to_string(i) + " Main Street" + vm + "Springfield" + vm + "IL" + vm + "62701" + vm + "USA";
  for (int k = 0; k < 6; ++k) f += vm;
  return f;
}

void BM_SlowSync10000(benchmark::State& state) {
  bool qm = state.range(0) == 1;
  if (qm && !scarletInstalled()) return state.SkipWithError("ScarletDME is not installed");
  constexpr int kCount = 10000;
  Place place;
  fs::path host = place.root / "host";
  fs::copy(kSource / "samples" / "host", host, fs::copy_options::recursive);
  for (const auto& entry : fs::directory_iterator(host / "ADDRESS.BOOK")) fs::remove(entry.path());
  std::string account = place.account(qm, host);
  // A QM directory file keeps attribute marks as line ends.
  fs::path items = qm ? place.root / place.qmAccount / "ADDRESS.BOOK" : host / "ADDRESS.BOOK";
  const std::string vm(1, pelorix::kValueMark), am(1, qm ? '\n' : pelorix::kAttributeMark);
  palm::PdbDatabase db = palm::newDatabase("AddressDB", palm::fourCC("addr"), palm::fourCC("DATA"));
  for (int i = 1; i <= kCount; ++i) {
    std::string id = std::to_string(i);
    auto record = com::make<records::CAddressBookRec>();
    record->ExtractDynamicArray(id + vm + "0" + vm + "0" + vm + "0" + vm + "0" + vm + "0" + vm + fieldsOf(i) + vm);
    db.reserveUniqueId(static_cast<std::uint32_t>(i));
    db.records.push_back({0, static_cast<std::uint32_t>(i), record->CreatePalmData().bytes()});
    std::ofstream(items / id, std::ios::binary)
        << id << am << "0" << am << "0" << am << "0" << am << "0" << am << "0" << am << fieldsOf(i);
  }
  fs::create_directories(place.root / "handheld");
  palm::Handheld(place.root / "handheld").write("AddressDB", db);
  host::SetupValues v;
  v.applications[0] = {"SYNC.ADDRESS", true};
  v.connectionType = 3;
  v.accountName = account;
  desktop::SettingsStore store = desktop::SettingsStore::user();
  host::writeSettings(store, v);
  for (const char* library : {"pelx.so", kLibraries[qm]})
    desktop::ClassRegistry::instance().registerLibrary((fs::path(PELORIX_BIN_DIR) / library).string());
  for (auto _ : state) {
    palm::HotSyncOptions options;
    options.handheld = place.root / "handheld";
    options.syncType = 1;
    options.userName = "Bench";
    options.applications = {"address"};
    if (!palm::runHotSync(options).ok()) state.SkipWithError("the HotSync did not complete");
  }
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kCount), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SlowSync10000)->ArgName("qm")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
