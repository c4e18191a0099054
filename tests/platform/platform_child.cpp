// A stand-in for the communications package in the platform tests:
//   platform_child exit N      ends with exit code N
//   platform_child tree FILE   starts `beat FILE` as a child of its own, then sleeps
//   platform_child beat FILE   appends a byte to FILE every 50 ms for at most 30 s
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

void StartBeat(const char* self, const char* file) {
#ifdef _WIN32
  std::string line = std::string("\"") + self + "\" beat \"" + file + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
#else
  char* argv[] = {const_cast<char*>(self), const_cast<char*>("beat"), const_cast<char*>(file), nullptr};
  pid_t pid = 0;
  posix_spawn(&pid, self, nullptr, nullptr, argv, environ);
#endif
}

std::string Self(const char* argv0) {
#ifdef _WIN32
  char name[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, name, MAX_PATH);
  return name;
#else
  return argv0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  if (mode == "exit") return std::atoi(argv[2]);
  if (mode == "tree") {
    StartBeat(Self(argv[0]).c_str(), argv[2]);
    std::this_thread::sleep_for(std::chrono::seconds(30));
    return 0;
  }
  if (mode == "beat") {
    for (int i = 0; i < 600; ++i) {
      if (std::FILE* f = std::fopen(argv[2], "ab")) {
        std::fputc('.', f);
        std::fclose(f);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
  }
  return 2;
}
