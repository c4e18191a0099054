#include "cii/message_plan.h"

#include <algorithm>

#include "cii/field_conversion.h"
#include "cii/format.h"
#include "cii/message_writer.h"

namespace edi::cii {

void MapEdiToLocal(TranslationState& state) {
  const ItemTable& e = state.ediItems;
  const ItemTable& l = state.localItems;
  state.ediToLocal.assign(e.size() + 1, 0);
  for (std::size_t i = 1; i <= e.size(); ++i)
    for (std::size_t j = 1; j <= l.size(); ++j)
      if (l[j].counterpart == e[i].sequence) {
        state.ediToLocal[i] = j;
        break;
      }
}

namespace {

TagBytes TagOf(long long itemNo, bool extended) {
  std::string bytes;
  TagBytes tag;
  if (!AppendTag(bytes, itemNo, extended)) return tag;
  std::copy(bytes.begin(), bytes.end(), tag.bytes);
  tag.size = static_cast<unsigned char>(bytes.size());
  return tag;
}

}  // namespace

void MessagePlan::Prepare(const TranslationState& state) {
  const ItemTable& E = state.ediItems;
  const ItemTable& L = state.localItems;
  const bool mapped = state.ediToLocal.size() == E.size() + 1;
  items.assign(E.size() + 1, ItemPlan{});
  for (std::size_t i = 1; i <= E.size(); ++i) {
    const ItemFormat& item = E[i];
    ItemPlan& p = items[i];
    p.level = item.level;
    p.needsExtended = item.itemNo > kMaxOneByteTag;
    if (item.isGroup()) {
      p.group = true;
      p.repeats = item.repeats();
      p.placed = L.has(static_cast<long long>(i));
      p.repetitionLength = p.placed ? L[i].length : 0;
      p.groupStart[0] = GroupStartFor(item.multiDetail, false);
      p.groupStart[1] = GroupStartFor(item.multiDetail, true);
      continue;
    }
    std::size_t li = mapped ? state.ediToLocal[i] : 0;
    if (!mapped)
      for (std::size_t j = 1; j <= L.size() && li == 0; ++j)
        if (L[j].counterpart == item.sequence) li = j;
    if (li == 0) continue;
    const ItemFormat& local = L[li];
    p.tag = TagOf(item.itemNo, false);
    p.extendedTag = TagOf(item.itemNo, true);
    p.local = li;
    p.position = local.positionNumber();
    p.count = local.length;
    if ((item.attribute == "N" || item.attribute == "9") && local.decimals != 0) ++p.count;
    p.rule = ValueRuleOf(item.attribute);
    p.ediLength = item.length;
    p.ediDecimals = item.decimals;
    p.localLength = local.length;
  }
  // Per group item: where its members end, the lowest position of a member's field, and
  // the fewest bytes that a repetition whose fields are all empty writes besides its
  // separator (a member group writes at least its end byte; a member that has a value for
  // empty bytes, its tag, length and value).
  groups.assign(E.size() + 1, GroupPlan{});
  std::string value;
  for (std::size_t i = 1; i <= E.size(); ++i) {
    if (!E[i].isGroup()) continue;
    GroupPlan& g = groups[i];
    std::size_t j = i + 1;
    for (; j <= E.size() && E[j].level > E[i].level; ++j) {
      if (E[j].isGroup()) {
        g.emptyBytes += 1;
      } else if (items[j].local != 0) {
        EditValueForEdi(E[j], L[items[j].local], std::string_view(), state.header.code16(), value);
        if (!value.empty()) g.emptyBytes += value.size() + 2;
        if (items[j].count > 0) g.lowestPosition = std::min(g.lowestPosition, items[j].position);
      }
    }
    g.end = j;
  }
}

}  // namespace edi::cii
