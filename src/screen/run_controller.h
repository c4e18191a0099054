// Runs a pass of the transfer run on a worker thread so that the window stays responsive.
// The controller lives on the window's thread; what the run reports (a center started or
// finished, the pass ended) arrives there as queued signals, in the order the run sent them.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

#include "app/workstation.h"
#include "mail/mail_transfer.h"
#include "run/run_driver.h"

namespace edi::screen {

class RunController : public QObject {
  Q_OBJECT
 public:
  // The work of one pass: by default the run driver's RunMarkedCenters.
  using Runner = std::function<void(Workstation&, run::RunListener&, int buttonIndex)>;

  RunController(Workstation& ws, mail::MailProgress& mailProgress, QObject* parent = nullptr);
  // Waits for a pass still running (serving its queued requests meanwhile).
  ~RunController() override;

  void setRunner(Runner runner) { runner_ = std::move(runner); }

  // Starts a pass; false when one is already running.
  bool Start(int buttonIndex);
  bool running() const { return running_; }

 signals:
  void centerStarted(int row);
  void centerFinished(int row);
  void passFinished();

 private:
  class Listener;
  void Work(int buttonIndex);
  void Finish();

  Workstation& ws_;
  mail::MailProgress& mailProgress_;
  Runner runner_;
  std::thread worker_;
  std::atomic<bool> running_{false};
};

}  // namespace edi::screen
