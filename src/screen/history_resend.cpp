#include "screen/history_resend.h"

#include <memory>

#include "cii/translator.h"
#include "run/resend.h"
#include "run/run_context.h"

namespace edi::screen {

// The send's listener: only the mail progress is shown; the rest belongs to a whole run.
class ResendController::Listener : public run::RunListener {
 public:
  explicit Listener(mail::MailProgress& mail) : mail_(mail) {}
  mail::MailProgress& mailProgress() override { return mail_; }

 private:
  mail::MailProgress& mail_;
};

ResendEngine EngineResend() {
  ResendEngine engine;
  engine.check = [](Workstation& ws, std::int32_t serial) {
    // The look-up sends nothing: no progress to show.
    struct Quiet : run::RunListener, mail::MailProgress {
      void Open() override {}
      void AddLine(const std::string&) override {}
      void ShowError(const std::string&) override {}
      void Close() override {}
      mail::MailProgress& mailProgress() override { return *this; }
    } quiet;
    cii::Translator translator(*ws.db, ws.errLogPath);
    const run::ResendPlan plan = run::PlanResend(run::RunContext{ws, quiet, translator}, serial);
    return ResendCheck{plan.refusal, plan.method == "M", plan.successfulSends};
  };
  engine.send = [](Workstation& ws, run::RunListener& listener, std::int32_t serial, bool force) {
    cii::Translator translator(*ws.db, ws.errLogPath);
    const run::ResendResult sent = run::Resend(run::RunContext{ws, listener, translator}, serial, force);
    return ResendOutcome{sent.code, sent.message, sent.needsForce};
  };
  return engine;
}

ResendController::ResendController(Workstation& ws, mail::MailProgress& mailProgress, QObject* parent)
    : QObject(parent), ws_(ws), mailProgress_(mailProgress), engine_(EngineResend()) {}

ResendController::~ResendController() { worker_.WaitUntilDone(); }

ResendCheck ResendController::Check(std::int32_t serial) {
  try {
    return engine_.check(ws_, serial);
  } catch (const std::exception& e) {
    return ResendCheck{e.what(), false, 0};
  }
}

bool ResendController::Start(std::int32_t serial, bool force) {
  auto outcome = std::make_shared<ResendOutcome>();
  return worker_.Start([this, serial, force, outcome] { *outcome = Work(serial, force); },
                       [this, serial, outcome] {
                         emit finished(serial, QString::fromStdString(outcome->code),
                                       QString::fromStdString(outcome->message), outcome->needsForce);
                       });
}

ResendOutcome ResendController::Work(std::int32_t serial, bool force) {
  try {
    Listener listener(mailProgress_);
    return engine_.send(ws_, listener, serial, force);
  } catch (const std::exception& e) {
    return ResendOutcome{"9999", e.what(), false};
  }
}

}  // namespace edi::screen
