#include "run/send_dispatch.h"

#include <filesystem>

#include "app/catalogue.h"
#include "app/run_file_name.h"
#include "app/text.h"
#include "app/whole_file.h"
#include "mail/mail_names.h"
#include "run/handoff_record.h"
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
  return RunFileName(serial, centerCode, kSendKind, "", extension);
}

std::string ReceivedFileName(const std::string& centerCode, long long serial, const std::string& extension) {
  return RunFileName(serial, centerCode, kReceiveKind, "", extension);
}

namespace {
bool IsOneOf(const std::string& value, std::initializer_list<const char*> options) {
  for (const char* o : options)
    if (value == o) return true;
  return false;
}
}  // namespace

void HandOffTransferFile(mail::TransferFileRecord& rec, const PathSettings& paths, std::string* fault) {
  rec.result = "9999";
  try {
    const std::string ext = DataFormatExtension(rec.dataFormat);
    if (ext == "Err") return;
    const long long serial = static_cast<long long>(rec.serial);
    if (IsOneOf(rec.direction, {"S", "Ｓ", "s", "ｓ"})) {
      const auto source = InFolder(paths.outFolder, SendFileName(rec.centerCode, serial, ext));
      if (!std::filesystem::is_regular_file(source)) {
        if (fault) *fault = TrArgs("{1}: ファイルがありません", {source.string()});
        return;
      }
      // The package may collect the file at any moment: it only ever finds it whole.
      if (auto failed = CopyFileWhole(source, rec.address)) {
        if (fault) *fault = failed->text;
        return;
      }
      rec.result = "0000";
    } else if (IsOneOf(rec.direction, {"R", "Ｒ", "r", "ｒ"})) {
      const auto target = InFolder(paths.inFolder, ReceivedFileName(rec.centerCode, serial, ext));
      if (MoveFile(rec.address, target) == 0) rec.result = "0000";
    }
  } catch (const std::exception& e) {
    if (fault) *fault = e.what();
    rec.result = "9999";
  }
}

SendOutcome SendResultFile(const RunContext& ctx, const std::string& centerCode, std::int32_t serial,
                           const Row& controlRow, const std::string& sourceFolder) {
  SendOutcome outcome;
  const std::string method = controlRow.Text("送受信方式");
  mail::TransferFileRecord file;
  file.centerCode = centerCode;
  file.serial = serial;
  file.direction = "S";
  file.dataFormat = controlRow.Text("送受信データ形式");
  PathSettings paths = ctx.paths();
  paths.outFolder = sourceFolder;
  if (method == "Z") {
    file.address = controlRow.Text("KMX送信ファイルパス");
    // A dry run hands the file to the test folder, under the send path's own name.
    if (ctx.dryRun) file.address = (ctx.dryRun->sendFolder / std::filesystem::path(file.address).filename()).string();
    const bool keep = ctx.dryRun || ctx.package().sendKeep;
    // An earlier result of this center that the package has not collected yet stays: the
    // new one waits for a resend or the retry.
    if (!keep) {
      if (auto waiting = WaitingHandOff(ctx.db(), centerCode, file.address); waiting && waiting->serial != serial) {
        ctx.Log(centerCode + ": " +
                TrArgs("送信先に未回収の前回の結果があるため渡しません: {1} (通番 {2})",
                       {waiting->path.string(), SerialField(waiting->serial)}));
        return {"5100", kWaitingResultDetail};
      }
    }
    ctx.Log(centerCode + ": " + TrArgs("送信ファイルを通信パッケージへ渡します: {1}", {file.address}));
    std::string fault;
    HandOffTransferFile(file, paths, &fault);
    if (file.result != "0000") {
      if (!fault.empty()) ctx.Log(centerCode + ": " + TrArgs("送信ファイルを渡せません: {1}", {fault}));
      ctx.LogFault(serial, "5100", "送信 通信パッケージへの受け渡し", file.address,
                   fault.empty() ? "送信ファイルを渡せません" : fault);
      outcome = {"5100", "0002"};
    } else if (!keep) {
      if (auto failed = RecordHandOff(ctx.db(), centerCode, file.address, serial))
        ctx.Log(centerCode + ": " + TrArgs("渡した送信ファイルを記録できません: {1}", {*failed}));
    }
  } else if (method == "M") {
    file.address = controlRow.Text("相手先メールアドレス");
    // The mail transfer counts a missing attachment as nothing to send; a run that converted
    // a result and could not send it has failed.
    const auto attachment =
        InFolder(sourceFolder, mail::AttachmentFileName(serial, centerCode, file.dataFormat));
    if (!std::filesystem::is_regular_file(attachment)) {
      ctx.Log(centerCode + ": " + TrArgs("送信する結果ファイルがありません: {1}", {attachment.string()}));
      ctx.LogFault(serial, "5100", "送信 メール", attachment.string(), "送信する結果ファイルがありません");
      return {"5100", "9999"};
    }
    ctx.Log(centerCode + ": " + TrArgs("メール送信: {1}", {file.address}));
    mail::MailEnvironment env{ctx.ws.iniPath, paths};
    if (ctx.dryRun) env.saveTo = ctx.dryRun->mailFolder;
    mail::MailTransfer(file, env, ctx.listener.mailProgress());
    if (file.result != "0000") {
      outcome = {"5100", file.result.empty() ? "9999" : file.result};
      ctx.LogFault(serial, "5100", "送信 メール " + file.address,
                   InFolder(sourceFolder, mail::AttachmentFileName(serial, centerCode, file.dataFormat)).string(),
                   file.fault);
    }
  } else {
    ctx.Log(centerCode + ": " + TrArgs("送信方式 '{1}' は送信しません", {method}));
  }
  return outcome;
}

std::string SendCenterFiles(const RunContext& ctx, const std::string& centerCode, std::int32_t serial) {
  HistoryBranchRecord branch = MakeHistoryBranch(serial, kWorkSend, centerCode);
  ctx.AddBranch(branch);
  if (branch.result != "0000") {
    // No row of its own: nothing to complete.
    ctx.Log(centerCode + ": " + Tr("履歴の追加に失敗しました (送信)"));
    return branch.result;
  }
  HistoryRecord rec;
  rec.serial = serial;
  rec.branch = branch.branch;

  ControlRowResult control = LoadCenterControlRow(ctx.db(), centerCode);
  if (control.code != "0000") {
    rec.endCode = control.code;
  } else {
    const SendOutcome sent = SendResultFile(ctx, centerCode, serial, *control.row, ctx.paths().outFolder);
    rec.endCode = sent.endCode;
    if (sent.endCode != "0000") rec.detailCode = sent.detailCode;
    else rec.fileName = InFolder(ctx.paths().outFolder, SendFileName(centerCode, serial, "CII")).string();
  }
  ctx.Finish(rec);
  return rec.endCode != "0000" ? rec.endCode : rec.result;
}

}  // namespace edi::run
