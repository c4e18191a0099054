#include "run/center_tables.h"

#include "app/catalogue.h"

namespace edi::run {

const std::vector<cii::CsvTable>& CenterTables() {
  // A center code names the run's files (12 characters at most); the information code is the
  // 4 characters that the extracted file's name carries before ".LOC".
  static const std::vector<cii::CsvTable> tables = {
      {"区分マスタ",
       {{.name = "区分", .required = true}, {.name = "区分ｺｰﾄﾞ", .required = true}, {.name = "区分名称"}},
       {"区分", "区分ｺｰﾄﾞ"},
       {"区分", "区分ｺｰﾄﾞ"},
       {"区分", "区分ｺｰﾄﾞ"},
       {}},
      {"FL1903EDI制御マスタ",
       {{.name = "センターコード", .required = true, .maxBytes = 12},
        {.name = "センター名"},
        {.name = "送受信方式"},
        {.name = "実行端末名"},
        {.name = "相手先種別"},
        {.name = "KMX送信ファイルパス"},
        {.name = "送受信データ形式"},
        {.name = "相手先メールアドレス"}},
       {"センターコード"},
       {"センターコード"},
       {"センターコード"},
       {}},
      {"FL1915センタ利用企業マスタ",
       {{.name = "センターコード", .required = true, .maxBytes = 12},
        {.name = "相手先企業コード", .required = true},
        {.name = "表示順", .number = true}},
       {"センターコード"},
       {"センターコード", "相手先企業コード"},
       {"センターコード", "表示順", "相手先企業コード"},
       {"表示順"}},
      {"FL1914利用情報区分マスタ",
       {{.name = "相手先企業コード", .required = true, .maxBytes = 12},
        {.name = "送受信種別", .required = true},
        {.name = "情報区分コード", .exactBytes = 4},
        {.name = "表示順", .number = true}},
       {"相手先企業コード"},
       {"相手先企業コード", "送受信種別", "情報区分コード"},
       {"相手先企業コード", "送受信種別", "表示順", "情報区分コード"},
       {"表示順"}},
  };
  return tables;
}

std::vector<cii::TableCount> ExportCenters(Database& db, const std::filesystem::path& dir,
                                           const std::optional<std::string>& center, cii::CsvEncoding encoding,
                                           bool overwrite) {
  auto select = [&](const cii::CsvTable& t) {
    cii::TableSelection s;
    if (!center) return s;
    const std::string_view name = t.name;
    if (name == "区分マスタ") s.skip = true;
    // FL1914 keys its rows by the center code in its 相手先企業コード column.
    else s.equal.emplace_back(name == "FL1914利用情報区分マスタ" ? "相手先企業コード" : "センターコード", *center);
    return s;
  };
  const std::string nothing = center ? TrArgs("センター {1} はどの表にもありません", {*center}) : std::string();
  return cii::ExportTables(db, dir, CenterTables(), select, encoding, overwrite, nothing);
}

cii::ImportResult ImportCenters(Database& db, const std::filesystem::path& dir, const cii::ImportOptions& options) {
  return cii::ImportTables(db, dir, CenterTables(), options);
}

}  // namespace edi::run
