// The masters read from the database, with bound parameters. Kept apart from the cache and
// the in-memory masters, so that the translator core builds without a database.
#include "cii/masters.h"

#include "app/database.h"
#include "app/text.h"

namespace edi::cii {

namespace {

std::string Text(const Row& row, std::string_view column) { return row.Has(column) ? row.Text(column) : ""; }

MessageGroupInfo ToMessageGroup(const Row& r) {
  MessageGroupInfo m;
  m.bpid = Text(r, "BPID");
  m.operationMode = Text(r, "運用モード");
  m.senderVan = Text(r, "発信VANコード");
  m.senderCenter = Text(r, "発信センターコード");
  m.sender = Text(r, "発信者コード");
  m.receiverVan = Text(r, "受信VANコード");
  m.receiverCenter = Text(r, "受信センターコード");
  m.receiver = Text(r, "受信者コード");
  m.infoCategory = Text(r, "情報区分");
  m.exchangeRef = Text(r, "交換参照番号");
  m.syntaxVersion = Text(r, "シンタックスIDバージョン");
  m.storageMode = Text(r, "格納モード");
  m.code8 = Text(r, "8ビット文字コード");
  m.code16 = Text(r, "16ビット文字コード");
  m.shortDisplay = Text(r, "短縮表示");
  m.senderVanAgency = Text(r, "発信VANコード管理機関コード");
  m.senderCenterAgency = Text(r, "発信センターコード管理機関コード");
  m.senderAgency = Text(r, "発信者コード管理機関コード");
  m.receiverVanAgency = Text(r, "受信VANコード管理機関コード");
  m.receiverCenterAgency = Text(r, "受信センターコード管理機関コード");
  m.receiverAgency = Text(r, "受信者コード管理機関コード");
  return m;
}

FormatInfo ToFormat(const Row& r) {
  FormatInfo f;
  f.formId = Text(r, "様式識別");
  f.syntaxVersion = Text(r, "シンタックスIDバージョン");
  f.storageMode = Text(r, "格納モード");
  f.charSet1 = Text(r, "1バイト文字集合");
  f.charSet2 = Text(r, "2バイト文字集合");
  f.localFormat = Text(r, "ローカル形式");
  f.xmlCharCode = Text(r, "XML文字コード");
  return f;
}

int Int32(const Row& r, std::string_view column) {
  long long v = r.Int(column);  // a null number column is a data error of the master: throws
  if (v < INT32_MIN || v > INT32_MAX) throw DatabaseError(std::string(column) + " out of range");
  return static_cast<int>(v);
}

ItemFormat ToItem(const Row& r) {
  ItemFormat it;
  it.sequence = Int32(r, "項目通番");
  it.counterpart = Int32(r, "対応項目通番");
  it.level = Int32(r, "レベル番号");
  it.itemNo = r.Int("項目№");
  it.position = TrimOrDefault(r.Get("項目位置"), "");
  it.name = TrimOrDefault(r.Get("項目名称"), "");
  it.attribute = r.Text("属性");
  it.length = Int32(r, "長さ");
  it.decimals = Int32(r, "小数部長さ");
  it.multiDetail = TrimOrDefault(r.Get("マルチ明細番号"), "0");
  it.repeatCount = Int32(r, "繰返し数");
  it.fixedValue = TrimOrDefault(r.Get("固定項目値"), "");
  it.errorAction = TrimOrDefault(r.Get("変換エラー対処"), "");
  return it;
}

}  // namespace

std::optional<MessageGroupInfo> DatabaseMasters::FindMessageGroup(const std::string& partner, const std::string& own,
                                                                  const std::string& category) {
  auto rows = db_.Query(
      "SELECT * FROM FL1916メッセージグループ情報マスタ WHERE 相手先コード=:1 AND 自社コード=:2 AND 情報区分=:3",
      {partner, own, category});
  if (rows.empty()) return std::nullopt;
  return ToMessageGroup(rows.front());
}

std::optional<FormatInfo> DatabaseMasters::FindFormat(const std::string& category, const std::string& bpid) {
  auto rows = db_.Query("SELECT * FROM FL1902フォーマット情報マスタ WHERE 情報区分コード=:1 AND BPID=:2",
                        {category, bpid});
  if (rows.empty()) return std::nullopt;
  return ToFormat(rows.front());
}

std::vector<ItemFormat> DatabaseMasters::FindItems(char kind, const std::string& category, const std::string& bpid) {
  auto rows = db_.Query(
      "SELECT * FROM FL1903レコードフォーマット情報マスタ WHERE フォーマット種別=:1 AND 情報区分コード=:2 AND "
      "BPID=:3 ORDER BY 項目通番",
      {std::string(1, kind), category, bpid});
  std::vector<ItemFormat> items;
  items.reserve(rows.size());
  for (const Row& r : rows) items.push_back(ToItem(r));
  return items;
}

}  // namespace edi::cii
