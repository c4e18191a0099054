// Starting the communications package's command line, waiting for it with a time limit and
// ending it together with every process it started.
//
// POSIX: the command line is a shell command (run with /bin/sh -c). The common form, a few
// NAME=value assignments and a program path with plain arguments, is started directly
// instead: the same process the shell would start, without the shell's own start-up in
// front of every package run. The package runs in a process group of its own.
// Windows: the command line is given to CreateProcessW as it stands; the package runs in a
// job object of its own and a console process group of its own.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace edi::platform {

// The system's id of a started process (the pid, which is also its process group on POSIX).
using ProcessId = int;

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

// Starts the command line so that it can be stopped with whatever it starts. Returns its
// id, or -1 when it could not be started.
ProcessId StartCommand(const std::string& commandLine);

enum class WaitOutcome { Ended, TimedOut, Lost };

// Waits for the child: Ended (its status in `status`) when it ends before the deadline,
// TimedOut when it still runs then, Lost when it cannot be waited for. Without a deadline
// it waits as long as the child runs.
WaitOutcome WaitForChild(ProcessId child, int& status,
                         std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

// The exit code in a status that WaitForChild gave; false when the child did not exit on
// its own (ended by a signal).
bool ExitCodeOf(int status, int& code);

// Asks the child and everything it started to stop (SIGTERM to its group; Windows: Ctrl-Break
// to its console group).
void AskTreeToStop(ProcessId child);
// Ends the child's whole tree at once (SIGKILL to its group; Windows: the job is terminated).
void EndTree(ProcessId child);
// Ends the child itself, also when it left its group (SIGKILL; Windows: TerminateProcess).
// Only for a child that was not yet waited for.
void EndProcess(ProcessId child);

// This process's id, and a stamp of when a process started ("" when there is no such
// process): together they name a process across pid reuse.
long long CurrentProcessId();
std::string ProcessStartStamp(long long pid);

}  // namespace edi::platform
