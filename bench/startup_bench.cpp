// The start-up of the command as a user pays it: a whole process that
// converts one record (pelorix record memo to-host), fork/exec to exit.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
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
  for (auto _ : state) {
    pid_t pid;
    int status = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0 || ::waitpid(pid, &status, 0) != pid ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("pelorix record failed");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  ::unlink(input);
}
BENCHMARK(BM_RecordProcess)->Unit(benchmark::kMillisecond);

}  // namespace
