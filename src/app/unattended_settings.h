// Sections RETRY and ALERT of EDI.ini: the automatic retry of failed sends and the alert mail
// on a final failure. Read at the start of `edi run`, `edi retry` and the window, so that a
// value that is not a number stops the start instead of being taken as some default.
#pragma once

#include <string>
#include <vector>

#include "app/ini_file.h"

namespace edi {

struct RetrySettings {
  bool enabled = false;    // ENABLED: "1" on, anything else off
  int maxTries = 3;        // MAXTRIES: retries after the run's own send
  int intervalMinutes = 10;  // INTERVALMIN: wait before the first retry, doubled after each; 0 no wait
  int windowHours = 24;    // WINDOWHOURS: how far back a failed run is taken
};

struct AlertSettings {
  std::vector<std::string> to;  // TO: recipients, comma-separated; none: no alert
  std::string subject;          // SUBJECT: prefix of the subject
  int maxPerHour = 10;          // MAXPERHOUR: mails an hour, counted across workstations
};

struct UnattendedSettings {
  RetrySettings retry;
  AlertSettings alert;
};

// Throws SettingsError naming the section and key when a number is not a whole number
// from 0 to 1,000,000 (an empty or missing value takes the default).
UnattendedSettings ReadUnattendedSettings(const IniFile& ini);

}  // namespace edi
