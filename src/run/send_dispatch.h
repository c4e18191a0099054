// The sending step: by the center's transfer method, copy the run's result file to the path
// where the communications package collects it ("Z"), or mail it ("M"); one history branch
// ("20"). Also the file-level hand-off in both directions and the data-format extension.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/database.h"
#include "mail/mail_transfer.h"
#include "run/run_context.h"

namespace edi::run {

// "CII" for C/c/Ｃ/ｃ, "XML" for X/x/Ｘ/ｘ (after trimming), "Err" for anything else.
std::string DataFormatExtension(const std::string& format);

// The center's row of FL1903EDI制御マスタ and a code: "7002" no row or a database fault,
// "6102" method "Z" with a blank (or null) KMX送信ファイルパス, else "0000".
struct ControlRowResult {
  std::optional<Row> row;
  std::string code;
};
ControlRowResult LoadCenterControlRow(Database& db, const std::string& centerCode);

// Send file and received file of a run.
std::string SendFileName(const std::string& centerCode, long long serial, const std::string& extension);
std::string ReceivedFileName(const std::string& centerCode, long long serial, const std::string& extension);

// Send direction: copies EDIOUTFIL + send file to rec.address (replacing an earlier file
// there only once the copy is whole; never through a link at that name). Receive direction:
// moves the file at rec.address to EDIINFIL + received file. rec.result "0000" or "9999";
// `fault` (when given) gets a readable cause of a failed send. Never throws.
void HandOffTransferFile(mail::TransferFileRecord& rec, const PathSettings& paths, std::string* fault = nullptr);

// The end and detail code of handing a result to the center's transport.
struct SendOutcome {
  std::string endCode = "0000";
  std::string detailCode = "0000";
};
// The detail code of a hand-off not made because the center's earlier result still waits at
// the send path (end code "5100").
inline constexpr const char* kWaitingResultDetail = "0004";

// Hands the result file of (center, serial), found in `sourceFolder` (a folder prefix ending
// with "/": EDIOUTFIL, or OLD_FILE for a resend), to the transport of the control row:
// method "Z" the package's send path ("5100"/"0002" on failure; "5100"/kWaitingResultDetail
// while an earlier result of another serial of the center waits there, unless PATH SENDKEEP=1), "M" mail ("5100" with the
// mail code; "5100"/"9999" when the result file is missing). Any other method sends nothing.
SendOutcome SendResultFile(const RunContext& ctx, const std::string& centerCode, std::int32_t serial,
                           const Row& controlRow, const std::string& sourceFolder);

// The sending step of a run. Returns the step's code.
std::string SendCenterFiles(const RunContext& ctx, const std::string& centerCode, std::int32_t serial);

}  // namespace edi::run
