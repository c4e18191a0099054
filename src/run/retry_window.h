// The automatic-retry window of EDI.ini section RETRY: while automatic retries are on
// (ENABLED=1), a run that started within the last WINDOWHOURS hours (default 24) may still be
// sent again, so the retention keeps it.
#pragma once

#include <optional>

namespace edi {
class IniFile;
}

namespace edi::run {

inline constexpr int kDefaultRetryWindowHours = 24;

// The window in hours while automatic retries are on; nullopt when they are off.
std::optional<int> RetryWindowHours(const IniFile& ini);

}  // namespace edi::run
