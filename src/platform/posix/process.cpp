#include "platform/process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace edi::platform {
namespace {

bool PlainCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._-+,:@=%", c) != nullptr;
}

// NAME=value with NAME a shell variable name.
bool IsAssignment(const std::string& word) {
  const auto eq = word.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  if (std::isdigit(static_cast<unsigned char>(word[0]))) return false;
  return std::all_of(word.begin(), word.begin() + static_cast<long>(eq),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// The environment of this process with the assignments put in, each replacing a variable
// of the same name (a later assignment of a name wins, as in the shell).
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& assignments) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) env.emplace_back(*e);
  for (const auto& a : assignments) {
    const std::string prefix = a.substr(0, a.find('=') + 1);
    auto same = std::find_if(env.begin(), env.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    if (same != env.end()) *same = a;
    else env.push_back(a);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (auto& t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

pid_t Spawn(const char* path, std::vector<std::string> argv, std::vector<std::string>* env, int& error) {
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) {
    error = errno;
    return -1;
  }
  // A process group of its own, and the usual handling of the signals that stop it (the
  // caller may block them to take them on a thread of its own; the package must not).
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none, usual;
  sigemptyset(&none);
  sigemptyset(&usual);
  for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGPIPE}) sigaddset(&usual, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &usual);
  auto args = Pointers(argv);
  std::vector<char*> envp;
  if (env) envp = Pointers(*env);
  pid_t pid = 0;
  error = posix_spawn(&pid, path, nullptr, &attr, args.data(), env ? envp.data() : environ);
  posix_spawnattr_destroy(&attr);
  return error == 0 ? pid : -1;
}

}  // namespace

std::optional<PlainCommand> SplitPlainCommand(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  for (char c : commandLine + " ") {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else if (PlainCharacter(c)) {
      word += c;
    } else {
      return std::nullopt;
    }
  }
  PlainCommand command;
  std::size_t i = 0;
  while (i < words.size() && IsAssignment(words[i])) command.assignments.push_back(words[i++]);
  if (i == words.size() || words[i].find('/') == std::string::npos) return std::nullopt;
  command.program = words[i++];
  command.arguments.assign(words.begin() + static_cast<long>(i), words.end());
  return command;
}

ProcessId StartCommand(const std::string& commandLine) {
  int error = 0;
  if (auto plain = SplitPlainCommand(commandLine)) {
    std::vector<std::string> argv{plain->program};
    argv.insert(argv.end(), plain->arguments.begin(), plain->arguments.end());
    std::vector<std::string> env = EnvironmentWith(plain->assignments);
    const pid_t pid = Spawn(plain->program.c_str(), argv, &env, error);
    if (pid > 0) return pid;
    // Not found or not executable: the shell would fail the same way (exit code 127/126).
    if (error == ENOENT || error == EACCES || error == ENOTDIR) return -1;
    // A script without "#!" (ENOEXEC) and anything unexpected: leave it to the shell.
  }
  return Spawn("/bin/sh", {"/bin/sh", "-c", commandLine}, nullptr, error);
}

WaitOutcome WaitForChild(ProcessId pid, int& status, std::optional<std::chrono::steady_clock::time_point> deadline) {
  if (!deadline) {
    for (;;) {
      if (waitpid(pid, &status, 0) == pid) return WaitOutcome::Ended;
      if (errno != EINTR) return WaitOutcome::Lost;
    }
  }
  // The wait sleeps on a process descriptor of the child, so it returns the moment the
  // package ends; where the kernel has none, it polls, first after 1 ms and then at growing
  // intervals up to 50 ms, so that a quick package costs no fixed delay.
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  auto interval = std::chrono::milliseconds(1);
  WaitOutcome outcome = WaitOutcome::Ended;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      outcome = WaitOutcome::Lost;
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= *deadline) {
      outcome = WaitOutcome::TimedOut;
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - now) + std::chrono::milliseconds(1);
    if (pidfd >= 0) {
      pollfd fd{pidfd, POLLIN, 0};
      poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    } else {
      std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(interval, left));
      interval = std::min(interval * 2, std::chrono::milliseconds(50));
    }
  }
  if (pidfd >= 0) close(pidfd);
  return outcome;
}

bool ExitCodeOf(int status, int& code) {
  if (!WIFEXITED(status)) return false;
  code = WEXITSTATUS(status);
  return true;
}

void AskTreeToStop(ProcessId child) { kill(-child, SIGTERM); }

void EndTree(ProcessId child) { kill(-child, SIGKILL); }

void EndProcess(ProcessId child) { kill(child, SIGKILL); }

long long CurrentProcessId() { return getpid(); }

// The start time of a process in clock ticks after boot (field 22 of /proc/PID/stat).
std::string ProcessStartStamp(long long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return "";
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  for (int i = 0; i < 20 && fields >> field; ++i) {
  }
  return field;
}

}  // namespace edi::platform
