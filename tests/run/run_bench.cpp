#include "run_bench.h"

#include "run/center_tables.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace edi::test {

RunBench::RunBench(BenchOptions options) {
  root = dir_.path();
  db_ = options.postgres ? TestDatabase::Postgres() : TestDatabase::Sqlite(root);
  if (!db_) return;
  in = root / "in";
  out = root / "out";
  old = root / "old";
  status = root / "status";
  param = root / "param";
  data = root / "data";
  send = root / "send";
  mgpkgConfig = root / "mgpkg.ini";
  mgpkgLog = root / "mgpkg.log";
  std::string text = StandardIni(root, db_->iniSection());
  std::filesystem::create_directories(data);
  std::filesystem::create_directories(send);
  std::string command = options.packageCommand
                            ? *options.packageCommand
                            : "MGPKG_CONFIG='" + mgpkgConfig.string() + "' '" + EDI_MGPKG_PATH + "'";
  for (std::size_t p; (p = command.find("{root}")) != std::string::npos;) command.replace(p, 6, root.string());
  std::string pathKeys = "\n[PATH]\nMGCMDLINEZS=" + command + "\n";
  if (options.timeoutSeconds) pathKeys += "MGTIMEOUT=" + std::to_string(options.timeoutSeconds) + "\n";
  text.replace(text.find("\n[PATH]\n"), 8, pathKeys);
  if (!options.historyPrefix.empty()) {
    const std::string key = "FL1102_FILE=\n";
    text.replace(text.find(key), key.size(), "FL1102_FILE=" + options.historyPrefix + "\n");
  }
  if (!options.defaultInfoCodes.empty()) {
    text += "\n[JKBN_J_S]\n";
    for (const auto& c : options.defaultInfoCodes) text += c + "\n";
  }
  text += options.extraIni;
  ini = root / "EDI.ini";
  WriteAnsiText(ini, text);
  ConfigurePackage();
}

void RunBench::AddCenter(const std::string& code, const std::string& method, const std::string& format,
                         std::optional<std::string> kmxPath, std::optional<std::string> mail,
                         const std::string& terminal) {
  auto opt = [](const std::optional<std::string>& v) -> Param {
    if (v) return *v;
    return nullptr;
  };
  master().Execute(
      "INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別,"
      " KMX送信ファイルパス, 送受信データ形式, 相手先メールアドレス) VALUES (:1, :2, :3, :4, :5, :6, :7, :8)",
      {code, "センター" + code, method, terminal, std::string("2"), opt(kmxPath), format, opt(mail)});
}

void RunBench::AddPartner(const std::string& center, const std::string& partner, int order) {
  master().Execute("INSERT INTO FL1915センタ利用企業マスタ (センターコード, 相手先企業コード, 表示順) VALUES (:1, :2, :3)",
                   {center, partner, static_cast<long long>(order)});
}

void RunBench::AddInfoCode(const std::string& center, const std::string& code, int order) {
  master().Execute(
      "INSERT INTO FL1914利用情報区分マスタ (相手先企業コード, 送受信種別, 情報区分コード, 表示順) VALUES (:1, 'S', :2, :3)",
      {center, code, static_cast<long long>(order)});
}

void RunBench::WriteData(const std::string& infoCode, const std::string& bytes) {
  WriteBytes(data / (infoCode + ".LOC"), bytes);
}

void RunBench::ConfigurePackage(const std::vector<std::string>& lines) {
  std::ofstream cfg(mgpkgConfig, std::ios::trunc);
  cfg << "DATA=" << data.string() << "\nOUT=" << out.string() << "\nLOG=" << mgpkgLog.string() << "\n";
  for (const auto& l : lines) cfg << l << "\n";
}

std::optional<StartupFailure> RunBench::Start(const std::string& terminal) {
  StartOptions options;
  options.exeFolder = root.string();
  options.iniPath = ini.string();
  options.terminalName = terminal;
  if (auto failed = InitializeWorkstation(ws, options)) return failed;
  if (auto failed = LoadCenters(ws)) return failed;
  ws.operatorCode = operatorCode;
  return std::nullopt;
}

std::vector<Row> RunBench::History() {
  return master().Query(
      "SELECT 通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, 処理開始時刻, センターコード,"
      " 処理終了日付, 処理終了時刻, 相手先企業コード, BPID, 取引情報区分, 最終シーケンス番号, 入力レコード数,"
      " 入力ファイルサイズ, 出力レコード数, 出力ファイルサイズ, 格納モード, 終了コード, 詳細コード, ファイル名"
      " FROM FL1102処理履歴ファイル ORDER BY 通番, 枝番");
}

std::vector<std::string> RunBench::FileNames(const std::filesystem::path& folder) const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

EdiOutcome RunEdi(RunBench& b, const std::string& args) {
  const auto outFile = b.root / "edi.out";
  const std::string cmd = std::string("'") + EDI_CLI_PATH + "' --ini '" + b.ini.string() + "' " + args + " > '" +
                          outFile.string() + "' 2>&1";
  const int rc = std::system(cmd.c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, ReadBytes(outFile)};
}

bool LoadDemoCenters(RunBench& b, const std::string& terminal) {
  const auto folder = std::filesystem::path(EDI_SOURCE_DIR) / "db" / "demo" / "centers";
  if (!std::filesystem::is_directory(folder)) return false;
  const auto filled = b.root / "demo-centers";
  std::filesystem::create_directories(filled);
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.path().extension() != ".csv") continue;
    std::string text = ReadBytes(e.path());
    for (auto [from, to] : {std::pair<std::string, std::string>{"@TERMINAL@", terminal}, {"@WORKSPACE@", b.root.string()}})
      for (std::size_t p; (p = text.find(from)) != std::string::npos;) text.replace(p, from.size(), to);
    WriteBytes(filled / e.path().filename(), text);
  }
  cii::ImportResult r = run::ImportCenters(b.master(), filled, {});
  if (!r.ok()) throw std::runtime_error("the demo centers are refused: " + cii::Describe(r.problems.front()));
  return true;
}

int RowOf(const Workstation& ws, const std::string& center) {
  for (int i = 0; i < ws.centers.count(); ++i)
    if (ws.centers.at(i).centerCode == center) return i;
  return -1;
}

}  // namespace edi::test
