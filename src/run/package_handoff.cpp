#include "run/package_handoff.h"

#include "run/dry_run.h"

#include <cctype>
#include <chrono>
#include <fstream>
#include <optional>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/run_file_name.h"
#include "app/text.h"
#include "app/whole_file.h"
#include "run/history.h"
#include "run/package_process.h"

namespace edi::run {
namespace {

// The UTF-8 text cut into its characters.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> chars;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    chars.push_back(text.substr(i, len));
    i += len;
  }
  return chars;
}

std::string Field(const std::vector<std::string>& chars, std::size_t from1, std::size_t length) {
  std::string out;
  for (std::size_t i = from1 - 1; i < from1 - 1 + length && i < chars.size(); ++i) out += chars[i];
  return out;
}

// The numeric value of a fixed-width count field: spaces are ignored, the leading digits
// count, anything else is 0.
std::int32_t CountValue(const std::string& field) {
  long long value = 0;
  for (char c : field) {
    if (c == ' ') continue;
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    value = value * 10 + (c - '0');
    if (value > 0x7fffffff) return 0x7fffffff;
  }
  return static_cast<std::int32_t>(value);
}

// True when the field holds digits only (spaces around allowed) and their value is 0.
bool IsZeroNumber(const std::string& field) {
  std::string digits = TrimSpaces(field);
  if (digits.empty()) return false;
  for (char c : digits)
    if (c != '0') return false;
  return true;
}

std::string HistoryFileName(const PackageSettings& settings, const std::string& centerCode, long long serial,
                            const std::string& infoCode) {
  return settings.historyPrefix + RunFileName(serial, centerCode, kReceiveKind, infoCode, "LOC");
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// One line of the status file without its LF, of which only the first bytes are kept: the
// fields end at character 31, and a line without an end must not grow memory.
constexpr std::size_t kStatusLineKeep = 256;
bool ReadStatusFileLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf* buffer = in.rdbuf();
  bool any = false;
  for (int c = buffer->sbumpc(); c != std::char_traits<char>::eof(); c = buffer->sbumpc()) {
    any = true;
    if (c == '\n') return true;
    if (line.size() < kStatusLineKeep) line += static_cast<char>(c);
  }
  return any;
}

}  // namespace

void ParseStatusLine(const std::string& line, PackageStatusLine& rec, std::string& lineCode) {
  try {
    rec.inputField = "0";
    rec.outputField = "0";
    auto chars = Characters(line);
    rec.mark = Field(chars, 1, 1);
    rec.infoCode = Field(chars, 2, 4);
    rec.unused = Field(chars, 6, 12);
    rec.inputField = Field(chars, 18, 6);
    rec.outputField = Field(chars, 24, 6);
    rec.resultField = Field(chars, 30, 2);
    rec.inputCount = CountValue(rec.inputField);
    rec.outputCount = CountValue(rec.outputField);
    if (rec.mark != "1" && !IsZeroNumber(rec.resultField)) lineCode = "9999";
  } catch (const std::exception&) {
    lineCode = "9999";
  }
}

StepResult LoadCenterPartners(Database& db, const std::string& centerCode, std::vector<std::string>& partners) {
  partners.clear();
  try {
    auto rows = db.Query("SELECT * FROM FL1915センタ利用企業マスタ WHERE センターコード = :1 ORDER BY 表示順",
                         {centerCode});
    for (const auto& row : rows) partners.push_back(row.Text("相手先企業コード"));
  } catch (const std::exception&) {
    partners.clear();
  }
  if (partners.empty()) return {"7300", "0001"};
  return {};
}

std::vector<std::string> LoadInfoCodes(Database& db, const std::string& centerCode, const PackageSettings& settings) {
  auto rows = db.Query(
      "SELECT FL1914利用情報区分マスタ.相手先企業コード, FL1914利用情報区分マスタ.送受信種別,"
      " FL1914利用情報区分マスタ.情報区分コード FROM FL1914利用情報区分マスタ"
      " WHERE FL1914利用情報区分マスタ.相手先企業コード = :1 AND FL1914利用情報区分マスタ.送受信種別 = :2"
      " ORDER BY FL1914利用情報区分マスタ.表示順",
      {centerCode, std::string("S")});
  std::vector<std::string> codes;
  for (const auto& row : rows) codes.push_back(row.Text("情報区分コード"));
  if (codes.empty()) codes = settings.defaultInfoCodes;
  return codes;
}

std::filesystem::path ParameterFilePath(const PackageSettings& settings, long long serial) {
  return std::filesystem::path(settings.paramFolder) / ("EDI" + SerialField(serial) + ".INI");
}

std::filesystem::path StatusFilePath(const PathSettings& paths, long long serial) {
  return std::filesystem::path(paths.statusFolder) / (SerialField(serial) + "_Z_OUT_STATUS.TXT");
}

std::vector<std::string> PackageParameterLines(const std::vector<std::string>& infoCodes,
                                               const std::string& centerCode, long long serial,
                                               const std::string& operatorCode,
                                               const std::filesystem::path& statusFile,
                                               const std::string& partnerCode) {
  std::vector<std::string> lines;
  for (const auto& code : infoCodes)
    lines.push_back("/[EDI]" + code + "TXT=" +
                    Quote("%EDI_OUT%" + RunFileName(serial, centerCode, kSendKind, code, "LOC")));
  lines.push_back("/[EDI]OPERATOR=" + Quote(operatorCode));
  lines.push_back("/[EDI]STATUS_FILE=" + Quote(statusFile.string()));
  lines.push_back("/[EDI]MAKER=" + Quote(partnerCode));
  return lines;
}

namespace {
// A value that a quoted parameter line holds as it is: no control character (CR and LF
// would start a line of the value's own choosing) and no quote (it would end the value).
bool FitsParameterLine(std::string_view value) {
  for (char c : value) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || c == '\'') return false;
  }
  return true;
}
}  // namespace

std::optional<std::string> RefusedParameterValue(const std::vector<std::string>& infoCodes,
                                                 const std::string& centerCode, const std::string& operatorCode,
                                                 const std::filesystem::path& statusFile,
                                                 const std::string& partnerCode) {
  for (const auto& code : infoCodes)
    if (!FitsParameterLine(code)) return "情報区分コード";
  if (!FitsParameterLine(centerCode)) return "センターコード";
  if (!FitsParameterLine(operatorCode)) return "オペレータコード";
  if (!FitsParameterLine(statusFile.string())) return "ステータスファイル名";
  if (!FitsParameterLine(partnerCode)) return "相手先企業コード";
  return std::nullopt;
}

bool WritePackageParameterFile(const RunContext& ctx, const PackageSettings& settings,
                               const std::string& centerCode, long long serial, const std::string& partnerCode,
                               std::string* refused) {
  std::vector<std::string> codes;
  try {
    codes = LoadInfoCodes(ctx.db(), centerCode, settings);
  } catch (const std::exception& e) {
    ctx.Log(TrArgs("情報区分の読込みに失敗しました: {1}", {e.what()}));
    codes = settings.defaultInfoCodes;
  }
  const auto statusFile = StatusFilePath(ctx.paths(), serial);
  if (auto bad = RefusedParameterValue(codes, centerCode, ctx.ws.operatorCode, statusFile, partnerCode)) {
    if (refused != nullptr) *refused = *bad;
    return false;
  }
  auto lines = PackageParameterLines(codes, centerCode, serial, ctx.ws.operatorCode, statusFile, partnerCode);
  const auto path = ParameterFilePath(settings, serial);
  std::string bytes;
  for (const auto& line : lines) bytes += ToAnsiBytes(line) + "\r\n";
  // Written whole, never through a link at its name: the package reads it as it stands.
  if (auto fault = WriteFileWhole(path, bytes)) {
    ctx.Log(centerCode + ": " + TrArgs("パラメータファイルを書けません: {1}", {fault->text}));
    ctx.LogFault(serial, "4100", "データ抽出 パラメータファイル (" + partnerCode + ")", path.string(), fault->text);
    return false;
  }
  return true;
}

StepResult RunPackage(const std::string& commandLine, const std::filesystem::path& parameterFile,
                      int timeoutSeconds, RunStop* stop) {
  if (TrimSpaces(commandLine).empty()) return {"4100", "0001"};
  if (stop && stop->requested()) return {kStoppedCode, stop->detailCode()};
  const platform::ProcessId pid = StartCommand(commandLine + " @" + parameterFile.string());
  if (pid <= 0) return {"4100", "0001"};
  if (stop) stop->PackageStarted(pid);

  using Clock = std::chrono::steady_clock;
  int status = 0;
  std::optional<Clock::time_point> deadline, killAt;
  if (timeoutSeconds > 0) deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  WaitOutcome outcome = WaitOutcome::Ended;
  for (;;) {
    // With a stop to watch, the wait wakes now and then to see whether it came.
    std::optional<Clock::time_point> until = deadline;
    if (stop) {
      const auto slice = Clock::now() + std::chrono::milliseconds(200);
      if (!until || slice < *until) until = slice;
    }
    outcome = WaitForChild(pid, status, until);
    if (outcome != WaitOutcome::TimedOut) break;
    const auto now = Clock::now();
    if (deadline && now >= *deadline) break;
    if (stop && stop->requested()) {
      // The stop sent SIGTERM to the package's group; what does not end in time is killed.
      if (!killAt) killAt = now + std::chrono::seconds(kStopGraceSeconds);
      else if (now >= *killAt) platform::EndTree(pid);
    }
  }
  if (outcome == WaitOutcome::TimedOut) {
    platform::EndTree(pid);
    platform::EndProcess(pid);
    WaitForChild(pid, status);
  }
  if (stop) stop->PackageEnded();
  // Whatever the package started is stopped with it.
  if (stop && stop->requested()) {
    platform::EndTree(pid);
    return {kStoppedCode, stop->detailCode()};
  }
  if (outcome == WaitOutcome::Lost) return {"4100", "0001"};
  if (outcome == WaitOutcome::TimedOut) return {"4100", "0003"};
  // The shell's own codes for a command it could not find or not execute. The caller only
  // believes them when the package left no status file: the exit code of a package that
  // reported its work says nothing.
  if (int code = 0; platform::ExitCodeOf(status, code) && (code == 127 || code == 126)) return {"4100", "0001"};
  return {};
}

std::string ExtractViaPackage(const RunContext& ctx, const std::string& centerCode, std::int32_t serial,
                              bool* someSucceeded) {
  if (someSucceeded) *someSucceeded = false;
  std::string firstFailure;
  bool anySucceeded = false;
  // A partner's code: the first failure stays the step's code, a later success hides nothing.
  auto note = [&](const std::string& code) {
    if (!IsZeroCode(code)) {
      if (firstFailure.empty()) firstFailure = code;
    } else {
      anySucceeded = true;
    }
  };
  const auto statusFile = StatusFilePath(ctx.paths(), serial);

  std::vector<std::string> partners;
  StepResult loaded = LoadCenterPartners(ctx.db(), centerCode, partners);
  if (!loaded.ok()) {
    // Recorded in the run's branch 0, which the driver overwrites with the run's end code.
    HistoryRecord rec;
    rec.serial = serial;
    rec.endCode = loaded.endCode;
    rec.detailCode = loaded.detailCode;
    ctx.Finish(rec);
    ctx.Log(centerCode + ": " + TrArgs("相手先企業なし ({1})", {loaded.endCode}));
    return loaded.endCode;
  }

  for (const auto& partner : partners) {
    if (ctx.stopped()) break;
    HistoryBranchRecord branch = MakeHistoryBranch(serial, kWorkExtract, centerCode);
    ctx.AddBranch(branch);
    if (branch.result != "0000") {
      // No row of its own to complete: leave every other row as it is.
      ctx.Log(centerCode + ": " + TrArgs("履歴の追加に失敗しました ({1})", {partner}));
      note("9999");
      continue;
    }

    HistoryRecord rec;
    rec.serial = serial;
    rec.branch = branch.branch;
    const PackageSettings settings = ctx.package();
    StepResult run;
    // A status file left by an earlier partner must not stand for this partner's package;
    // one that cannot be removed would, so the package is not started then.
    std::error_code ec;
    std::filesystem::remove(statusFile, ec);
    std::string refused;
    std::string reason;  // why the partner's extraction failed, for ERR.LOG (empty: logged already)
    const std::string step = "データ抽出 (" + partner + ")";
    if (ec) {
      ctx.Log(centerCode + ": " + TrArgs("前回のステータスファイルを消せません: {1}: {2}", {statusFile.string(), ec.message()}));
      ctx.LogFault(serial, "4100", step, statusFile.string(), "前回のステータスファイルを消せません: " + ec.message());
      run = {"4100", "0001"};
    } else if (!WritePackageParameterFile(ctx, settings, centerCode, serial, partner, &refused)) {
      // A write fault was logged where it happened; a refused value is logged here.
      if (!refused.empty()) {
        ctx.Log(centerCode + ": " + TrArgs("パラメータファイルに書けない値です: {1} ({2})", {refused, partner}));
        ctx.LogFault(serial, "4100", step, ParameterFilePath(settings, serial).string(),
                     "パラメータファイルに書けない値です: " + refused);
      }
      run = {"4100", "0001"};
    } else {
      ctx.Log(centerCode + ": " + TrArgs("通信パッケージ起動 ({1})", {partner}));
      run = RunPackage(settings.commandLine, ParameterFilePath(settings, serial), settings.timeoutSeconds, ctx.stop);
      // The package writes into its own output folder whatever the run: a dry run takes its
      // files out of there into the test folder at once.
      if (ctx.dryRun)
        for (const auto& fault : TakeDryRunOutput(ctx.ws.settings.paths, *ctx.dryRun, centerCode, serial))
          ctx.Log(centerCode + ": " + fault);
      // The exit code only tells "could not be started" when the package reported nothing.
      const bool statusLeft = std::filesystem::exists(std::filesystem::symlink_status(statusFile, ec));
      if (run.endCode == "4100" && run.detailCode == "0001" && statusLeft) run = {};
      if (run.ok() && !statusLeft) run = {"4100", "0002"};
      if (run.ok() && IsSymbolicLink(statusFile)) {
        ctx.Log(centerCode + ": " + TrArgs("ステータスファイルがシンボリックリンクのため読みません: {1}", {statusFile.string()}));
        reason = "ステータスファイルがシンボリックリンクのため読みません";
        run = {"4100", "0002"};
      } else if (run.endCode == "4100") {
        reason = run.detailCode == "0001"   ? std::string("通信パッケージを起動できません (PATH の MGCMDLINEZS)")
                 : run.detailCode == "0002" ? "通信パッケージがステータスファイルを残しませんでした"
                 : run.detailCode == "0003" ? "通信パッケージが時間内に終わりませんでした (MGTIMEOUT)"
                                            : "通信パッケージが異常終了しました";
      } else if (!run.ok() && run.endCode != kStoppedCode) {
        reason = "通信パッケージが異常終了しました";
      }
    }

    if (!run.ok()) {
      rec.endCode = run.endCode;
      rec.detailCode = run.detailCode;
      ctx.Finish(rec);
      note(run.endCode);
      ctx.Log(centerCode + ": " + TrArgs("抽出失敗 {1}/{2} ({3})", {run.endCode, run.detailCode, partner}));
      if (!reason.empty()) ctx.LogFault(serial, run.endCode, step, statusFile.string(), reason);
      continue;
    }

    std::ifstream in(statusFile, std::ios::binary);
    std::string lineCode = run.endCode;
    bool finished = false, endMark = false;
    std::string raw, partnerCode = "0000";
    while (ReadStatusFileLine(in, raw)) {
      if (!raw.empty() && raw.back() == '\r') raw.pop_back();
      if (raw.empty()) continue;  // a blank line carries nothing
      PackageStatusLine line;
      std::string parsedCode = lineCode;
      ParseStatusLine(FromAnsiBytes(raw), line, parsedCode);
      if (line.mark == "1") {
        endMark = true;
        break;
      }
      if (lineCode != "9999") {
        // The first failing line is recorded with its own fields; later lines keep them.
        rec.partnerCompany = partner;
        rec.infoCategory = line.infoCode;
        rec.inputRecords = line.inputCount;
        rec.outputRecords = line.outputCount;
        rec.fileName = HistoryFileName(settings, centerCode, serial, line.infoCode);
        lineCode = parsedCode;
      }
      rec.endCode = lineCode;
      rec.detailCode = run.detailCode;
      ctx.Finish(rec);
      finished = true;
      partnerCode = lineCode != "0000" ? lineCode : rec.result;
    }
    if (!finished) {
      // A status file without any line: the package reported nothing, which is no success.
      rec.partnerCompany = partner;
      rec.endCode = endMark ? "0000" : "9999";
      rec.detailCode = run.detailCode;
      ctx.Finish(rec);
      partnerCode = rec.endCode != "0000" ? rec.endCode : rec.result;
    }
    note(partnerCode);
    ctx.Log(centerCode + ": " + TrArgs("抽出 {1} ({2})", {partnerCode, partner}));
    if (!IsZeroCode(partnerCode))
      ctx.LogFault(serial, partnerCode, step, statusFile.string(),
                   finished ? "通信パッケージが失敗を報告しました (結果 " + partnerCode + ")"
                            : "ステータスファイルに結果の行がありません");
  }
  if (ctx.stopped()) return kStoppedCode;
  if (someSucceeded) *someSucceeded = anySucceeded;
  return firstFailure.empty() ? "0000" : firstFailure;
}

}  // namespace edi::run
