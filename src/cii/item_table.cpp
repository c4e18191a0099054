#include "cii/item_table.h"

#include <climits>

#include "app/catalogue.h"

namespace edi::cii {

long long LeadingNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (LLONG_MAX - 9) / 10) break;  // absurdly long numbers stop growing
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

long long ItemFormat::positionNumber() const { return LeadingNumber(position); }

static bool IsNumericAttribute(const std::string& a) { return a == "N" || a == "9"; }

long long ItemFormat::localWidth() const {
  if (isGroup()) return static_cast<long long>(length) * repeats();
  return length + ((decimals != 0 && IsNumericAttribute(attribute)) ? 1 : 0);
}

namespace {

// Adds the closed group at depth d+1 into the group at depth d.
bool CloseInto(std::vector<ItemFormat>& items, const std::vector<std::size_t>& open, std::size_t d) {
  std::size_t parent = open[d], child = open[d + 1];
  if (parent == 0 || child == 0) return false;
  long long total = static_cast<long long>(items[parent - 1].length) +
                    static_cast<long long>(items[child - 1].length) * items[child - 1].repeats();
  if (total > INT_MAX) return false;
  items[parent - 1].length = static_cast<int>(total);
  return true;
}

}  // namespace

std::optional<std::string> LoadItemFormats(ItemTable& table, std::vector<ItemFormat> rows) {
  table.items_ = std::move(rows);
  auto& items = table.items_;
  auto fail = [&](std::size_t i, const std::string& why) -> std::optional<std::string> {
    items.clear();
    return TrArgs("{1} 番目の項目: {2}", {std::to_string(i), why});
  };
  // open[d]: index of the group item at depth d (1-based); entries 1..E, E = open.size() - 1.
  std::vector<std::size_t> open(2, 0);
  for (std::size_t i = 1; i <= items.size(); ++i) {
    ItemFormat& item = items[i - 1];
    if (item.level < 0 || item.level > kMaxItemLevel) return fail(i, Tr("レベルが範囲外です"));
    if (item.length < 0 || item.decimals < 0 || item.repeatCount < 0)
      return fail(i, Tr("長さ、小数部長さまたは繰返し数が負です"));
    if (item.isGroup()) {
      open.resize(static_cast<std::size_t>(item.level) + 2, 0);
      open[item.level + 1] = i;
      item.length = 0;
    }
    if (item.level != 0) {
      std::size_t depth = static_cast<std::size_t>(item.level);
      if (depth >= open.size() || open[depth] == 0)
        return fail(i, TrArgs("レベル {1} ですが、開いているグループがありません", {std::to_string(item.level)}));
      ItemFormat& parent = items[open[depth] - 1];
      long long total = static_cast<long long>(parent.length) + item.length + (item.decimals != 0 ? 1 : 0);
      if (total > INT_MAX) return fail(i, Tr("グループが長すぎます"));
      parent.length = static_cast<int>(total);
    }
    std::size_t next = i < items.size() ? static_cast<std::size_t>(std::max(items[i].level, 0)) : 0;
    std::size_t keep = std::max<std::size_t>(next, 1);
    std::size_t entries = open.size() - 1;
    if (i == items.size()) keep = 1;
    if (entries > keep) {
      for (std::size_t d = entries - 1; d >= keep; --d) {
        if (!CloseInto(items, open, d)) return fail(i, Tr("グループの親が開いていないか、長すぎます"));
        if (d == 1) break;
      }
      open.resize(keep + 1);
    }
  }
  return std::nullopt;
}

std::size_t FindLocalItemBySequence(const ItemTable& local, int sequence) {
  for (std::size_t i = 1; i <= local.size(); ++i)
    if (local[i].sequence == sequence) return i;
  return 0;
}

bool FindEdiItem(const ItemTable& edi, std::size_t& position, long long itemNo, int level) {
  for (std::size_t i = position == 0 ? 1 : position; i <= edi.size(); ++i) {
    const ItemFormat& item = edi[i];
    if (item.level < level) return false;
    // Group items carry a 項目№ too, but never stand for a data element.
    if (item.level == level && !item.isGroup() && item.itemNo == itemNo) {
      position = i;
      return true;
    }
  }
  return false;
}

std::optional<MultiDetailCode> EncodeMultiDetail(const std::string& multiDetail) {
  if (multiDetail.size() == 1 && multiDetail[0] >= '0' && multiDetail[0] <= '9')
    return MultiDetailCode{false, static_cast<unsigned char>(multiDetail[0])};
  if (multiDetail >= "A" && multiDetail <= "Z")
    return MultiDetailCode{false, static_cast<unsigned char>(multiDetail[0])};
  long long value = LeadingNumber(multiDetail);
  if (value >= 10 && value < 65536) return MultiDetailCode{true, static_cast<int>(value)};
  return std::nullopt;
}

namespace {
bool IsAllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

template <class Match>
bool FindGroup(const ItemTable& edi, std::size_t& position, int level, Match match) {
  for (std::size_t i = position == 0 ? 1 : position; i <= edi.size(); ++i) {
    const ItemFormat& item = edi[i];
    if (item.level < level) return false;
    if (item.level == level && item.isGroup() && match(item)) {
      position = i;
      return true;
    }
  }
  return false;
}
}  // namespace

bool FindEdiGroup(const ItemTable& edi, std::size_t& position, int level, const MultiDetailCode* code,
                  bool* byValue) {
  if (byValue) *byValue = false;
  if (code == nullptr) return FindGroup(edi, position, level, [](const ItemFormat&) { return true; });
  if (FindGroup(edi, position, level, [&](const ItemFormat& item) {
        auto encoded = EncodeMultiDetail(item.multiDetail);
        return encoded && *encoded == *code;
      }))
    return true;
  if (!FindGroup(edi, position, level, [&](const ItemFormat& item) {
        return IsAllDigits(item.multiDetail) && LeadingNumber(item.multiDetail) == code->value;
      }))
    return false;
  if (byValue) *byValue = true;
  return true;
}

bool FindEdiGroupByName(const ItemTable& edi, std::size_t& position, int level, const std::string& id) {
  const bool numeric = IsAllDigits(id) && id.size() <= 9;
  return FindGroup(edi, position, level, [&](const ItemFormat& item) {
    if (item.multiDetail == id) return true;
    return numeric && IsAllDigits(item.multiDetail) && LeadingNumber(item.multiDetail) == LeadingNumber(id);
  });
}

long long LocalRecordLength(const ItemTable& local) {
  // Walks the items keeping, per depth, the offset of the last repetition of each open group.
  long long longest = 0;
  std::vector<long long> spread(1, 0);  // spread[d]: extra offset of the deepest repetition at depth d
  for (std::size_t i = 1; i <= local.size(); ++i) {
    const ItemFormat& item = local[i];
    std::size_t depth = static_cast<std::size_t>(std::max(item.level, 0));
    if (spread.size() < depth + 1) spread.resize(depth + 1, spread.back());
    long long end = item.positionNumber() + spread[depth] + item.localWidth() - 1;
    longest = std::max(longest, end);
    if (item.isGroup()) {
      spread.resize(depth + 2);
      spread[depth + 1] = spread[depth] + static_cast<long long>(item.repeats() - 1) * item.length;
    }
  }
  return longest;
}

}  // namespace edi::cii
