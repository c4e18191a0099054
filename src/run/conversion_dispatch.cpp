#include "run/conversion_dispatch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "app/database.h"
#include "app/file_mark.h"
#include "app/text.h"
#include "run/history.h"
#include "xml/inbound.h"

namespace edi::run {

std::string ResultFileName(const std::string& sendFileName) {
  std::string stem = sendFileName.size() > 8 ? sendFileName.substr(0, sendFileName.size() - 8) : std::string();
  return stem + ".CII";
}

std::string XmlResultName(const std::string& ciiResultName) {
  return ciiResultName.substr(0, ciiResultName.size() - 4) + ".XML";
}

std::string Unnumbered9001Name(const std::string& centerCode) { return "SND_" + CenterField12(centerCode) + "9001.LOC"; }

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
  ctx.Log(centerCode + ": 変換に失敗した結果ファイルを元に戻せません: " + mark.path().string());
  if (leftBehind) leftBehind->push_back(mark.path().filename().string());
}

}  // namespace

std::string ConvertSendFiles(const RunContext& ctx, const std::string& centerCode, std::int32_t serial,
                             std::vector<std::string>* leftBehind) {
  std::string outCode = "0000";
  std::string dataFormat, partnerKind;
  try {
    auto rows = ctx.db().Query("SELECT * FROM FL1903EDI制御マスタ WHERE センターコード = :1", {centerCode});
    if (rows.empty()) return "9999";
    dataFormat = rows.front().Text("送受信データ形式");
    partnerKind = rows.front().Text("相手先種別");
  } catch (const std::exception& e) {
    ctx.Log(centerCode + ": EDI制御マスタを読めません: " + e.what());
    return "9999";
  }
  const bool xmlCenter = dataFormat == "X";

  const auto& out = ctx.paths().outFolder;
  const auto workFolder = PrefixFolder(out);
  const std::string prefix = SerialField(serial) + "_SND_" + CenterField12(centerCode);
  std::vector<std::string> sources, results;
  try {
    const auto unnumbered = workFolder / Unnumbered9001Name(centerCode);
    if (std::filesystem::exists(unnumbered)) {
      std::filesystem::rename(unnumbered, workFolder / (SerialField(serial) + "_" + Unnumbered9001Name(centerCode)));
    }
    for (const auto& name : ListFilesWithPrefix(workFolder, prefix)) {
      sources.push_back(name);
      results.push_back(ResultFileName(name));
    }
  } catch (const std::exception& e) {
    ctx.Log(centerCode + ": 送信ファイルの一覧に失敗しました: " + e.what());
    return "7200";
  }
  if (sources.empty()) {
    ctx.Log(centerCode + ": 送信ファイルがありません (" + prefix + "*)");
    return "7200";
  }

  // The work kind is set per file below.
  HistoryBranchRecord branch = MakeHistoryBranch(serial, "", centerCode, partnerKind);
  HistoryRecord rec;
  rec.serial = serial;

  for (std::size_t j = 0; j < sources.size(); ++j) {
    const std::string sourcePath = (workFolder / sources[j]).string();
    branch.workKind = UpperLast3(sourcePath) == "CII" ? kWorkConvertCii : kWorkConvertOther;
    AddHistoryBranch(ctx.db(), branch);
    if (branch.result != "0000") {
      ctx.Log(centerCode + ": 履歴の追加に失敗しました (" + sources[j] + ")");
      outCode = "9999";
      continue;
    }
    ctx.Log(centerCode + ": 変換 " + sources[j]);
    const FileMark mark(InFolder(out, results[j]));
    outCode = ctx.translator.RunOutboundTranslation(centerCode, serial, "1", sourcePath, mark.path());
    if (outCode != "0000") TakeBack(ctx, centerCode, mark, leftBehind);
    rec.branch = branch.branch;
    rec.endCode = outCode;
    rec.detailCode = outCode;
    rec.bpid = ctx.translator.lastBpid();
    rec.infoCategory = ctx.translator.lastInfoCategory();
    rec.storageMode = ctx.translator.lastStorageMode();
    rec.fileName = sourcePath;
    FinishHistoryRecord(ctx.db(), rec);
    if (outCode != "0000") ctx.Log(centerCode + ": 変換失敗 " + outCode + " (" + sources[j] + ")");
  }
  if (outCode != "0000") return "7200";

  if (xmlCenter) {
    const auto ciiPath = InFolder(out, results.front());
    const auto xmlPath = InFolder(out, XmlResultName(results.front()));
    rec.fileName = xmlPath.string();
    branch.workKind = kWorkConvertXml;
    AddHistoryBranch(ctx.db(), branch);
    if (branch.result != "0000") return "9999";
    rec.branch = branch.branch;
    ctx.Log(centerCode + ": XML変換 " + xmlPath.filename().string());
    const FileMark mark(xmlPath);
    std::string code = xml::ConvertInboundFile(ctx.translator, ciiPath, xmlPath, serial);
    if (code != "0000") TakeBack(ctx, centerCode, mark, leftBehind);
    // A failed XML conversion leaves nothing to send: record it and fail the step.
    if (code != "0000") {
      rec.endCode = code;
      rec.detailCode = code;
    }
    FinishHistoryRecord(ctx.db(), rec);
    if (code != "0000") {
      ctx.Log(centerCode + ": XML変換失敗 " + code);
      return "7200";
    }
  }
  return outCode;
}

}  // namespace edi::run
