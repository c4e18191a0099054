// The in-memory item tables built from FL1903レコードフォーマット情報マスタ, and the look-ups the
// writer, the readers and the XML converters use on them.
//
// Indexes are 1-based, as the format definitions number their items; 0 means "no item".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace edi::cii {

// One item of a record layout (one FL1903 row). Texts are UTF-8 as read from the database.
struct ItemFormat {
  int sequence = 0;          // 項目通番
  int counterpart = 0;       // 対応項目通番
  int level = 0;             // レベル番号 (0 = outermost)
  long long itemNo = 0;      // 項目№ (the tag of the data element)
  std::string position;      // 項目位置, trimmed ("" when null); a 1-based byte position
  std::string name;          // 項目名称, trimmed
  std::string attribute;     // 属性: "M" group, "N"/"9" numeric, "Y" date, "K" kanji, "X", "B"
  int length = 0;            // 長さ (for groups: computed by LoadItemFormats)
  int decimals = 0;          // 小数部長さ
  std::string multiDetail;   // マルチ明細番号, trimmed ("0" when null)
  int repeatCount = 0;       // 繰返し数 (0 counts as 1)
  std::string fixedValue;    // 固定項目値, carried only
  std::string errorAction;   // 変換エラー対処, carried only

  bool isGroup() const { return attribute == "M"; }
  int repeats() const { return repeatCount == 0 ? 1 : repeatCount; }
  // 項目位置 read as a number (leading digits; 0 when there are none).
  long long positionNumber() const;
  // Bytes the item takes on the local side: 長さ, plus 1 for a decimal point when 小数部長さ
  // is not 0 (numeric items only; a group counts 長さ × 繰返し数).
  long long localWidth() const;
};

// Deepest nesting level that a layout may use.
constexpr int kMaxItemLevel = 1000;

class ItemTable {
 public:
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  // i from 1 to size().
  const ItemFormat& operator[](std::size_t i) const { return items_[i - 1]; }
  ItemFormat& operator[](std::size_t i) { return items_[i - 1]; }
  bool has(long long i) const { return i >= 1 && static_cast<std::size_t>(i) <= items_.size(); }
  const std::vector<ItemFormat>& items() const { return items_; }
  void clear() { items_.clear(); }

 private:
  friend std::optional<std::string> LoadItemFormats(ItemTable& table, std::vector<ItemFormat> rows);
  std::vector<ItemFormat> items_;
};

// Replaces the table by the rows (in their order) and computes the length of every group item:
// the sum of its members' local widths, a member group counting its length × its repeat count.
// Returns nullopt, or a description when the rows break the ordering rules (an item of level
// ≥ 1 without an open group at its parent depth, a negative level); the table is then left
// empty. Callers log kCodeBadItemTable for that.
std::optional<std::string> LoadItemFormats(ItemTable& table, std::vector<ItemFormat> rows);

// First index of the 'L' table whose 項目通番 equals the sequence; 0 when none.
std::size_t FindLocalItemBySequence(const ItemTable& local, int sequence);

// Scans the 'E' table from position (0 is taken as 1) upwards for an item of the level with the
// item number; sets position to it and returns true. An item of a lower level ends the scan.
bool FindEdiItem(const ItemTable& edi, std::size_t& position, long long itemNo, int level);

// A group identifier as it stands in a CII stream: after 0xFA one byte, after 0xFD two bytes.
struct MultiDetailCode {
  bool twoByte = false;  // 0xFD form
  int value = 0;         // the byte after 0xFA, or the 16-bit number after 0xFD
  bool operator==(const MultiDetailCode&) const = default;
};
// How the writer marks a group with this マルチ明細番号 in extended tag mode: one character
// "0"–"9", or a text sorting from "A" to "Z", gives 0xFA and its first character's code; a
// number from 10 to 65535 gives 0xFD and the number; anything else is nullopt (code 0005).
std::optional<MultiDetailCode> EncodeMultiDetail(const std::string& multiDetail);

// Scans like FindEdiItem for a group item ("M") at the level. code == nullptr: the first one
// (one-byte tag mode, 0xFA alone). Otherwise the code is matched as a character first (the
// group whose マルチ明細番号 this system's writer encodes as exactly this code), then as a
// value (a group whose マルチ明細番号 is all digits and reads as the number after 0xFA or
// 0xFD), so that both this system's files and files that carry the number itself are read.
// *byValue (when given) tells which of the two matched.
bool FindEdiGroup(const ItemTable& edi, std::size_t& position, int level, const MultiDetailCode* code,
                  bool* byValue = nullptr);
// The group of an XML group element "JPM" + id: the group item whose マルチ明細番号 is id, or
// (both all digits) reads as the same number.
bool FindEdiGroupByName(const ItemTable& edi, std::size_t& position, int level, const std::string& id);

// Greatest end position over the items (項目位置 + width − 1), a group counting its
// 長さ × 繰返し数: the length of the local data part that the table describes.
long long LocalRecordLength(const ItemTable& local);

// Leading-number reading of a text the way the format definitions are read: optional spaces,
// optional sign, digits; 0 when no digits.
long long LeadingNumber(const std::string& text);

}  // namespace edi::cii
