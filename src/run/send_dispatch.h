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

// Send direction: copies EDIOUTFIL + send file to rec.address (overwriting). Receive
// direction: moves the file at rec.address to EDIINFIL + received file. rec.result "0000" or
// "9999"; never throws.
void HandOffTransferFile(mail::TransferFileRecord& rec, const PathSettings& paths);

// The sending step of a run. Returns the step's code.
std::string SendCenterFiles(const RunContext& ctx, const std::string& centerCode, std::int32_t serial);

}  // namespace edi::run
