#include "screen/history_resend.h"

#include <QCoreApplication>
#include <QMetaObject>

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
  engine.check = [](Workstation&, std::int32_t) {
    return ResendCheck{"この版では再送信できません", false, 0};
  };
  engine.send = [](Workstation&, run::RunListener&, std::int32_t, bool) {
    return ResendOutcome{"9999", "この版では再送信できません", false};
  };
  return engine;
}

ResendController::ResendController(Workstation& ws, mail::MailProgress& mailProgress, QObject* parent)
    : QObject(parent), ws_(ws), mailProgress_(mailProgress), engine_(EngineResend()) {}

ResendController::~ResendController() {
  while (running_) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  if (worker_.joinable()) worker_.join();
}

ResendCheck ResendController::Check(std::int32_t serial) {
  try {
    return engine_.check(ws_, serial);
  } catch (const std::exception& e) {
    return ResendCheck{e.what(), false, 0};
  }
}

bool ResendController::Start(std::int32_t serial, bool force) {
  if (running_) return false;
  if (worker_.joinable()) worker_.join();
  running_ = true;
  worker_ = std::thread([this, serial, force] { Work(serial, force); });
  return true;
}

void ResendController::Work(std::int32_t serial, bool force) {
  ResendOutcome outcome;
  try {
    Listener listener(mailProgress_);
    outcome = engine_.send(ws_, listener, serial, force);
  } catch (const std::exception& e) {
    outcome = ResendOutcome{"9999", e.what(), false};
  }
  QMetaObject::invokeMethod(
      this,
      [this, serial, outcome] {
        if (worker_.joinable()) worker_.join();
        running_ = false;
        emit finished(serial, QString::fromStdString(outcome.code), QString::fromStdString(outcome.message),
                      outcome.needsForce);
      },
      Qt::QueuedConnection);
}

}  // namespace edi::screen
