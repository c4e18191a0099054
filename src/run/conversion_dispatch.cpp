#include "run/conversion_dispatch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/file_mark.h"
#include "app/run_file_name.h"
#include "app/whole_file.h"
#include "app/text.h"
#include "cii/codes.h"
#include "cii/translation_log.h"
#include "run/history.h"
#include "platform/files.h"
#include "xml/inbound.h"

namespace edi::run {

std::string ResultFileName(const std::string& centerCode, std::int32_t serial) {
  return RunFileName(serial, centerCode, kSendKind, "", "CII");
}

std::string XmlResultName(const std::string& centerCode, std::int32_t serial) {
  return RunFileName(serial, centerCode, kSendKind, "", "XML");
}

std::string Unnumbered9001Name(const std::string& centerCode) {
  return "SND_" + CenterFileField(centerCode) + "9001.LOC";
}

namespace {

std::string UpperLast3(const std::string& text) {
  std::string last = text.size() >= 3 ? text.substr(text.size() - 3) : text;
  for (auto& c : last) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return last;
}

// Takes back what a failed conversion wrote into its result file.
void TakeBack(const RunContext& ctx, const std::string& centerCode, const FileMark& mark,
              std::vector<std::string>* leftBehind) {
  if (mark.Restore()) return;
  ctx.Log(centerCode + ": " + TrArgs("変換に失敗した結果ファイルを元に戻せません: {1}", {mark.path().string()}));
  if (leftBehind) leftBehind->push_back(mark.path().filename().string());
}

}  // namespace

std::string ConvertSendFiles(const RunContext& ctx, const std::string& centerCode, std::int32_t serial,
                             std::vector<std::string>* leftBehind, bool* someConverted) {
  if (someConverted) *someConverted = false;
  std::string dataFormat, partnerKind;
  try {
    auto rows = ctx.db().Query("SELECT * FROM FL1903EDI制御マスタ WHERE センターコード = :1", {centerCode});
    if (rows.empty()) return "9999";
    dataFormat = rows.front().Text("送受信データ形式");
    partnerKind = rows.front().Text("相手先種別");
  } catch (const std::exception& e) {
    ctx.Log(centerCode + ": " + TrArgs("EDI制御マスタを読めません: {1}", {e.what()}));
    return "9999";
  }
  const bool xmlCenter = dataFormat == "X";

  const auto& out = ctx.paths().outFolder;
  const auto workFolder = PrefixFolder(out);
  const std::string prefix = RunFilePrefix(serial, centerCode);
  std::vector<std::string> sources;
  try {
    const auto unnumbered = workFolder / Unnumbered9001Name(centerCode);
    if (std::filesystem::exists(unnumbered)) {
      platform::RenameOrThrow(unnumbered, workFolder / (SerialField(serial) + "_" + Unnumbered9001Name(centerCode)));
    }
    sources = ListFilesWithPrefix(workFolder, prefix);
  } catch (const std::exception& e) {
    ctx.Log(centerCode + ": " + TrArgs("送信ファイルの一覧に失敗しました: {1}", {e.what()}));
    ctx.LogFault(serial, "7200", "変換", workFolder.string(), std::string("送信ファイルの一覧に失敗しました: ") + e.what());
    return "7200";
  }
  // The result files carry the prefix too; they are what the conversion writes, not input.
  const std::string resultName = ResultFileName(centerCode, serial);
  const std::string xmlName = XmlResultName(centerCode, serial);
  std::erase_if(sources, [&](const std::string& n) { return n == resultName || n == xmlName; });
  if (sources.empty()) {
    ctx.Log(centerCode + ": " + TrArgs("送信ファイルがありません ({1}*)", {prefix}));
    ctx.LogFault(serial, "7200", "変換", (workFolder / (prefix + "*")).string(), "変換する抽出ファイルがありません");
    return "7200";
  }

  // The work kind is set per file below.
  HistoryBranchRecord branch = MakeHistoryBranch(serial, "", centerCode, partnerKind);
  HistoryRecord rec;
  rec.serial = serial;
  const auto resultPath = InFolder(out, resultName);
  int converted = 0, failed = 0;

  for (const auto& source : sources) {
    if (ctx.stopped()) break;
    const std::string sourcePath = (workFolder / source).string();
    branch.workKind = UpperLast3(sourcePath) == "CII" ? kWorkConvertCii : kWorkConvertOther;
    ctx.AddBranch(branch);
    if (branch.result != "0000") {
      ctx.Log(centerCode + ": " + TrArgs("履歴の追加に失敗しました ({1})", {source}));
      ++failed;
      continue;
    }
    ctx.Log(centerCode + ": " + TrArgs("変換 {1}", {source}));
    std::string code;
    if (IsSymbolicLink(resultPath)) {
      // The writer appends: through a link it would write into a file the run never named.
      ctx.Log(centerCode + ": " + TrArgs("結果ファイルがシンボリックリンクのため書きません: {1}", {resultPath.string()}));
      code = cii::CodeText(cii::kCodeOutputFailed);
    } else {
      const FileMark mark(resultPath);
      code = ctx.translator.RunOutboundTranslation(centerCode, serial, "1", sourcePath, resultPath);
      if (code != "0000") TakeBack(ctx, centerCode, mark, leftBehind);
    }
    rec.branch = branch.branch;
    rec.endCode = code;
    rec.detailCode = code;
    rec.bpid = ctx.translator.lastBpid();
    rec.infoCategory = ctx.translator.lastInfoCategory();
    rec.storageMode = ctx.translator.lastStorageMode();
    rec.fileName = sourcePath;
    ctx.Finish(rec);
    if (code != "0000") {
      ++failed;
      ctx.Log(centerCode + ": " + TrArgs("変換失敗 {1} ({2})", {code, source}));
      ctx.LogFault(serial, code, "変換", sourcePath, "変換に失敗しました (結果コード " + code + ")");
    } else {
      ++converted;
    }
  }
  if (ctx.stopped()) return kStoppedCode;
  // A file that failed does not hide behind one that converted: the step fails, and the
  // result of the files that converted is still sent (someConverted).
  if (converted == 0) return "7200";

  if (xmlCenter) {
    const auto xmlPath = InFolder(out, xmlName);
    rec.fileName = xmlPath.string();
    branch.workKind = kWorkConvertXml;
    ctx.AddBranch(branch);
    if (branch.result != "0000") return "9999";
    rec.branch = branch.branch;
    ctx.Log(centerCode + ": XML変換 " + xmlPath.filename().string());
    // The document is made under a temporary name and put in place only when whole.
    WholeFileWrite whole(xmlPath);
    std::string code = "0000";
    if (auto fault = whole.Open()) {
      ctx.Log(centerCode + ": XML文書を書けません: " + fault->text);
      code = cii::CodeText(cii::kCodeOutputFailed);
    } else {
      code = xml::ConvertInboundFile(ctx.translator, resultPath, whole.temp(), serial);
      if (code == "0000") {
        if (auto fault = whole.Commit()) {
          ctx.Log(centerCode + ": XML文書を書けません: " + fault->text);
          code = cii::CodeText(cii::kCodeWriteFailed);
        }
      }
    }
    // A failed XML conversion leaves nothing to send: record it and fail the step.
    if (code != "0000") {
      rec.endCode = code;
      rec.detailCode = code;
    }
    ctx.Finish(rec);
    if (code != "0000") {
      ctx.Log(centerCode + ": XML変換失敗 " + code);
      ctx.LogFault(serial, code, "XML変換", xmlPath.string(), "XML変換に失敗しました (結果コード " + code + ")");
      return "7200";
    }
  }
  if (someConverted) *someConverted = true;
  return failed == 0 ? "0000" : "7200";
}

}  // namespace edi::run
