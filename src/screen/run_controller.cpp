#include "screen/run_controller.h"

#include <iostream>

#include "app/catalogue.h"

namespace edi::screen {

// Forwards what the run reports to the controller's thread.
class RunController::Listener : public run::RunListener {
 public:
  explicit Listener(RunController& controller) : controller_(controller) {}
  void CenterStarted(int row) override { emit controller_.centerStarted(row); }
  void CenterFinished(int row) override { emit controller_.centerFinished(row); }
  mail::MailProgress& mailProgress() override { return controller_.mailProgress_; }

 private:
  RunController& controller_;
};

RunController::RunController(Workstation& ws, mail::MailProgress& mailProgress, QObject* parent)
    : QObject(parent), ws_(ws), mailProgress_(mailProgress) {
  runner_ = [this](Workstation& w, run::RunListener& listener, int index) {
    run::RunDriver driver(w, listener, &stop_);
    driver.RunMarkedCenters(index);
  };
}

RunController::~RunController() {
  // The worker may be waiting for an answer from this thread: keep serving it until it ends.
  worker_.WaitUntilDone();
}

bool RunController::StopRun(int seconds) {
  if (!running()) return true;
  stop_.Request(0);
  return worker_.WaitUntilDone(seconds * 1000);
}

bool RunController::Start(int buttonIndex) {
  return worker_.Start([this, buttonIndex] { Work(buttonIndex); }, [this] { emit passFinished(); });
}

void RunController::Work(int buttonIndex) {
  Listener listener(*this);
  try {
    runner_(ws_, listener, buttonIndex);
  } catch (const std::exception& e) {
    // The steps turn their faults into codes; anything escaping is reported, the pass ends.
    std::cerr << "p740150: " << TrArgs("送信処理が止まりました: {1}", {e.what()}) << "\n";
  } catch (...) {
    std::cerr << "p740150: " << Tr("送信処理が不明な障害で止まりました") << "\n";
  }
}

}  // namespace edi::screen
