// A failed mail sub-step: the number and description that the operator sees as
// "Error " + number + ": " + description. Thrown inside the mail module only; MailTransfer
// catches every fault and turns it into its result code.
#pragma once

#include <stdexcept>
#include <string>

namespace edi::mail {

struct MailFault : std::runtime_error {
  MailFault(long number, const std::string& description)
      : std::runtime_error(description), number(number) {}
  long number;
  // The message was handed over whole but the server's answer never came: it may have been
  // delivered. Such a send must not be repeated by itself.
  bool outcomeUnknown = false;
};

// Number ranges, so that the operator (and support) can tell where a fault came from:
// libcurl codes as they are (1-99), file-system faults 1000 + errno, MIME faults 2000 + n.
constexpr long kFileFaultBase = 1000;
constexpr long kMimeFaultBase = 2000;

// "Error " + number + ": " + description.
std::string FormatFault(long number, const std::string& description);

}  // namespace edi::mail
