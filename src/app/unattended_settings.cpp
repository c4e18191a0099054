#include "app/unattended_settings.h"

#include "app/catalogue.h"
#include "app/settings.h"
#include "app/text.h"

namespace edi {
namespace {

constexpr int kBuffer = 256;
constexpr long long kLargest = 1000000;

int WholeNumber(const IniFile& ini, const char* section, const char* key, int fallback) {
  const std::string value = TrimSpaces(ini.Read(section, key, kBuffer));
  if (value.empty()) return fallback;
  if (!AllDigits(value) || value.size() > 7 || std::stoll(value) > kLargest)
    throw SettingsError(TrArgs("{1} {2}: \"{3}\" は 0 から {4} までの整数ではありません",
                               {section, key, value, std::to_string(kLargest)}));
  return static_cast<int>(std::stoll(value));
}

}  // namespace

UnattendedSettings ReadUnattendedSettings(const IniFile& ini) {
  UnattendedSettings s;
  s.retry.enabled = TrimSpaces(ini.Read("RETRY", "ENABLED", kBuffer)) == "1";
  s.retry.maxTries = WholeNumber(ini, "RETRY", "MAXTRIES", s.retry.maxTries);
  s.retry.intervalMinutes = WholeNumber(ini, "RETRY", "INTERVALMIN", s.retry.intervalMinutes);
  s.retry.windowHours = WholeNumber(ini, "RETRY", "WINDOWHOURS", s.retry.windowHours);
  const std::string to = ini.Read("ALERT", "TO", kBuffer);
  for (std::size_t start = 0; start <= to.size();) {
    std::size_t comma = to.find(',', start);
    if (comma == std::string::npos) comma = to.size();
    const std::string piece = TrimSpaces(std::string_view(to).substr(start, comma - start));
    if (!piece.empty()) s.alert.to.push_back(piece);
    start = comma + 1;
  }
  s.alert.subject = TrimSpaces(ini.Read("ALERT", "SUBJECT", kBuffer));
  s.alert.maxPerHour = WholeNumber(ini, "ALERT", "MAXPERHOUR", s.alert.maxPerHour);
  return s;
}

}  // namespace edi
