#include "run/retry_window.h"

#include "app/ini_file.h"
#include "app/settings.h"
#include "app/text.h"

namespace edi::run {

std::optional<int> RetryWindowHours(const IniFile& ini) {
  if (TrimSpaces(ini.Read("RETRY", "ENABLED", 64)) != "1") return std::nullopt;
  const std::string hours = TrimSpaces(ini.Read("RETRY", "WINDOWHOURS", 64));
  // A value that is no positive number keeps the default rather than purging recent runs.
  if (!AllDigits(hours) || hours.size() > 6 || std::stoi(hours) <= 0) return kDefaultRetryWindowHours;
  return std::stoi(hours);
}

}  // namespace edi::run
