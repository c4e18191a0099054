// The transfer run (run button, `edi run`): for every marked center that has not run yet,
// in grid order, open a history serial, extract, convert, send, back up, close the history.
// Status texts and row states go into ws.centers, which the window and the console observe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/workstation.h"
#include "mail/mail_transfer.h"

namespace edi::run {

// What the shell around the run shows besides the rows: the SUB_FRM window and the busy
// cursor in the screen, lines on the console under `edi run`.
class RunListener {
 public:
  virtual ~RunListener() = default;
  virtual void PassStarted() {}               // run button disabled
  virtual void CenterStarted(int row) {}      // SUB_FRM shown, busy cursor
  virtual void CenterFinished(int row) {}     // SUB_FRM hidden, cursor back
  virtual void PassFinished() {}              // run button enabled again
  virtual void Log(const std::string& line) {}  // a step's progress line
  virtual mail::MailProgress& mailProgress() = 0;
};

class RunStop;
struct RunContext;

class RunDriver {
 public:
  // `stop` (when given) lets a signal or the window's close stop the pass: the running
  // package is ended, the open history rows are closed with the stop code, no further
  // center is started.
  RunDriver(Workstation& ws, RunListener& listener, RunStop* stop = nullptr);
  ~RunDriver();

  // Makes every later run a dry run into testFolder (one folder per center below it): the
  // steps run completely, but no serial is taken, no history row is written, nothing reaches
  // OLD_FILE, a send path or a mail server, nothing is left in EDIOUTFIL (the package's files
  // are moved out at once), and every line is marked as a test.
  void SetDryRun(const std::filesystem::path& testFolder);
  bool dryRun() const;

  // The run button: index 0 runs every marked row whose state is 0; other indexes do nothing.
  void RunMarkedCenters(int buttonIndex);

  // One transfer run of the current row (ws.centers.currentRow()); the outcome is in the
  // row and in the history.
  void RunCenter();
  // Stores the state in the current row (the observers repaint it in the state's colour).
  void SetRowState(std::int16_t state);

  // The history serial that the last run of the row opened (or computed, after "通番ｴﾗｰ");
  // 0 when the row has not run.
  std::int32_t SerialOf(int row) const;

  // True when the last run of the row did not start because another run held the center
  // (its status text names the holder; the history was not touched).
  bool SkippedOf(int row) const;

 private:
  void DryRunCenter();
  void RunSteps(const RunContext& ctx);
  struct Impl;
  Impl* impl_;
};

}  // namespace edi::run
