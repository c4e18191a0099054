// What `edi run` and `edi resend` show of a run's progress: each step's line on stdout (with its time),
// mail sub-steps as lines, mail errors on stderr.
#pragma once

#include <iostream>
#include <string>

#include "app/text.h"
#include "mail/console_progress.h"
#include "run/run_driver.h"

namespace edi::cli {

class ConsoleListener : public run::RunListener {
 public:
  // Each line carries the date and time, as ERR.LOG's lines do, so that a console log of an
  // unattended run can be laid beside ERR.LOG and the history.
  void Log(const std::string& line) override {
    std::cout << TodayYmd() << " " << NowHms() << " " << line << "\n" << std::flush;
  }
  mail::MailProgress& mailProgress() override { return mail_; }

 private:
  mail::ConsoleProgress mail_;
};

}  // namespace edi::cli
