// The embedded host: CallHost round trips through the connector plug-in, the
// interpreter's speed in statements per second, and the loops that
// bench/basic_vs_python times against the same loops in Python.

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

// ---- BASIC loops (bench/basic_vs_python), each run range(0) times ----
// The program gets the count in A and its data in B; one benchmark iteration
// is one whole loop, so the time per step is the time divided by the count.

std::string nThings(const char* prefix, long n, char mark) {
  std::string out;
  for (long i = 1; i <= n; ++i) {
    if (i > 1) out += mark;
    out += prefix + std::to_string(i);
  }
  return out;
}

void runLoop(benchmark::State& state, const char* body, std::string data) {
  std::string source = std::string("SUBROUTINE LOOP(A,B,C)\n") + body + "\nRETURN\n";
  mv::Interpreter vm({}, {}, 2'000'000'000);
  for (auto _ : state) {
    std::vector<std::string> args{std::to_string(state.range(0)), data, ""};
    vm.run("LOOP", source, args);
    benchmark::DoNotOptimize(args);
  }
  state.counters["steps"] = static_cast<double>(state.range(0));
}

void BM_BasicIncrement(benchmark::State& state) {  // i = 0 / while i < n: i = i + 1
  runLoop(state, "I = 0\nLOOP WHILE I < A\n  I = I + 1\nREPEAT", "");
}
BENCHMARK(BM_BasicIncrement)->Arg(1'000'000);

void BM_BasicConcatenate(benchmark::State& state) {  // s = '' / for i in range(n): s = s + 'X'
  runLoop(state, "S = ''\nFOR I = 1 TO A\n  S = S : 'X'\nNEXT I", "");
}
BENCHMARK(BM_BasicConcatenate)->Arg(10'000)->Arg(30'000)->Arg(100'000);

void BM_BasicExtract(benchmark::State& state) {  // for k in range(1, n + 1): v = a[k - 1]
  runLoop(state, "FOR K = 1 TO A\n  V = B<K>\nNEXT K", nThings("A", state.range(0), static_cast<char>(0xFE)));
}
BENCHMARK(BM_BasicExtract)->Arg(100'000);

void BM_BasicLocate(benchmark::State& state) {  // for i in range(n): p = values.index('V1000') + 1
  runLoop(state, "FOR I = 1 TO A\n  LOCATE 'V1000' IN B<1> SETTING P ELSE NULL\nNEXT I",
          nThings("V", 1000, static_cast<char>(0xFD)));
}
BENCHMARK(BM_BasicLocate)->Arg(10'000);

}  // namespace
