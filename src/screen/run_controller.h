// Runs a pass of the transfer run on a worker thread so that the window stays responsive.
// The controller lives on the window's thread; what the run reports (a center started or
// finished, the pass ended) arrives there as queued signals, in the order the run sent them.
#pragma once

#include <QObject>
#include <functional>

#include "app/workstation.h"
#include "mail/mail_transfer.h"
#include "run/run_driver.h"
#include "run/run_stop.h"
#include "screen/worker_thread.h"

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
  bool running() const { return worker_.running(); }
  // Asks a running pass to stop (its package is ended, its open history rows are closed with
  // the stop code) and waits up to `seconds` for it, serving its queued requests meanwhile.
  // False when it still runs then. Meant for the program's end: a stopped controller starts
  // no further center.
  bool StopRun(int seconds);

 signals:
  void centerStarted(int row);
  void centerFinished(int row);
  void passFinished();

 private:
  class Listener;
  void Work(int buttonIndex);

  Workstation& ws_;
  mail::MailProgress& mailProgress_;
  Runner runner_;
  run::RunStop stop_;
  WorkerThread worker_{this};
};

}  // namespace edi::screen
