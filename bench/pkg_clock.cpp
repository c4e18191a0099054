// bench_pkg_clock: starts a command, waits for it, and appends its wall time in nanoseconds
// to the file named by PKG_CLOCK_LOG. The 20-center benchmark puts it in front of the
// stand-in package so that package time and the workstation's own time can be told apart.
//   PKG_CLOCK_LOG=FILE bench_pkg_clock PROGRAM [ARGS...]
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: PKG_CLOCK_LOG=FILE bench_pkg_clock PROGRAM [ARGS...]\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) return 127;
  if (pid == 0) {
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  if (const char* log = std::getenv("PKG_CLOCK_LOG")) {
    if (FILE* f = std::fopen(log, "a")) {
      std::fprintf(f, "%lld\n", static_cast<long long>(ns));
      std::fclose(f);
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
