#include "bench_masters.h"

#include <fstream>
#include <sstream>

#include "app/database.h"
#include "cii/format_io.h"
#include "local_file_generator.h"

namespace edi::bench {

void LoadDemoFormats(Database& db, const std::filesystem::path& demoFolder) {
  cii::ImportResult r = cii::ImportFormats(db, demoFolder / "formats", {});
  if (!r.ok()) throw DatabaseError("the demo formats are refused: " + cii::Describe(r.problems.front()));
}

void AddBenchPartners(Database& db, int keys) {
  const std::string columns =
      "自社コード, 情報区分, BPID, 運用モード, 発信VANコード, 発信センターコード, 発信者コード, "
      "受信VANコード, 受信センターコード, 受信者コード, 交換参照番号, シンタックスIDバージョン, 格納モード, "
      "\"8ビット文字コード\", \"16ビット文字コード\", 短縮表示, 発信VANコード管理機関コード, "
      "発信センターコード管理機関コード, 発信者コード管理機関コード, 受信VANコード管理機関コード, "
      "受信センターコード管理機関コード, 受信者コード管理機関コード";
  for (int k = 1; k < keys; ++k)
    db.Execute("INSERT INTO FL1916メッセージグループ情報マスタ (相手先コード, " + columns + ") SELECT :1, " +
                   columns + " FROM FL1916メッセージグループ情報マスタ WHERE 相手先コード = :2",
               {PartnerCode(k), PartnerCode(0)});
}

void SetDetailRepeats(Database& db, int details) {
  const std::string where = " WHERE 情報区分コード = '0101' AND BPID = 'ORDR0101' AND 項目通番 = :2";
  db.Execute("UPDATE FL1903レコードフォーマット情報マスタ SET 繰返し数 = :1" + where,
             {static_cast<long long>(details), 5LL});
  db.Execute("UPDATE FL1903レコードフォーマット情報マスタ SET 項目位置 = :1" + where + " AND フォーマット種別 = 'L'",
             {std::to_string(RemarkPosition(details)), 11LL});
}

}  // namespace edi::bench
