#include "cii/format_check.h"

#include <algorithm>
#include <set>
#include <utility>

#include "app/catalogue.h"
#include "app/database.h"
#include "cii/field_conversion.h"
#include "cii/format.h"
#include "cii/masters.h"
#include "cii/writer.h"

namespace edi::cii {

std::string Describe(const LayoutFault& f) {
  std::string s = f.category + " " + f.bpid;
  if (f.kind != ' ') {
    s += std::string(" ") + f.kind;
    if (f.sequence != 0) s += " " + std::to_string(f.sequence);
    if (!f.name.empty()) s += " " + f.name;
  }
  return s + ": [" + f.rule + "] " + f.message;
}

namespace {

bool IsNumeric(const std::string& a) { return a == "N" || a == "9"; }
bool HasRule(const std::string& a) {
  return a.size() == 1 && std::string_view("MN9YKXB").find(a[0]) != std::string_view::npos;
}
std::string Range(long long from, long long to) { return std::to_string(from) + "–" + std::to_string(to); }

class LayoutChecker {
 public:
  LayoutChecker(const std::string& category, const std::string& bpid) : category_(category), bpid_(bpid) {}

  void Fault(char kind, const ItemFormat& item, const char* rule, std::string message) {
    faults.push_back({category_, bpid_, kind, item.sequence, item.name, rule, std::move(message)});
  }

  // Rules that hold for each table on its own. Returns false when the nesting is broken, so
  // that the rules which need group lengths are left out.
  bool Structure(char kind, const std::vector<ItemFormat>& rows) {
    bool sound = true;
    std::vector<std::size_t> open(2, 0);  // open[d]: 1-based index of the group item at depth d
    for (std::size_t i = 1; i <= rows.size(); ++i) {
      const ItemFormat& it = rows[i - 1];
      if (it.level < 0 || it.level > kMaxItemLevel) {
        Fault(kind, it, rule::kLevel,
              TrArgs("レベル番号 {1} が範囲 (0 から {2}) の外です", {std::to_string(it.level), std::to_string(kMaxItemLevel)}));
        sound = false;
        continue;
      }
      const std::size_t level = static_cast<std::size_t>(it.level);
      open.resize(std::max<std::size_t>(level, 1) + 1, 0);  // groups deeper than this item are closed
      if (level >= 1 && open[level] == 0) {
        Fault(kind, it, rule::kOpenGroup,
              TrArgs("レベル番号 {1} ですが、その前にレベル {2} のグループが開いていません",
                     {std::to_string(level), std::to_string(level - 1)}));
        sound = false;
      }
      if (!HasRule(it.attribute))
        Fault(kind, it, rule::kAttribute, TrArgs("属性 \"{1}\" には変換規則がありません", {it.attribute}));
      if (it.decimals != 0 && !IsNumeric(it.attribute))
        Fault(kind, it, rule::kDecimals,
              TrArgs("属性 \"{2}\" の項目に小数部長さ {1} があります: グループは項目にない小数点の1バイトを数えます",
                     {std::to_string(it.decimals), it.attribute}));
      if (it.length < 0) {
        Fault(kind, it, rule::kRepeat, TrArgs("長さ {1} が負です", {std::to_string(it.length)}));
        sound = false;
      }
      if (it.isGroup()) {
        open.resize(level + 2, 0);
        open[level + 1] = i;
        if (i == rows.size() || rows[i].level <= it.level)
          Fault(kind, it, rule::kEmptyGroup,
                TrArgs("グループに項目がありません (後にレベル {1} の項目が続きません)", {std::to_string(level + 1)}));
        if (it.repeatCount < 0) {
          Fault(kind, it, rule::kRepeat, TrArgs("繰返し数 {1} が負です", {std::to_string(it.repeatCount)}));
          sound = false;
        }
      } else if (it.repeatCount != 0 && it.repeatCount != 1) {
        Fault(kind, it, rule::kRepeat,
              TrArgs("グループでない項目の繰返し数 {1} は使われません", {std::to_string(it.repeatCount)}));
      }
    }
    return sound;
  }

  void EdiRules(const std::vector<ItemFormat>& E, const std::vector<ItemFormat>& L) {
    std::set<int> localSequences;
    for (const ItemFormat& l : L) localSequences.insert(l.sequence);
    for (std::size_t i = 1; i <= E.size(); ++i) {
      const ItemFormat& e = E[i - 1];
      // Corresponding group items stand at the same index in both tables.
      const bool localGroup = i <= L.size() && L[i - 1].isGroup();
      if (e.isGroup() != localGroup && (e.isGroup() || i <= L.size()))
        Fault('E', e, rule::kGroupIndex,
              e.isGroup() ? TrArgs("{1} 番目の 'L' 項目はグループではありません", {std::to_string(i)})
                          : TrArgs("{1} 番目の 'L' 項目はグループですが、この項目はグループではありません", {std::to_string(i)}));
      if (e.isGroup()) {
        if (!EncodeMultiDetail(e.multiDetail))
          Fault('E', e, rule::kTag,
                TrArgs("マルチ明細番号 \"{1}\" はグループコード (0–9, A–Z または 10–65535) になりません", {e.multiDetail}));
        continue;
      }
      std::string tag;
      if (!AppendTag(tag, e.itemNo, true))
        Fault('E', e, rule::kTag,
              TrArgs("項目№ {1} はタグ (0–61439 または 65536–524287) になりません", {std::to_string(e.itemNo)}));
      const ItemFormat* written = nullptr;
      for (const ItemFormat& l : L)
        if (l.counterpart == e.sequence) {
          written = &l;
          break;
        }
      if (!written)
        Fault('E', e, rule::kCounterpart,
              TrArgs("対応項目通番が {1} の 'L' 項目がありません: 送信側の変換はこの項目を省きます", {std::to_string(e.sequence)}));
      if (!localSequences.count(e.counterpart))
        Fault('E', e, rule::kCounterpart,
              TrArgs("対応項目通番 {1} に当たる 'L' 項目がありません: 受信側の変換は値を置けません", {std::to_string(e.counterpart)}));
      if (written && HasRule(e.attribute) && HasRule(written->attribute) && !written->isGroup()) {
        bool unsupported = false;
        ConvertEdiValueToLocal("", e, *written, 'M', unsupported);
        if (unsupported)
          Fault('E', e, rule::kAttribute,
                TrArgs("属性 \"{1}\" は 'L' 項目の \"{2}\" に読み戻せません", {e.attribute, written->attribute}));
      }
    }
    for (std::size_t i = 1; i <= L.size(); ++i)
      if (L[i - 1].isGroup() && (i > E.size()))
        Fault('L', L[i - 1], rule::kGroupIndex, TrArgs("{1} 番目の 'E' 項目がありません", {std::to_string(i)}));
  }

  // Byte ranges of the 'L' items: no two members of one group (or two top-level items) share
  // a byte, and every member lies within one repetition of its group.
  void LocalRanges(const std::vector<ItemFormat>& rows) {
    for (const ItemFormat& it : rows)
      if (!it.isGroup() && it.positionNumber() < 1)
        Fault('L', it, rule::kPosition,
              TrArgs("項目位置 \"{1}\" はバイト位置ではありません: 項目は空として読まれます", {it.position}));
    ItemTable table;
    if (LoadItemFormats(table, rows)) return;  // reported by the structure rules
    struct Span {
      std::size_t index;
      long long from, to;
    };
    const std::size_t n = table.size();
    std::vector<long long> start(n + 1, 0);
    std::vector<std::size_t> parent(n + 1, 0);
    std::vector<std::size_t> open(2, 0);
    for (std::size_t i = 1; i <= n; ++i) {
      const ItemFormat& it = table[i];
      open.resize(std::max<std::size_t>(static_cast<std::size_t>(it.level), 1) + 1, 0);
      parent[i] = it.level >= 1 ? open[static_cast<std::size_t>(it.level)] : 0;
      start[i] = it.positionNumber();
      if (it.isGroup()) {
        open.resize(static_cast<std::size_t>(it.level) + 2, 0);
        open[static_cast<std::size_t>(it.level) + 1] = i;
      }
    }
    // A group without a position of its own starts where its first member starts.
    for (std::size_t i = n; i >= 1; --i)
      if (parent[i] != 0 && start[parent[i]] < 1 && start[i] >= 1) start[parent[i]] = start[i];
    std::vector<std::vector<Span>> children(n + 1);
    for (std::size_t i = 1; i <= n; ++i) {
      const ItemFormat& it = table[i];
      if (start[i] < 1) continue;
      const long long width = it.isGroup() ? static_cast<long long>(it.length) * it.repeats() : it.localWidth();
      if (it.isGroup() && width > static_cast<long long>(kMaxLineBytes))
        Fault('L', rows[i - 1], rule::kRepeat,
              TrArgs("グループは {1} バイト (長さ × 繰返し数) を占め、1 行に収まりません", {std::to_string(width)}));
      if (width <= 0) continue;
      Span s{i, start[i], start[i] + width - 1};
      if (const std::size_t g = parent[i]; g != 0 && start[g] >= 1) {
        const long long end = start[g] + table[g].length - 1;
        if (s.from < start[g] || s.to > end)
          Fault('L', rows[i - 1], rule::kPastGroup,
                TrArgs("{1} バイト目がグループのレコード (項目通番 {2}, {3} バイト目) をはみ出します",
                       {Range(s.from, s.to), std::to_string(table[g].sequence), Range(start[g], end)}));
      }
      children[parent[i]].push_back(s);
    }
    for (auto& list : children) {
      std::stable_sort(list.begin(), list.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
      // The earlier item that reaches furthest, kept as the list is walked.
      const Span* before = list.empty() ? nullptr : &list[0];
      for (std::size_t k = 1; k < list.size(); ++k) {
        if (list[k].from <= before->to)
          Fault('L', rows[list[k].index - 1], rule::kOverlap,
                TrArgs("{1} バイト目が項目通番 {2} ({3} バイト目) と重なります",
                       {Range(list[k].from, list[k].to), std::to_string(table[before->index].sequence),
                        Range(before->from, before->to)}));
        if (list[k].to > before->to) before = &list[k];
      }
    }
  }

  std::vector<LayoutFault> faults;

 private:
  std::string category_, bpid_;
};

}  // namespace

std::vector<LayoutFault> CheckLayout(const std::string& category, const std::string& bpid,
                                     const std::vector<ItemFormat>& edi, const std::vector<ItemFormat>& local) {
  LayoutChecker c(category, bpid);
  c.Structure('E', edi);
  const bool localSound = c.Structure('L', local);
  c.EdiRules(edi, local);
  if (localSound) c.LocalRanges(local);
  return std::move(c.faults);
}

LayoutCheckResult CheckLayouts(Database& db, const FormatFilter& filter) {
  // Every format named anywhere: in a message group, a format row or a layout.
  std::set<std::pair<std::string, std::string>> formats, withFormatRow;
  auto collect = [&](const std::string& table, const std::string& categoryColumn, bool formatRow) {
    std::string sql = "SELECT DISTINCT " + categoryColumn + ", BPID FROM " + table;
    std::vector<Param> params;
    std::string where;
    if (filter.category) {
      where += categoryColumn + "=:" + std::to_string(params.size() + 1);
      params.emplace_back(*filter.category);
    }
    if (filter.bpid) {
      where += std::string(where.empty() ? "" : " AND ") + "BPID=:" + std::to_string(params.size() + 1);
      params.emplace_back(*filter.bpid);
    }
    if (!where.empty()) sql += " WHERE " + where;
    for (const Row& r : db.Query(sql, params)) {
      std::pair<std::string, std::string> key{r.at(0).value_or(""), r.at(1).value_or("")};
      formats.insert(key);
      if (formatRow) withFormatRow.insert(key);
    }
  };
  collect("FL1916メッセージグループ情報マスタ", "情報区分", false);
  collect("FL1902フォーマット情報マスタ", "情報区分コード", true);
  collect("FL1903レコードフォーマット情報マスタ", "情報区分コード", false);

  LayoutCheckResult result;
  DatabaseMasters masters(db);
  for (const auto& [category, bpid] : formats) {
    ++result.formats;
    auto formatFault = [&](const char* rule, const std::string& message) {
      result.faults.push_back({category, bpid, ' ', 0, "", rule, message});
    };
    if (!withFormatRow.count({category, bpid}))
      formatFault(rule::kNoFormat, Tr("FL1902フォーマット情報マスタの行がありません: 変換は 0002 で止まります"));
    std::vector<ItemFormat> edi, local;
    try {
      edi = masters.FindItems('E', category, bpid);
      local = masters.FindItems('L', category, bpid);
    } catch (const DatabaseError& e) {
      formatFault(rule::kUnreadable, TrArgs("レイアウトを読めません: {1} (数値の列が空か大きすぎます)", {e.what()}));
      continue;
    }
    result.items += static_cast<int>(edi.size() + local.size());
    if (edi.empty()) formatFault(rule::kNoFormat, Tr("'E' 項目がありません: 変換は 0003 で止まります"));
    if (local.empty()) formatFault(rule::kNoFormat, Tr("'L' 項目がありません: 変換は 0004 で止まります"));
    if (edi.empty() || local.empty()) continue;
    for (LayoutFault& f : CheckLayout(category, bpid, edi, local)) result.faults.push_back(std::move(f));
  }
  return result;
}

}  // namespace edi::cii
