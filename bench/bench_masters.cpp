#include "bench_masters.h"

#include <fstream>
#include <sstream>
#include <utility>

#include "app/database.h"
#include "cii/format_io.h"
#include "local_file_generator.h"

namespace edi::bench {

void LoadDemoFormats(Database& db, const std::filesystem::path& demoFolder) {
  cii::ImportResult r = cii::ImportFormats(db, demoFolder / "formats", {});
  if (!r.ok()) throw DatabaseError("the demo formats are refused: " + cii::Describe(r.problems.front()));
}

namespace {
const std::string kGroupColumns =
      "自社コード, 情報区分, BPID, 運用モード, 発信VANコード, 発信センターコード, 発信者コード, "
      "受信VANコード, 受信センターコード, 受信者コード, 交換参照番号, シンタックスIDバージョン, 格納モード, "
      "\"8ビット文字コード\", \"16ビット文字コード\", 短縮表示, 発信VANコード管理機関コード, "
      "発信センターコード管理機関コード, 発信者コード管理機関コード, 受信VANコード管理機関コード, "
      "受信センターコード管理機関コード, 受信者コード管理機関コード";
}  // namespace

void AddBenchPartners(Database& db, int keys) {
  const std::string& columns = kGroupColumns;
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

namespace {

// A bench format of many items: its message group rows (copies of the demo partner's row for
// each key), its format row and its items, each into both tables ('E' with the EDI length,
// 'L' with the local position and length).
class FormatRows {
 public:
  FormatRows(Database& db, int keys, std::string category, std::string bpid, const std::string& formId)
      : db_(db), category_(std::move(category)), bpid_(std::move(bpid)) {
    std::string values = kGroupColumns;
    values.replace(values.find("情報区分, BPID"), std::string("情報区分, BPID").size(), ":2, :3");
    for (int k = 0; k < keys; ++k)
      db.Execute("INSERT INTO FL1916メッセージグループ情報マスタ (相手先コード, " + kGroupColumns + ") SELECT :1, " + values + " FROM FL1916メッセージグループ情報マスタ WHERE 相手先コード = :4 AND 情報区分 = '0101'",
                 {PartnerCode(k), category_, bpid_, PartnerCode(0)});
    db.Execute("INSERT INTO FL1902フォーマット情報マスタ (情報区分コード, BPID, 様式識別, シンタックスIDバージョン, 格納モード, "
               "\"1バイト文字集合\", \"2バイト文字集合\", ローカル形式, XML文字コード) "
               "VALUES (:1, :2, :3, 'CII300', 'M', 'J', 'K', 'F', 'M')",
               {category_, bpid_, formId});
  }

  void Add(int level, int itemNo, const char* attribute, int ediLength, int localLength, int decimals,
           const char* multiDetail, int repeats) {
    ++sequence_;
    const bool group = std::string(attribute) == "M";
    for (const char* kind : {"E", "L"}) {
      const bool local = kind[0] == 'L';
      db_.Execute("INSERT INTO FL1903レコードフォーマット情報マスタ (フォーマット種別, 情報区分コード, BPID, 項目通番, "
                  "対応項目通番, レベル番号, 項目№, 項目位置, 項目名称, 属性, 長さ, 小数部長さ, マルチ明細番号, 繰返し数) "
                  "VALUES (:1, :2, :3, :4, :4, :5, :6, :7, :8, :9, :10, :11, :12, :13)",
                  {std::string(kind), category_, bpid_, static_cast<long long>(sequence_),
                   static_cast<long long>(level), static_cast<long long>(itemNo),
                   local ? std::to_string(position_) : std::string(), "W" + std::to_string(sequence_),
                   std::string(attribute), static_cast<long long>(local ? localLength : ediLength),
                   static_cast<long long>(decimals), std::string(multiDetail), static_cast<long long>(repeats)});
    }
    if (!group) position_ += localLength + ((decimals != 0) ? 1 : 0);
  }

 private:
  Database& db_;
  std::string category_, bpid_;
  int sequence_ = 0;
  long long position_ = 1;
};

}  // namespace

void AddWideFormat(Database& db, int keys) {
  FormatRows rows(db, keys, kWideCategory, kWideBpid, "WIDE1");
  for (int k = 0; k < kWideShortItems; ++k) {
    const int no = k + 1;
    switch (k % 5) {
      case 0: rows.Add(0, no, "X", 6, 6, 0, "", 0); break;   // code
      case 1: rows.Add(0, no, "9", 5, 5, 0, "", 0); break;   // count
      case 2: rows.Add(0, no, "Y", 8, 8, 0, "", 0); break;   // date
      case 3: rows.Add(0, no, "K", 8, 8, 0, "", 0); break;   // kanji
      default: rows.Add(0, no, "N", 9, 7, 2, "", 0); break;  // amount with two decimals
    }
  }
  rows.Add(0, 100, "M", 0, 0, 0, "0", kWideRepeats);
  rows.Add(1, 101, "X", 4, 4, 0, "", 0);
  rows.Add(1, 102, "9", 4, 4, 0, "", 0);
  rows.Add(1, 103, "K", 6, 6, 0, "", 0);
}

void AddShortFormat(Database& db, int keys) {
  FormatRows rows(db, keys, kShortCategory, kShortBpid, "SHRT1");
  for (int k = 0; k < kShortItems; ++k) {
    const ShortItemKind kind = kShortCycle[k % 10];
    const char attribute[2] = {kind.attribute, 0};
    if (kind.attribute == 'N') rows.Add(0, k + 1, attribute, kind.width + 1, kind.width - 1, 2, "", 0);
    else if (kind.attribute == 'Y') rows.Add(0, k + 1, attribute, 8, kind.width, 0, "", 0);
    else rows.Add(0, k + 1, attribute, kind.width, kind.width, 0, "", 0);
  }
  rows.Add(0, 200, "M", 0, 0, 0, "0", kShortRepeats);
  rows.Add(1, 201, "X", 4, 4, 0, "", 0);
  rows.Add(1, 202, "9", 4, 4, 0, "", 0);
  rows.Add(1, 203, "X", 6, 6, 0, "", 0);
}

}  // namespace edi::bench
