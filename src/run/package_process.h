// Starting the communications package's command line and waiting for it to end.
//
// The command line is a shell command (run with /bin/sh -c). The common form, a few
// NAME=value assignments and a program path with plain arguments, is started directly
// instead: the same process the shell would start, without the shell's own start-up in
// front of every package run. Anything else (quotes, variables, operators, a program
// found through PATH, a builtin) goes through the shell.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace edi::run {

// A command line that needs no shell: assignments for the environment, the program (a
// path holding "/") and its arguments.
struct PlainCommand {
  std::vector<std::string> assignments;  // "NAME=value"
  std::string program;
  std::vector<std::string> arguments;    // after the program
};

// The command split into its words when every word is plain text (letters, digits and
// / . _ - + , : @ = %), the leading NAME=value words are assignments and the first other
// word is a path; std::nullopt when the shell has to interpret it.
std::optional<PlainCommand> SplitPlainCommand(const std::string& commandLine);

// Starts the command line in a process group of its own (so that it can be stopped with
// whatever it starts). Returns its pid, or -1 when it could not be started.
pid_t StartCommand(const std::string& commandLine);

enum class WaitOutcome { Ended, TimedOut, Lost };

// Waits for the child: Ended (its status in `status`) when it ends before the deadline,
// TimedOut when it still runs then, Lost when it cannot be waited for. Without a deadline
// it waits as long as the child runs.
WaitOutcome WaitForChild(pid_t pid, int& status,
                         std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

}  // namespace edi::run
