// Sending a finished run's result again, without extracting or converting again: the
// result in EDIOUTFIL (or, where that is gone, its backup copy in OLD_FILE) goes out by the
// center's current transfer method. The send is recorded as one more sending branch ("20")
// under the run's own serial; the run's branch 0 keeps its end code and time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "run/center_lock.h"
#include "run/run_context.h"

namespace edi::run {

// What a resend of a finished run's result would do, looked up without sending anything.
struct ResendPlan {
  std::int32_t serial = 0;
  std::string centerCode;
  std::string method;              // the center's current transfer method: "Z" package send path, "M" mail
  std::filesystem::path source;    // the result found: EDIOUTFIL first, else the backup copy; empty when none
  int successfulSends = 0;         // how often this result was sent successfully so far (the run's own send included)
  std::string refusal;             // empty when it can be sent; else one readable line (no such run,
                                   // the run never produced a result, the result cannot be found)
};
ResendPlan PlanResend(const RunContext& ctx, std::int32_t serial);

struct ResendResult {
  std::string code;                // "0000" when sent; else the send's failure code or a refusal code
  std::string message;             // one readable line for the console or a message box
  bool needsForce = false;         // refused only because the result was already sent successfully
  bool inFlight = false;           // refused because another run or send holds the center
  std::string detailCode;          // a failed send's detail code
};

// Why a result file cannot be sent as it is: a CII file cut short (no complete header or
// trailer), or for XML centers a document that is not well-formed; nullopt when it is whole.
std::optional<std::string> DamagedResult(const std::filesystem::path& path, bool xmlDocument);
// Sends the result of `serial` again by its center's current transfer method (for XML centers
// the XML document), without extracting or converting again, and records the send in the history.
// A result already sent successfully is refused with needsForce = true unless `force`.
// Never throws.
//
// The send holds the center's lock (the one a run takes) from before it looks at what was
// sent until the branch is closed, so that one serial is never sent twice at once and a
// result is never sent during a run of its center. A center held elsewhere is refused with
// inFlight = true, with or without `force`. `lock` (when given) is the caller's own lock
// object; else one is made for this send. `purpose` names the sender in the lock ("resend",
// "retry").
//
// Refusal codes: "9999" no such run, a run not yet ended, a result already sent (needsForce),
// the center held elsewhere (inFlight), a transfer method or data format that cannot send;
// "7200" the run never produced a result, the result cannot be found or is not whole; "7002"/"6102"
// the center's control row as the sending step reads it; the stop code when a stop came first.
ResendResult Resend(const RunContext& ctx, std::int32_t serial, bool force, CenterLock* lock = nullptr,
                    const std::string& purpose = "resend");

}  // namespace edi::run
