// The alert mail to the site when a run has failed for good (an extraction or conversion
// failure at once, a send after its last try, a send whose outcome is unknown). At most
// ALERT MAXPERHOUR mails go out in one hour, counted in the database across processes and
// workstations; the alerts beyond that are kept and go out as one summary mail, sent by the
// first run or retry after that hour. A mail that cannot be sent is logged; nothing here
// fails or stops the run.
#pragma once

#include <cstdint>
#include <string>

#include "app/unattended_settings.h"
#include "run/run_context.h"

namespace edi::run {

struct AlertFacts {
  std::int32_t serial = 0;
  std::string centerCode;
  std::string step;        // the step that failed, as the operator reads it ("送信", "データ抽出", ...)
  std::string endCode;
  std::string detailCode;
  std::string reason;      // one line: why no retry follows
};

// The text of the alert mail (without the ERR.LOG lines the caller adds).
std::string AlertBody(const AlertFacts& facts);

// Sends the alert, or keeps it for the hour's summary when the hour's mails are used up.
// Does nothing when ALERT TO is empty. Never throws.
void RaiseAlert(const RunContext& ctx, const AlertSettings& settings, const AlertFacts& facts);

// Sends one summary mail for each past hour whose alerts were kept. Never throws.
void SendAlertSummaries(const RunContext& ctx, const AlertSettings& settings);

// `edi alert --test`: one test mail to every recipient. Returns a fault text, or "" when sent.
std::string SendTestAlert(const RunContext& ctx, const AlertSettings& settings);

// The step names of a run's failed branch kinds (処理種別).
std::string StepName(const std::string& workKind);

}  // namespace edi::run
