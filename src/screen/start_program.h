// The start-up of p740150: the window D7401501 made hidden, the workstation brought up, the
// grid filled, the screen styled and shown, then the operator code taken. Any failure shows
// its one message and the program ends; the window is then never shown.
#pragma once

#include <memory>
#include <string>

#include "app/workstation.h"

namespace edi::screen {

class OperatorDialogs;
class TransferWindow;

class ScreenProgram {
 public:
  explicit ScreenProgram(OperatorDialogs& dialogs);
  ~ScreenProgram();

  // The whole start-up. False when it failed: the message has been shown and a detail
  // written to stderr; the caller ends the program.
  bool Start(const StartOptions& options, const std::string& commandLine);

  Workstation& workstation() { return ws_; }
  TransferWindow& window() { return *window_; }

 private:
  bool Fail(const std::string& message, const std::string& detail);

  OperatorDialogs& dialogs_;
  Workstation ws_;                          // outlives the window, which observes its rows
  std::unique_ptr<TransferWindow> window_;
};

}  // namespace edi::screen
