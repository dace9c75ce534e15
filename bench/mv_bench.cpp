// The embedded host: CallHost round trips through the connector plug-in, and
// the interpreter's speed in statements per second.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "desktop/class_registry.h"
#include "host/host_connector.h"
#include "mv/account.h"
#include "mv/basic_interpreter.h"

namespace {

namespace fs = std::filesystem;
using namespace pelorix;

// An account with one program, and the connector registered in a settings
// folder of its own, both in a fresh temporary folder.
struct BenchAccount {
  BenchAccount() {
    std::string pattern = (fs::temp_directory_path() / "pelorix-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root = pattern;
    fs::create_directories(root / "account");
    ::setenv("PELORIX_CONFIG_DIR", (root / "config").c_str(), 1);
    mv::Account account(root / "account");
    account.createFile("BP");
    account.write("BP", "ECHO", "SUBROUTINE ECHO(INFO,FROM,TO)\nTO = FROM\nRETURN\n");
    desktop::ClassRegistry::instance().registerLibrary((fs::path(PELORIX_BIN_DIR) / "mvhost.so").string());
  }
  ~BenchAccount() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  fs::path root;
};

void BM_CallHostRoundTrip(benchmark::State& state) {
  BenchAccount bench;
  host::HostConnector connector = host::HostConnector::create(3);
  connector.AcctPath((bench.root / "account").string());
  connector.Connect();
  std::string to;
  for (auto _ : state) {
    connector.CallHost("ECHO", "0", "record", to);
    benchmark::DoNotOptimize(to);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallHostRoundTrip);

void BM_InterpreterStatements(benchmark::State& state) {
  const char* source =
      "SUBROUTINE LOOP(A,B,C)\n"
      "FOR I = 1 TO 10000\n"
      "  X = I * 2 : 'A'\n"
      "  C<1,-1> = LEN(X)\n"
      "  IF MOD(I, 100) = 0 THEN C = ''\n"
      "NEXT I\n"
      "RETURN\n";
  mv::Interpreter vm;
  long steps = 0;
  for (auto _ : state) {
    std::vector<std::string> args(3);
    vm.run("LOOP", source, args);
    steps += vm.stepsTaken();
  }
  state.SetItemsProcessed(steps);
  state.counters["statements/s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InterpreterStatements);

}  // namespace
