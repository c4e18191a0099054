#include "cii/format_io.h"

#include <climits>
#include <string_view>

#include "app/catalogue.h"
#include "cii/item_table.h"

namespace edi::cii {

namespace {

const char* const kStorageModes = "|M|S| ";

const std::vector<CsvTable>& Tables() {
  static const std::vector<CsvTable> tables = {
      {"FL1916メッセージグループ情報マスタ",
       {{.name = "相手先コード", .exactBytes = 12},
        {.name = "自社コード", .exactBytes = 12},
        {.name = "情報区分", .exactBytes = 4},
        {.name = "BPID", .required = true, .maxBytes = 8},
        {.name = "運用モード", .maxBytes = 1},
        {.name = "発信VANコード", .maxBytes = 12},
        {.name = "発信センターコード", .maxBytes = 12},
        {.name = "発信者コード", .maxBytes = 12},
        {.name = "受信VANコード", .maxBytes = 12},
        {.name = "受信センターコード", .maxBytes = 12},
        {.name = "受信者コード", .maxBytes = 12},
        {.name = "交換参照番号", .maxBytes = 10},
        {.name = "シンタックスIDバージョン", .maxBytes = 6},
        {.name = "格納モード", .allowed = kStorageModes},
        {.name = "8ビット文字コード", .maxBytes = 1},
        {.name = "16ビット文字コード", .maxBytes = 1},
        {.name = "短縮表示", .maxBytes = 1},
        {.name = "発信VANコード管理機関コード", .maxBytes = 3},
        {.name = "発信センターコード管理機関コード", .maxBytes = 3},
        {.name = "発信者コード管理機関コード", .maxBytes = 3},
        {.name = "受信VANコード管理機関コード", .maxBytes = 3},
        {.name = "受信センターコード管理機関コード", .maxBytes = 3},
        {.name = "受信者コード管理機関コード", .maxBytes = 3}},
       {"相手先コード", "自社コード", "情報区分"},
       {"相手先コード", "自社コード", "情報区分"},
       {"情報区分", "相手先コード", "自社コード"},
       {}},
      {"FL1902フォーマット情報マスタ",
       {{.name = "情報区分コード", .exactBytes = 4},
        {.name = "BPID", .required = true, .maxBytes = 8},
        {.name = "様式識別", .freeText = true},
        {.name = "シンタックスIDバージョン", .maxBytes = 6},
        {.name = "格納モード", .allowed = kStorageModes},
        {.name = "1バイト文字集合"},
        {.name = "2バイト文字集合"},
        {.name = "ローカル形式"},
        {.name = "XML文字コード"}},
       {"情報区分コード", "BPID"},
       {"情報区分コード", "BPID"},
       {"情報区分コード", "BPID"},
       {}},
      {"FL1903レコードフォーマット情報マスタ",
       {{.name = "フォーマット種別", .allowed = "E|L"},
        {.name = "情報区分コード", .exactBytes = 4},
        {.name = "BPID", .required = true, .maxBytes = 8},
        {.name = "項目通番", .number = true},
        {.name = "対応項目通番", .number = true},
        {.name = "レベル番号", .number = true, .min = 0, .max = kMaxItemLevel},
        {.name = "項目№", .number = true, .min = LLONG_MIN, .max = LLONG_MAX},
        {.name = "項目位置", .digits = true},
        {.name = "項目名称", .freeText = true},
        {.name = "属性", .allowed = "M|N|9|Y|K|X|B"},
        {.name = "長さ", .number = true, .min = 0},
        {.name = "小数部長さ", .number = true, .min = 0},
        {.name = "マルチ明細番号"},
        {.name = "繰返し数", .number = true, .min = 0},
        {.name = "固定項目値", .freeText = true},
        {.name = "変換エラー対処", .freeText = true}},
       {"情報区分コード", "BPID"},
       {"フォーマット種別", "情報区分コード", "BPID", "項目通番"},
       {"情報区分コード", "BPID", "フォーマット種別", "項目通番"},
       {"項目通番"}},
  };
  return tables;
}

}  // namespace

const std::vector<std::string>& FormatTables() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const CsvTable& t : Tables()) n.push_back(t.name);
    return n;
  }();
  return names;
}

std::vector<TableCount> ExportFormats(Database& db, const std::filesystem::path& dir, const FormatFilter& filter,
                                      CsvEncoding encoding, bool overwrite) {
  // The category column is named 情報区分 in the message groups, 情報区分コード elsewhere.
  auto select = [&](const CsvTable& t) {
    TableSelection s;
    const bool groups = std::string_view(t.name) == "FL1916メッセージグループ情報マスタ";
    if (filter.category) s.equal.emplace_back(groups ? "情報区分" : "情報区分コード", *filter.category);
    if (filter.bpid) s.equal.emplace_back("BPID", *filter.bpid);
    return s;
  };
  std::string nothing;
  if (filter.category || filter.bpid)
    nothing = TrArgs("該当するフォーマットがありません:{1}{2}",
                     {filter.category ? " 情報区分 \"" + *filter.category + "\"" : std::string(),
                      filter.bpid ? " BPID \"" + *filter.bpid + "\"" : std::string()});
  return ExportTables(db, dir, Tables(), select, encoding, overwrite, nothing);
}

ImportResult ImportFormats(Database& db, const std::filesystem::path& dir, const ImportOptions& options) {
  return ImportTables(db, dir, Tables(), options);
}

}  // namespace edi::cii
