#include "mail/mail_fault.h"

namespace edi::mail {

std::string FormatFault(long number, const std::string& description) {
  return "Error " + std::to_string(number) + ": " + description;
}

}  // namespace edi::mail
