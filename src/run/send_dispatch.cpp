#include "run/send_dispatch.h"

#include <filesystem>

#include "app/text.h"
#include "run/history.h"

namespace edi::run {

std::string DataFormatExtension(const std::string& format) {
  const std::string f = TrimSpaces(format);
  if (f == "C" || f == "c" || f == "Ｃ" || f == "ｃ") return "CII";
  if (f == "X" || f == "x" || f == "Ｘ" || f == "ｘ") return "XML";
  return "Err";
}

ControlRowResult LoadCenterControlRow(Database& db, const std::string& centerCode) {
  ControlRowResult result;
  try {
    auto rows = db.Query("SELECT * FROM FL1903EDI制御マスタ WHERE センターコード = :1 ORDER BY センターコード",
                         {centerCode});
    if (rows.empty()) {
      result.code = "7002";
      return result;
    }
    result.row = rows.front();
    const bool package = result.row->Text("送受信方式") == "Z";
    result.code = package && TrimSpaces(result.row->Text("KMX送信ファイルパス")).empty() ? "6102" : "0000";
  } catch (const std::exception&) {
    result.code = "7002";
  }
  return result;
}

std::string SendFileName(const std::string& centerCode, long long serial, const std::string& extension) {
  return SerialField(serial) + "_SND_" + PadCenterCode(centerCode) + "." + extension;
}

std::string ReceivedFileName(const std::string& centerCode, long long serial, const std::string& extension) {
  return SerialField(serial) + "_RCV_" + PadCenterCode(centerCode) + "." + extension;
}

namespace {
bool IsOneOf(const std::string& value, std::initializer_list<const char*> options) {
  for (const char* o : options)
    if (value == o) return true;
  return false;
}
}  // namespace

void HandOffTransferFile(mail::TransferFileRecord& rec, const PathSettings& paths) {
  rec.result = "9999";
  try {
    const std::string ext = DataFormatExtension(rec.dataFormat);
    if (ext == "Err") return;
    const long long serial = static_cast<long long>(rec.serial);
    if (IsOneOf(rec.direction, {"S", "Ｓ", "s", "ｓ"})) {
      const auto source = InFolder(paths.outFolder, SendFileName(rec.centerCode, serial, ext));
      if (!std::filesystem::is_regular_file(source)) return;
      std::filesystem::copy_file(source, rec.address, std::filesystem::copy_options::overwrite_existing);
      rec.result = "0000";
    } else if (IsOneOf(rec.direction, {"R", "Ｒ", "r", "ｒ"})) {
      const auto target = InFolder(paths.inFolder, ReceivedFileName(rec.centerCode, serial, ext));
      if (MoveFile(rec.address, target) == 0) rec.result = "0000";
    }
  } catch (const std::exception&) {
    rec.result = "9999";
  }
}

std::string SendCenterFiles(const RunContext& ctx, const std::string& centerCode, std::int32_t serial) {
  HistoryBranchRecord branch = MakeHistoryBranch(serial, kWorkSend, centerCode);
  AddHistoryBranch(ctx.db(), branch);
  if (branch.result != "0000") {
    // No row of its own: nothing to complete.
    ctx.Log(centerCode + ": 履歴の追加に失敗しました (送信)");
    return branch.result;
  }
  HistoryRecord rec;
  rec.serial = serial;
  rec.branch = branch.branch;

  ControlRowResult control = LoadCenterControlRow(ctx.db(), centerCode);
  if (control.code != "0000") {
    rec.endCode = control.code;
  } else {
    const Row& row = *control.row;
    const std::string method = row.Text("送受信方式");
    mail::TransferFileRecord file;
    file.centerCode = centerCode;
    file.serial = serial;
    file.direction = "S";
    file.dataFormat = row.Text("送受信データ形式");
    if (method == "Z") {
      file.address = row.Text("KMX送信ファイルパス");
      ctx.Log(centerCode + ": 送信ファイルを通信パッケージへ渡します: " + file.address);
      HandOffTransferFile(file, ctx.paths());
      if (file.result != "0000") {
        rec.detailCode = "0002";
        rec.endCode = "5100";
      }
    } else if (method == "M") {
      file.address = row.Text("相手先メールアドレス");
      ctx.Log(centerCode + ": メール送信: " + file.address);
      mail::MailEnvironment env{ctx.ws.iniPath, ctx.paths()};
      mail::MailTransfer(file, env, ctx.listener.mailProgress());
      if (file.result != "0000") {
        rec.detailCode = file.result.empty() ? "9999" : file.result;
        rec.endCode = "5100";
      }
    } else {
      ctx.Log(centerCode + ": 送信方式 '" + method + "' は送信しません");
    }
    if (rec.endCode.empty()) {
      rec.fileName = (std::filesystem::path(ctx.paths().outFolder + SendFileName(centerCode, serial, "CII"))).string();
      rec.endCode = "0000";
    }
  }
  FinishHistoryRecord(ctx.db(), rec);
  return rec.endCode != "0000" ? rec.endCode : rec.result;
}

}  // namespace edi::run
