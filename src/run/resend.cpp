#include "run/resend.h"

#include <fstream>
#include <memory>
#include <sstream>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/settings.h"
#include "cii/dump.h"
#include "cii/format.h"
#include "xml/xml_input.h"
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
  const std::string run = SerialField(serial);
  std::vector<Row> rows;
  try {
    rows = ctx.db().Query(
        "SELECT 枝番, 処理種別, センターコード, 処理終了日付, 終了コード FROM FL1102処理履歴ファイル"
        " WHERE 通番 = :1 ORDER BY 枝番",
        {static_cast<long long>(serial)});
  } catch (const std::exception& e) {
    return Refuse(p, "9999", TrArgs("履歴を読めません: {1}", {e.what()}));
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
  if (!runRow) return Refuse(p, "9999", TrArgs("通番 {1} の実行はありません", {run}));
  p.plan.centerCode = runRow->Text("センターコード");
  if (!runRow->Get("処理終了日付")) return Refuse(p, "9999", TrArgs("通番 {1} の実行は終わっていません", {run}));
  if (!produced) return Refuse(p, "7200", TrArgs("通番 {1} の実行は送信する結果を作っていません", {run}));

  ControlRowResult control = LoadCenterControlRow(ctx.db(), p.plan.centerCode);
  if (control.code != "0000") {
    return Refuse(p, control.code,
                  control.code == "6102" ? TrArgs("センター {1} の送信ファイルパスが空です", {p.plan.centerCode})
                                         : TrArgs("センター {1} の制御マスタを読めません", {p.plan.centerCode}));
  }
  p.controlRow = control.row;
  p.plan.method = control.row->Text("送受信方式");
  if (p.plan.method != "Z" && p.plan.method != "M")
    return Refuse(p, "9999", TrArgs("送信方式 '{1}' では送信できません", {p.plan.method}));
  const std::string ext = DataFormatExtension(control.row->Text("送受信データ形式"));
  if (ext == "Err") return Refuse(p, "9999", TrArgs("データ形式 '{1}' では送信できません", {control.row->Text("送受信データ形式")}));

  const std::string name = SendFileName(p.plan.centerCode, serial, ext);
  for (const std::string& folder : {ctx.paths().outFolder, ctx.paths().oldFolder}) {
    if (UsableResult(InFolder(folder, name))) {
      p.plan.source = InFolder(folder, name);
      return p;
    }
  }
  return Refuse(p, "7200", TrArgs("通番 {1} の結果ファイルが見つかりません: {2}", {run, name}));
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

namespace {
ResendResult Outcome(std::string code, std::string message, bool needsForce = false, bool inFlight = false,
                     std::string detailCode = "") {
  return ResendResult{std::move(code), std::move(message), needsForce, inFlight, std::move(detailCode)};
}
}  // namespace

std::optional<std::string> DamagedResult(const std::filesystem::path& path, bool xmlDocument) {
  if (xmlDocument) {
    std::string error;
    xml::InitXmlLibrary();
    if (!xml::LoadXmlDocument(path, error)) return TrArgs("XML文書として読めません: {1}", {error});
    return std::nullopt;
  }
  const std::string cut = Tr("CIIファイルとして完全ではありません (ヘッダか終了レコードが欠けています)");
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string(Tr("読めません"));
  // A whole file begins with a header block and ends with a trailer block; a file cut at a
  // block boundary lacks the trailer, one cut inside a block ends in the middle of it.
  std::string head(2, '\0'), tail(cii::kSmallBlock, '\0');
  in.read(head.data(), 2);
  in.seekg(0, std::ios::end);
  const auto size = static_cast<long long>(in.tellg());
  if (head != "0C" || size < static_cast<long long>(2 * cii::kSmallBlock)) return cut;
  in.seekg(size - static_cast<long long>(cii::kSmallBlock));
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  if (!in || tail.compare(0, 2, "0E") != 0 || !cii::TrailerCount(std::string_view(tail).substr(2))) return cut;
  // The listing walks every block in between: a message cut short or a stray block shows there.
  in.clear();
  in.seekg(0);
  std::ostringstream listing;
  if (!cii::DumpCiiFile(in, listing)) return cut;
  return std::nullopt;
}

ResendResult Resend(const RunContext& ctx, std::int32_t serial, bool force, CenterLock* lock,
                    const std::string& purpose) {
  try {
    const std::string run = SerialField(serial);
    // The center comes from the history; the plan is made again once the center is held, so
    // that what was sent in the meantime (by another resend, another workstation) counts.
    Planned first = Plan(ctx, serial);
    if (first.plan.centerCode.empty()) return Outcome(first.code, first.plan.refusal, false);

    std::unique_ptr<CenterLock> ownLock;
    if (!lock) {
      ownLock = std::make_unique<CenterLock>(ctx.db(), ThisProcess(ctx.ws.terminalName),
                                             StaleAfterSeconds(ReadPackageSettings(ctx.ws.ini()).timeoutSeconds));
      lock = ownLock.get();
    }
    // A caller that holds the center already (the retry) keeps holding it afterwards.
    const bool heldByCaller = lock->held() && lock->center() == first.plan.centerCode;
    if (!heldByCaller) {
      const LockClaim claim =
          lock->Claim(first.plan.centerCode, (purpose.empty() ? "resend" : purpose) + " " + SerialField(serial));
      if (!claim.taken) {
        if (claim.heldBy)
          return Outcome("9999", TrArgs("通番 {1} は送信できません: センター {2} は{3}", {run, first.plan.centerCode, claim.HolderText()}),
                  false, true);
        return Outcome("9999", claim.error, false);
      }
      if (claim.tookOverFrom)
        ctx.Log(first.plan.centerCode + ": " +
                TrArgs("終わっていない処理のロックを引き継ぎました (端末 {1}, プロセス {2}, {3} から)",
                       {claim.tookOverFrom->terminal, claim.tookOverFrom->process, claim.tookOverFrom->since}));
    }
    struct ReleaseAtEnd {
      CenterLock* lock;
      ~ReleaseAtEnd() {
        if (lock) lock->Release();
      }
    } releaseAtEnd{heldByCaller ? nullptr : lock};

    Planned p = Plan(ctx, serial);
    const ResendPlan& plan = p.plan;
    if (!plan.refusal.empty()) return Outcome(p.code, plan.refusal, false);
    if (plan.successfulSends > 0 && !force)
      return Outcome("9999", TrArgs("通番 {1} の結果は送信済みです ({2}回)", {run, std::to_string(plan.successfulSends)}), true);
    if (auto damage = DamagedResult(plan.source, DataFormatExtension(p.controlRow->Text("送受信データ形式")) == "XML"))
      return Outcome("7200", TrArgs("通番 {1} の結果ファイルは送信できません: {2}: {3}", {run, plan.source.string(), *damage}), false);
    if (ctx.stopped()) return Outcome(kStoppedCode, TrArgs("通番 {1} の再送を中止しました", {run}), false);

    HistoryBranchRecord branch = MakeHistoryBranch(serial, kWorkSend, plan.centerCode);
    AddHistoryBranch(ctx.db(), branch);
    if (branch.result != "0000") return Outcome(branch.result, TrArgs("通番 {1} の履歴に送信を追加できません", {run}), false);

    // The folder the result was found in is where the transport takes it from.
    const std::string folder = plan.source.parent_path().string() + "/";
    ctx.Log(plan.centerCode + ": " + TrArgs("再送 {1}", {plan.source.string()}));
    SendOutcome sent = SendResultFile(ctx, plan.centerCode, serial, *p.controlRow, folder);
    // A stop that came during a send that did not go through closes the branch as a stop;
    // a send that went through is recorded as sent.
    if (ctx.stopped() && sent.endCode != "0000") sent = {kStoppedCode, ctx.stop->detailCode()};

    HistoryRecord rec;
    rec.serial = serial;
    rec.branch = branch.branch;
    rec.endCode = sent.endCode;
    rec.detailCode = sent.detailCode;
    rec.fileName = plan.source.string();
    FinishHistoryRecord(ctx.db(), rec);
    if (sent.endCode != "0000")
      return Outcome(sent.endCode, TrArgs("通番 {1} の再送に失敗しました ({2}/{3})", {run, sent.endCode, sent.detailCode}), false, false,
              sent.detailCode);
    if (rec.result != "0000") return Outcome(rec.result, TrArgs("通番 {1} を再送しましたが履歴を更新できません", {run}), false);
    return Outcome("0000",
            TrArgs("通番 {1} の結果を再送しました ({2}回目): {3}", {run, std::to_string(plan.successfulSends + 1), plan.source.string()}),
            false);
  } catch (const std::exception& e) {
    return Outcome("9999", e.what(), false);
  }
}

}  // namespace edi::run
