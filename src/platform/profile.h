// What the system says about the machine and the user this process runs for. A value that
// cannot be read stays empty.
#pragma once

#include <string>

namespace edi::platform {

struct SystemProfile {
  std::string os;      // "Linux"; "Windows NT"
  std::string ver;     // major.minor of the kernel release / Windows version
  std::string build;   // the patch level's digits / the Windows build number
  std::string csdVer;  // kernel version text / service pack text
  std::string domain;  // NIS or DNS domain, empty when none
  std::string machine; // the computer name
  std::string user;    // the account this process runs as
};

SystemProfile ReadSystemProfile();

// The computer name, "" when it cannot be read.
std::string HostName();

// The computer name and an id of the current boot of the system: a process id seen with
// another boot id no longer names a living process.
std::string BootIdentity();

}  // namespace edi::platform
