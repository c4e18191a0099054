// What `edi run` and `edi resend` show of a run's progress: each step's line on stdout,
// mail sub-steps as lines, mail errors on stderr.
#pragma once

#include <iostream>
#include <string>

#include "mail/console_progress.h"
#include "run/run_driver.h"

namespace edi::cli {

class ConsoleListener : public run::RunListener {
 public:
  void Log(const std::string& line) override { std::cout << line << "\n" << std::flush; }
  mail::MailProgress& mailProgress() override { return mail_; }

 private:
  mail::ConsoleProgress mail_;
};

}  // namespace edi::cli
