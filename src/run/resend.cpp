#include "run/resend.h"

#include "app/database.h"
#include "app/text.h"
#include "app/whole_file.h"
#include "run/history.h"
#include "run/send_dispatch.h"

namespace edi::run {
namespace {

// The plan and the code that goes with its refusal.
struct Planned {
  ResendPlan plan;
  std::string code = "0000";
  std::optional<Row> controlRow;
};

Planned Refuse(Planned p, const std::string& code, const std::string& line) {
  p.code = code;
  p.plan.refusal = line;
  return p;
}

// A result file that can be read as it is (not a link, which could name anything).
bool UsableResult(const std::filesystem::path& path) {
  std::error_code ec;
  return !IsSymbolicLink(path) && std::filesystem::is_regular_file(path, ec);
}

Planned Plan(const RunContext& ctx, std::int32_t serial) {
  Planned p;
  p.plan.serial = serial;
  const std::string run = "通番 " + SerialField(serial);
  std::vector<Row> rows;
  try {
    rows = ctx.db().Query(
        "SELECT 枝番, 処理種別, センターコード, 処理終了日付, 終了コード FROM FL1102処理履歴ファイル"
        " WHERE 通番 = :1 ORDER BY 枝番",
        {static_cast<long long>(serial)});
  } catch (const std::exception& e) {
    return Refuse(p, "9999", "履歴を読めません: " + std::string(e.what()));
  }
  const Row* runRow = nullptr;
  bool produced = false;
  for (const auto& r : rows) {
    const std::string work = r.Text("処理種別");
    const bool ok = r.Text("終了コード") == "0000";
    if (r.Int("枝番") == 0) runRow = &r;
    if (ok && (work == kWorkConvertCii || work == kWorkConvertOther)) produced = true;
    if (ok && work == kWorkSend) ++p.plan.successfulSends;
  }
  if (!runRow) return Refuse(p, "9999", run + " の実行はありません");
  p.plan.centerCode = runRow->Text("センターコード");
  if (!runRow->Get("処理終了日付")) return Refuse(p, "9999", run + " の実行は終わっていません");
  if (!produced) return Refuse(p, "7200", run + " の実行は送信する結果を作っていません");

  ControlRowResult control = LoadCenterControlRow(ctx.db(), p.plan.centerCode);
  if (control.code != "0000") {
    return Refuse(p, control.code,
                  control.code == "6102" ? "センター " + p.plan.centerCode + " の送信ファイルパスが空です"
                                         : "センター " + p.plan.centerCode + " の制御マスタを読めません");
  }
  p.controlRow = control.row;
  p.plan.method = control.row->Text("送受信方式");
  if (p.plan.method != "Z" && p.plan.method != "M")
    return Refuse(p, "9999", "送信方式 '" + p.plan.method + "' では送信できません");
  const std::string ext = DataFormatExtension(control.row->Text("送受信データ形式"));
  if (ext == "Err") return Refuse(p, "9999", "データ形式 '" + control.row->Text("送受信データ形式") + "' では送信できません");

  const std::string name = SendFileName(p.plan.centerCode, serial, ext);
  for (const std::string& folder : {ctx.paths().outFolder, ctx.paths().oldFolder}) {
    if (UsableResult(InFolder(folder, name))) {
      p.plan.source = InFolder(folder, name);
      return p;
    }
  }
  return Refuse(p, "7200", run + " の結果ファイルが見つかりません: " + name);
}

}  // namespace

ResendPlan PlanResend(const RunContext& ctx, std::int32_t serial) {
  try {
    return Plan(ctx, serial).plan;
  } catch (const std::exception& e) {
    ResendPlan plan;
    plan.serial = serial;
    plan.refusal = e.what();
    return plan;
  }
}

ResendResult Resend(const RunContext& ctx, std::int32_t serial, bool force) {
  try {
    Planned p = Plan(ctx, serial);
    const ResendPlan& plan = p.plan;
    const std::string run = "通番 " + SerialField(serial);
    if (!plan.refusal.empty()) return {p.code, plan.refusal, false};
    if (plan.successfulSends > 0 && !force)
      return {"9999", run + " の結果は送信済みです (" + std::to_string(plan.successfulSends) + "回)", true};

    HistoryBranchRecord branch = MakeHistoryBranch(serial, kWorkSend, plan.centerCode);
    AddHistoryBranch(ctx.db(), branch);
    if (branch.result != "0000") return {branch.result, run + " の履歴に送信を追加できません", false};

    // The folder the result was found in is where the transport takes it from.
    const std::string folder = plan.source.parent_path().string() + "/";
    ctx.Log(plan.centerCode + ": 再送 " + plan.source.string());
    const SendOutcome sent = SendResultFile(ctx, plan.centerCode, serial, *p.controlRow, folder);

    HistoryRecord rec;
    rec.serial = serial;
    rec.branch = branch.branch;
    rec.endCode = sent.endCode;
    rec.detailCode = sent.detailCode;
    rec.fileName = plan.source.string();
    FinishHistoryRecord(ctx.db(), rec);
    if (sent.endCode != "0000")
      return {sent.endCode, run + " の再送に失敗しました (" + sent.endCode + "/" + sent.detailCode + ")", false};
    if (rec.result != "0000") return {rec.result, run + " を再送しましたが履歴を更新できません", false};
    return {"0000", run + " の結果を再送しました: " + plan.source.string(), false};
  } catch (const std::exception& e) {
    return {"9999", e.what(), false};
  }
}

}  // namespace edi::run
