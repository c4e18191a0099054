// The three format masters behind one small interface: the message group row (FL1916), the
// format row (FL1902) and the item rows (FL1903, 'E' and 'L'). The database implementation
// uses bound parameters; the cache reads each key once per translation call; tests feed the
// in-memory implementation directly.
//
// All texts are UTF-8. Key values are passed exactly as they stand (spaces included).
// The database implementation throws edi::DatabaseError; callers turn that into a code.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cii/item_table.h"

namespace edi {
class Database;
}

namespace edi::cii {

// One FL1916メッセージグループ情報マスタ row (all columns as text, null → "").
struct MessageGroupInfo {
  std::string bpid;               // BPID
  std::string operationMode;      // 運用モード
  std::string senderVan;          // 発信VANコード
  std::string senderCenter;       // 発信センターコード
  std::string sender;             // 発信者コード
  std::string receiverVan;        // 受信VANコード
  std::string receiverCenter;     // 受信センターコード
  std::string receiver;           // 受信者コード
  std::string infoCategory;       // 情報区分
  std::string exchangeRef;        // 交換参照番号
  std::string syntaxVersion;      // シンタックスIDバージョン
  std::string storageMode;        // 格納モード
  std::string code8;              // 8ビット文字コード
  std::string code16;             // 16ビット文字コード
  std::string shortDisplay;       // 短縮表示
  std::string senderVanAgency;       // 発信VANコード管理機関コード
  std::string senderCenterAgency;    // 発信センターコード管理機関コード
  std::string senderAgency;          // 発信者コード管理機関コード
  std::string receiverVanAgency;     // 受信VANコード管理機関コード
  std::string receiverCenterAgency;  // 受信センターコード管理機関コード
  std::string receiverAgency;        // 受信者コード管理機関コード
};

// One FL1902フォーマット情報マスタ row.
struct FormatInfo {
  std::string formId;         // 様式識別
  std::string syntaxVersion;  // シンタックスIDバージョン
  std::string storageMode;    // 格納モード
  std::string charSet1;       // 1バイト文字集合
  std::string charSet2;       // 2バイト文字集合
  std::string localFormat;    // ローカル形式
  std::string xmlCharCode;    // XML文字コード
};

class MasterSource {
 public:
  virtual ~MasterSource() = default;
  // FL1916 by 相手先コード, 自社コード, 情報区分: the first row, or nullopt.
  virtual std::optional<MessageGroupInfo> FindMessageGroup(const std::string& partner, const std::string& own,
                                                           const std::string& category) = 0;
  // FL1902 by 情報区分コード and BPID: the first row, or nullopt.
  virtual std::optional<FormatInfo> FindFormat(const std::string& category, const std::string& bpid) = 0;
  // FL1903 rows of kind 'E' or 'L' in 項目通番 order (empty when none).
  virtual std::vector<ItemFormat> FindItems(char kind, const std::string& category, const std::string& bpid) = 0;
};

class DatabaseMasters : public MasterSource {
 public:
  explicit DatabaseMasters(Database& db) : db_(db) {}
  std::optional<MessageGroupInfo> FindMessageGroup(const std::string& partner, const std::string& own,
                                                   const std::string& category) override;
  std::optional<FormatInfo> FindFormat(const std::string& category, const std::string& bpid) override;
  std::vector<ItemFormat> FindItems(char kind, const std::string& category, const std::string& bpid) override;

 private:
  Database& db_;
};

// Remembers every answer of the source it wraps (misses too) until Clear().
class CachedMasters : public MasterSource {
 public:
  explicit CachedMasters(MasterSource& source) : source_(source) {}
  std::optional<MessageGroupInfo> FindMessageGroup(const std::string& partner, const std::string& own,
                                                   const std::string& category) override;
  std::optional<FormatInfo> FindFormat(const std::string& category, const std::string& bpid) override;
  std::vector<ItemFormat> FindItems(char kind, const std::string& category, const std::string& bpid) override;
  void Clear();

 private:
  MasterSource& source_;
  std::map<std::tuple<std::string, std::string, std::string>, std::optional<MessageGroupInfo>> groups_;
  std::map<std::pair<std::string, std::string>, std::optional<FormatInfo>> formats_;
  std::map<std::tuple<char, std::string, std::string>, std::vector<ItemFormat>> items_;
};

// Masters held in memory (tests, tools). Counts the look-ups it answers.
class MemoryMasters : public MasterSource {
 public:
  void AddMessageGroup(const std::string& partner, const std::string& own, const std::string& category,
                       MessageGroupInfo info);
  void AddFormat(const std::string& category, const std::string& bpid, FormatInfo info);
  void SetItems(char kind, const std::string& category, const std::string& bpid, std::vector<ItemFormat> rows);

  std::optional<MessageGroupInfo> FindMessageGroup(const std::string& partner, const std::string& own,
                                                   const std::string& category) override;
  std::optional<FormatInfo> FindFormat(const std::string& category, const std::string& bpid) override;
  std::vector<ItemFormat> FindItems(char kind, const std::string& category, const std::string& bpid) override;

  int lookups = 0;

 private:
  std::map<std::tuple<std::string, std::string, std::string>, MessageGroupInfo> groups_;
  std::map<std::pair<std::string, std::string>, FormatInfo> formats_;
  std::map<std::tuple<char, std::string, std::string>, std::vector<ItemFormat>> items_;
};

}  // namespace edi::cii
