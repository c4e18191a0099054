#include "screen/run_controller.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <chrono>
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
  while (running_) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  if (worker_.joinable()) worker_.join();
}

bool RunController::StopRun(int seconds) {
  if (!running_) return true;
  stop_.Request(0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (running_ && std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return !running_;
}

bool RunController::Start(int buttonIndex) {
  if (running_) return false;
  if (worker_.joinable()) worker_.join();
  running_ = true;
  worker_ = std::thread([this, buttonIndex] { Work(buttonIndex); });
  return true;
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
  QMetaObject::invokeMethod(this, [this] { Finish(); }, Qt::QueuedConnection);
}

void RunController::Finish() {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  emit passFinished();
}

}  // namespace edi::screen
