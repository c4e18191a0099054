// Automatic retry of failed sends (`edi retry`, and the end of `edi run --all`): runs whose
// send failed, whose result still exists, that started within the retry window and after
// retry was switched on, are sent again through the resend path, one more "20" branch each.
//
// Each run's tries are kept in EDI自動再送: a try is counted when it
// is made, under the center's lock, so two retries at once never count or send one try twice.
// A run whose send path still holds the center's earlier result waits (no try, nothing
// counted). A run whose tries are used up is marked finally failed and alerted; a send whose
// outcome is unknown is left for a person and alerted; a run sent successfully by anyone is
// never tried again.
#pragma once

#include <string>
#include <vector>

#include "app/unattended_settings.h"
#include "run/run_context.h"

namespace edi::run {

// Records the moment retry was first seen switched on (the first call with ENABLED=1 wins;
// later calls keep it) and returns it as "yyyy/mm/dd hh:nn:ss"; "" when it cannot be stored.
// Never throws.
std::string RetrySwitchedOnAt(Database& db);

struct RetryReport {
  int tried = 0;          // tries made (each counted once)
  int sent = 0;           // of them, sent
  int waiting = 0;        // runs not tried now: too early, an earlier result waiting, the center held
  int finallyFailed = 0;  // runs marked finally failed by this pass
  int unknown = 0;        // sends of unknown outcome reported for a person by this pass
  bool failed() const { return tried > sent || finallyFailed > 0 || unknown > 0; }
};

// One pass over the failed runs. Lines go to ctx.Log. Never throws.
RetryReport RetryFailedSends(const RunContext& ctx, const UnattendedSettings& settings);

// True when a run whose send failed is left to the retry (which tries it again, or alerts
// when it cannot: tries used up, an unknown outcome): retry is switched on. The run driver
// alerts at once otherwise.
bool RetryWillTake(const UnattendedSettings& settings);

}  // namespace edi::run
