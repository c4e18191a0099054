// Checks the record layouts of FL1903レコードフォーマット情報マスタ (and their links to the
// other two masters) against the rules that the writer, the reader and the XML converters rely
// on, so that a mistake in a layout shows up before a wrong message reaches a partner.
#pragma once

#include <string>
#include <vector>

#include "cii/format_io.h"
#include "cii/item_table.h"

namespace edi {
class Database;
}

namespace edi::cii {

// The rules, by the short name that every fault carries.
namespace rule {
inline constexpr const char* kLevel = "level";              // レベル番号 below 0 or too deep
inline constexpr const char* kOpenGroup = "open-group";     // level ≥ 1 with no open group at its parent depth
inline constexpr const char* kEmptyGroup = "empty-group";   // a group item without members
inline constexpr const char* kCounterpart = "counterpart";  // 'E' item without its 'L' item
inline constexpr const char* kGroupIndex = "group-index";   // 'E' and 'L' group items at different indexes
inline constexpr const char* kPosition = "position";        // 'L' data item without a byte position
inline constexpr const char* kOverlap = "overlap";          // 'L' items sharing bytes
inline constexpr const char* kPastGroup = "past-group";     // 'L' member reaching past its group's record
inline constexpr const char* kTag = "tag";                  // 項目№ or マルチ明細番号 with no encoding
inline constexpr const char* kRepeat = "repeat";            // 繰返し数 out of range
inline constexpr const char* kAttribute = "attribute";      // 属性 (or 'E'/'L' pair) with no rule
inline constexpr const char* kDecimals = "decimals";        // 小数部長さ on an item that is not numeric
inline constexpr const char* kNoFormat = "no-format";       // a message group or layout without its other masters
inline constexpr const char* kUnreadable = "unreadable";    // rows the translator cannot read (a null number)
}  // namespace rule

struct LayoutFault {
  std::string category;  // 情報区分コード
  std::string bpid;
  char kind = ' ';       // 'E', 'L', or ' ' for the format as a whole
  int sequence = 0;      // 項目通番 (0: none)
  std::string name;      // 項目名称
  std::string rule;      // one of rule::…
  std::string message;
};

// One line: category, BPID, kind and 項目通番, 項目名称, [rule] message.
std::string Describe(const LayoutFault& fault);

// The faults of one format's two item tables (rows as read from FL1903, in 項目通番 order).
std::vector<LayoutFault> CheckLayout(const std::string& category, const std::string& bpid,
                                     const std::vector<ItemFormat>& edi, const std::vector<ItemFormat>& local);

struct LayoutCheckResult {
  int formats = 0;  // formats checked
  int items = 0;    // FL1903 rows checked
  std::vector<LayoutFault> faults;
};

// Checks every format the filter selects: its layouts, and that each message group (FL1916)
// and each layout has its FL1902 row and both item tables. Throws DatabaseError.
LayoutCheckResult CheckLayouts(Database& db, const FormatFilter& filter);

}  // namespace edi::cii
