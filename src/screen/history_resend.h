// The resend of a run's result as the history window uses it: a look-up before the questions
// and the send itself on a worker thread, so that the window stays responsive while a mail
// goes out. The engine's resend does the work; this only carries its answers to the window.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "app/workstation.h"
#include "mail/mail_transfer.h"
#include "run/run_driver.h"
#include "screen/worker_thread.h"

namespace edi::screen {

// What a resend would do (nothing sent yet).
struct ResendCheck {
  std::string refusal;      // empty when the result can be sent again
  bool mail = false;        // the center sends by mail: the mail progress window shows the send
  int successfulSends = 0;  // how often this result went out successfully so far
};

// How a resend ended.
struct ResendOutcome {
  std::string code;         // "0000" sent
  std::string message;      // one readable line
  bool needsForce = false;  // refused only because the result was already sent successfully
};

// The engine's look-up and send for one serial. Send runs on the worker thread.
struct ResendEngine {
  std::function<ResendCheck(Workstation&, std::int32_t serial)> check;
  std::function<ResendOutcome(Workstation&, run::RunListener&, std::int32_t serial, bool force)> send;
};

// The engine's resend (run/resend): its plan before the questions, its send on the worker.
ResendEngine EngineResend();

class ResendController : public QObject {
  Q_OBJECT
 public:
  ResendController(Workstation& ws, mail::MailProgress& mailProgress, QObject* parent = nullptr);
  // Waits for a send still running.
  ~ResendController() override;

  void setEngine(ResendEngine engine) { engine_ = std::move(engine); }
  ResendCheck Check(std::int32_t serial);

  // Starts the send; false when one is already running.
  bool Start(std::int32_t serial, bool force);
  bool running() const { return worker_.running(); }

 signals:
  void finished(int serial, QString code, QString message, bool needsForce);

 private:
  class Listener;
  ResendOutcome Work(std::int32_t serial, bool force);

  Workstation& ws_;
  mail::MailProgress& mailProgress_;
  ResendEngine engine_;
  WorkerThread worker_{this};
};

}  // namespace edi::screen
