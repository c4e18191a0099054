// The start-up of edi-history: the workstation brought up like p740150's (EDI.ini by the same
// rule, the database, the program settings, the colours of section COLOR), the window made,
// styled by section Setting0 and shown with today's runs. Any failure shows its one message
// and the program ends. Unlike p740150 it needs no center of this terminal: the history
// holds the runs of every workstation.
#pragma once

#include <memory>

#include "app/workstation.h"

namespace edi::screen {

class HistoryDialogs;
class HistoryWindow;

class HistoryProgram {
 public:
  explicit HistoryProgram(HistoryDialogs& dialogs);
  ~HistoryProgram();

  // False when start-up failed: the message has been shown and a detail written to stderr.
  bool Start(const StartOptions& options);

  Workstation& workstation() { return ws_; }
  HistoryWindow& window() { return *window_; }

 private:
  bool Fail(const std::string& message, const std::string& detail);

  HistoryDialogs& dialogs_;
  Workstation ws_;
  std::unique_ptr<HistoryWindow> window_;
};

}  // namespace edi::screen
