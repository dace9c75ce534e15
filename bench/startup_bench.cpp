// The start-up of the command as a user pays it: a whole process that
// converts one record (pelorix record memo to-host), fork/exec to exit.
// The child's CPU time is counted apart, as this process's own is only the spawn.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace {

void BM_RecordProcess(benchmark::State& state) {
  const std::string program = std::string(PELORIX_BIN_DIR) + "/pelorix";
  char input[] = "/tmp/pelorix-startup-XXXXXX";
  int fd = ::mkstemp(input);
  static const char kMemo[] = "Buy milk\nand eggs";  // written with its terminating zero
  bool written = fd >= 0 && ::write(fd, kMemo, sizeof kMemo) == sizeof kMemo;
  if (fd >= 0) ::close(fd);
  if (!written) {
    state.SkipWithError("no temporary file");
    return;
  }
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("record"), const_cast<char*>("memo"),
                  const_cast<char*>("to-host"), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  double childSeconds = 0;
  for (auto _ : state) {
    pid_t pid;
    int status = 0;
    rusage usage{};
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0 ||
        ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("pelorix record failed");
      break;
    }
    childSeconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  state.counters["child_cpu_ms"] = benchmark::Counter(childSeconds * 1000.0, benchmark::Counter::kAvgIterations);
  posix_spawn_file_actions_destroy(&actions);
  ::unlink(input);
}
BENCHMARK(BM_RecordProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
