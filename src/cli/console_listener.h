// What `edi run` and `edi resend` show of a run's progress: each step's line on stdout (with its time),
// mail sub-steps as lines, mail errors on stderr.
#pragma once

#include <iostream>
#include <string>

#include "app/text.h"
#include "mail/console_progress.h"
#include "run/run_driver.h"
#include "run/run_stop.h"

namespace edi::cli {

class ConsoleListener : public run::RunListener {
 public:
  // `stop` (when given) also ends a mail transfer under way.
  explicit ConsoleListener(const run::RunStop* stop = nullptr) : mail_(stop) {}
  // Each line carries the date and time, as ERR.LOG's lines do, so that a console log of an
  // unattended run can be laid beside ERR.LOG and the history.
  void Log(const std::string& line) override {
    std::cout << TodayYmd() << " " << NowHms() << " " << line << "\n" << std::flush;
  }
  mail::MailProgress& mailProgress() override { return mail_; }

 private:
  class Progress : public mail::ConsoleProgress {
   public:
    explicit Progress(const run::RunStop* stop) : stop_(stop) {}
    bool StopRequested() const override { return stop_ && stop_->requested(); }

   private:
    const run::RunStop* stop_;
  };
  Progress mail_;
};

}  // namespace edi::cli
