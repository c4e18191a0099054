// The package's status file: any bytes as one status line for ParseStatusLine, and the same
// bytes as the status file that the extraction step reads after a package run (the package
// here is `cp` of the input). The parser must not crash, counts stay within their fields,
// a line code only ever turns to "9999"; the step answers with a four-digit code and
// completes the partner's history row, whatever the file holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/text.h"
#include "app/workstation.h"
#include "cii/translator.h"
#include "run/package_handoff.h"
#include "run/run_context.h"
#include "test_support.h"

namespace {

class QuietListener : public edi::run::RunListener {
 public:
  class Quiet : public edi::mail::MailProgress {
   public:
    void Open() override {}
    void AddLine(const std::string&) override {}
    void ShowError(const std::string&) override {}
    void Close() override {}
  };
  edi::mail::MailProgress& mailProgress() override { return quiet; }
  Quiet quiet;
};

// A workstation whose package copies the fuzz input into the status file of serial 1.
struct Bench {
  edi::test::TempDir dir;
  std::unique_ptr<edi::test::TestDatabase> db;
  edi::Workstation ws;
  QuietListener listener;
  std::unique_ptr<edi::cii::Translator> translator;

  Bench() {
    db = edi::test::TestDatabase::Sqlite(dir.path());
    std::string ini = edi::test::StandardIni(dir.path(), db->iniSection());
    const std::string command = "MGCMDLINEZS=cp '" + (dir / "input").string() + "' '" +
                                (dir / "status" / "00000001_Z_OUT_STATUS.TXT").string() + "' #\n";
    ini.replace(ini.find("\n[PATH]\n"), 8, "\n[PATH]\n" + command);
    edi::test::WriteAnsiText(dir / "EDI.ini", ini);
    db->db().Execute(
        "INSERT INTO FL1915センタ利用企業マスタ (センターコード, 相手先企業コード, 表示順) VALUES ('C1', 'P1', 1)");
    db->db().Execute(
        "INSERT INTO FL1914利用情報区分マスタ (相手先企業コード, 送受信種別, 情報区分コード, 表示順) VALUES ('C1', 'S', '0101', 1)");
    edi::StartOptions options;
    options.exeFolder = dir.path().string();
    options.iniPath = (dir / "EDI.ini").string();
    options.terminalName = "T1";
    if (edi::InitializeWorkstation(ws, options)) std::abort();
    ws.operatorCode = "OP";
    translator = std::make_unique<edi::cii::Translator>(*ws.db, dir / "ERR.LOG");
  }
};

void CheckParse(const std::string& line) {
  edi::run::PackageStatusLine rec;
  std::string code = "0000";
  edi::run::ParseStatusLine(line, rec, code);
  if (code != "0000" && code != "9999") std::abort();
  if (rec.inputCount < 0 || rec.outputCount < 0 || rec.inputCount > 999999 || rec.outputCount > 999999) std::abort();
  std::string failed = "9999";
  edi::run::ParseStatusLine(line, rec, failed);
  if (failed != "9999") std::abort();  // a failed line code never turns back to success
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Bench bench;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  CheckParse(bytes);
  CheckParse(edi::FromAnsiBytes(bytes));

  edi::test::WriteBytes(bench.dir / "input", bytes);
  bench.ws.db->Execute("DELETE FROM FL1102処理履歴ファイル");
  edi::run::RunContext ctx{bench.ws, bench.listener, *bench.translator};
  const std::string code = edi::run::ExtractViaPackage(ctx, "C1", 1);
  if (code.size() != 4 || code.find_first_not_of("0123456789") != std::string::npos) std::abort();
  // Exactly one partner: one row, and it is completed.
  auto rows = bench.ws.db->Query("SELECT 終了コード, 処理終了日付 FROM FL1102処理履歴ファイル");
  if (rows.size() != 1 || !rows[0].Get("終了コード") || !rows[0].Get("処理終了日付")) std::abort();
  return 0;
}
