// The mail progress of `edi run`: each completed sub-step as a line on stdout, errors on
// stderr. Nothing waits for an answer.
#pragma once

#include <iosfwd>
#include <string>

#include "mail/mail_transfer.h"

namespace edi::mail {

class ConsoleProgress : public MailProgress {
 public:
  ConsoleProgress();                                  // std::cout and std::cerr
  ConsoleProgress(std::ostream& out, std::ostream& err);

  void Open() override;
  void AddLine(const std::string& line) override;
  void ShowError(const std::string& text) override;
  void Close() override;

 private:
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace edi::mail
