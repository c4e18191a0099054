// Closing a run that was left open by a kill or a power loss. Such a run's branch 0 never got
// its end, so every later `edi run` warns about it; the operator closes it as abandoned once
// it is known that no workstation still works on it. The run's open rows get the stop code
// "9900" with the detail code kClosedByHandDetail and the time of the close.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace edi {
class Database;
}

namespace edi::run {

// The detail code of rows closed by hand (a stop by a signal carries the signal's number).
inline constexpr const char* kClosedByHandDetail = "9901";

struct CloseOutcome {
  bool closed = false;   // false: refused (message says why) or a database fault
  int rows = 0;          // rows closed (branch 0 and any open branch of the serial)
  std::string message;   // one readable line (Japanese) for the console or a message box
};

// Closes the open run of `serial`: refused when the serial has no run or its run has ended.
// A line in the log (`errLog`, when given) says that the run was closed by hand. Never throws.
CloseOutcome CloseAbandonedRun(Database& db, std::int32_t serial, const std::filesystem::path& errLog = {});

}  // namespace edi::run
