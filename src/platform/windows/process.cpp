// The package in a job object of its own (so that ending the job ends everything the package
// started) and in a console process group of its own (so that Ctrl-Break asks it alone to
// stop). The ids handed out are the Windows process ids; the handles behind them are kept
// here until the process was waited for and its job was ended or has emptied.
#include "platform/process.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/windows/win_text.h"

namespace edi::platform {
namespace {

struct Child {
  HANDLE process = nullptr;  // closed once the process was waited for
  HANDLE job = nullptr;
};

std::mutex& ChildrenMutex() {
  static std::mutex m;
  return m;
}
std::map<ProcessId, Child>& Children() {
  static std::map<ProcessId, Child> children;
  return children;
}

bool JobEmpty(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr)) return true;
  return info.ActiveProcesses == 0;
}

// Forgets the children that were waited for and whose jobs hold no process any more.
void Prune() {
  auto& children = Children();
  for (auto it = children.begin(); it != children.end();) {
    if (it->second.process == nullptr && JobEmpty(it->second.job)) {
      CloseHandle(it->second.job);
      it = children.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

std::optional<PlainCommand> SplitPlainCommand(const std::string&) { return std::nullopt; }

ProcessId StartCommand(const std::string& commandLine) {
  std::lock_guard lock(ChildrenMutex());
  Prune();
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return -1;
  std::wstring line = windows::Wide(commandLine);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // Suspended until it is in the job, so that nothing it starts escapes the job.
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP,
                      nullptr, nullptr, &si, &pi)) {
    CloseHandle(job);
    return -1;
  }
  if (!AssignProcessToJobObject(job, pi.hProcess)) {
    TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(job);
    return -1;
  }
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  const ProcessId id = static_cast<ProcessId>(pi.dwProcessId);
  Children()[id] = Child{pi.hProcess, job};
  return id;
}

WaitOutcome WaitForChild(ProcessId child, int& status, std::optional<std::chrono::steady_clock::time_point> deadline) {
  HANDLE process = nullptr;
  {
    std::lock_guard lock(ChildrenMutex());
    auto it = Children().find(child);
    if (it == Children().end() || it->second.process == nullptr) return WaitOutcome::Lost;
    process = it->second.process;
  }
  DWORD timeout = INFINITE;
  if (deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
    timeout = left.count() <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left.count(), 0x7FFFFFFF));
  }
  const DWORD rc = WaitForSingleObject(process, timeout);
  if (rc == WAIT_TIMEOUT) return WaitOutcome::TimedOut;
  if (rc != WAIT_OBJECT_0) return WaitOutcome::Lost;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  status = static_cast<int>(code);
  std::lock_guard lock(ChildrenMutex());
  auto it = Children().find(child);
  if (it != Children().end() && it->second.process != nullptr) {
    CloseHandle(it->second.process);
    it->second.process = nullptr;
  }
  return WaitOutcome::Ended;
}

bool ExitCodeOf(int status, int& code) {
  code = status;
  return true;
}

void AskTreeToStop(ProcessId child) { GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(child)); }

void EndTree(ProcessId child) {
  std::lock_guard lock(ChildrenMutex());
  auto it = Children().find(child);
  if (it == Children().end()) return;
  TerminateJobObject(it->second.job, 1);
}

void EndProcess(ProcessId child) {
  std::lock_guard lock(ChildrenMutex());
  auto it = Children().find(child);
  if (it != Children().end() && it->second.process != nullptr) TerminateProcess(it->second.process, 1);
}

long long CurrentProcessId() { return static_cast<long long>(GetCurrentProcessId()); }

// The process's creation time in 100 ns units since 1601.
std::string ProcessStartStamp(long long pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return "";
  FILETIME created{}, exited{}, kernel{}, user{};
  std::string stamp;
  DWORD code = 0;
  if (GetProcessTimes(process, &created, &exited, &kernel, &user) && GetExitCodeProcess(process, &code) &&
      code == STILL_ACTIVE)
    stamp = std::to_string((static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
  CloseHandle(process);
  return stamp;
}

}  // namespace edi::platform
