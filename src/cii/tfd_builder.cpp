#include "cii/tfd_builder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "app/text.h"
#include "cii/codes.h"
#include "cii/field_conversion.h"
#include "cii/format.h"
#include "cii/message_writer.h"
#include "cii/value_rule.h"

namespace edi::cii {

namespace {

// The most TFD bytes a message can hold (its long-form stream counts 17 bytes more).
constexpr std::size_t kMaxTfdBytes = static_cast<std::size_t>(kMaxLongStream) - kLongPrefix;

// a + b (b ≥ 0), held at kFar once it is beyond any line, so that the positions of
// repetitions of absurd repeat counts neither overflow nor wrap round into the line.
constexpr long long kFar = 1LL << 60;
long long AddFar(long long a, long long b) { return a > kFar - b ? kFar : a + b; }

}  // namespace

// True when, in the repetition of the group that is about to start and in every one after
// it, every member's field lies beyond the end of the line (later repetitions lie further on
// still): all their fields are empty.
bool TfdBuilder::LaterRepetitionsBeyondLine(const OpenGroup& group, std::size_t lineSize) const {
  const long long lowest = plan_->groups[group.item].lowestPosition;
  if (lowest == LLONG_MAX) return true;
  return !group.broken && AddFar(lowest, group.offset) > static_cast<long long>(lineSize);
}

namespace {

// The message's TFD bytes, written into the builder's buffer: the buffer's string is kept as
// large as the room it has (so a write is a store after one room check, not an append with
// its own checks and no byte is cleared twice) and only grows.
class TfdOut {
 public:
  explicit TfdOut(std::string& buffer) : s_(buffer), p_(buffer.data()) {}
  TfdOut(const TfdOut&) = delete;
  TfdOut& operator=(const TfdOut&) = delete;

  std::size_t size() const { return used_; }
  bool empty() const { return used_ == 0; }
  char& back() { return p_[used_ - 1]; }
  std::string_view view() const { return std::string_view(p_, used_); }
  // Room for n more bytes; the pointer returned stays valid until the next Room.
  char* Room(std::size_t n) {
    if (s_.size() - used_ < n) [[unlikely]] Grow(n);
    return p_ + used_;
  }
  void Wrote(std::size_t n) { used_ += n; }
  void Put(char c) {
    *Room(1) = c;
    ++used_;
  }
  void Fill(std::size_t n, char c) {
    std::memset(Room(n), c, n);
    used_ += n;
  }
  void Append(std::string_view bytes) {
    std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
    used_ += bytes.size();
  }

 private:
  [[gnu::noinline]] void Grow(std::size_t n) {
    s_.resize(std::max({s_.size() * 2, used_ + n, std::size_t{4096}}));
    p_ = s_.data();
  }
  std::string& s_;
  char* p_;
  std::size_t used_ = 0;
};

// Copies n ≤ 16 bytes with at most two loads and stores of each width, reading and writing
// only within the n bytes (the usual value is a few bytes long: a call to memcpy would cost
// more than the copy).
inline void CopySmall(char* to, const char* from, std::size_t n) {
  if (n >= 8) {
    std::uint64_t a, b;
    std::memcpy(&a, from, 8);
    std::memcpy(&b, from + n - 8, 8);
    std::memcpy(to, &a, 8);
    std::memcpy(to + n - 8, &b, 8);
  } else if (n >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, from, 4);
    std::memcpy(&b, from + n - 4, 4);
    std::memcpy(to, &a, 4);
    std::memcpy(to + n - 4, &b, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

// Appends a data element (tag, length, value), a small one with plain stores.
bool AppendElement(TfdOut& tfd, const TagBytes& tag, std::string_view value) {
  constexpr std::size_t kSmall = 16;
  if (value.size() <= kSmall) {
    char* to = tfd.Room(sizeof tag.bytes + 1 + kSmall);
    std::memcpy(to, tag.bytes, sizeof tag.bytes);  // all three: one move, the unused ones overwritten
    to[tag.size] = static_cast<char>(value.size());
    CopySmall(to + tag.size + 1, value.data(), value.size());
    tfd.Wrote(tag.size + 1 + value.size());
    return true;
  }
  tfd.Append(std::string_view(tag.bytes, tag.size));
  if (value.size() <= kMaxOneByteLength) {
    tfd.Put(static_cast<char>(value.size()));
  } else {
    std::string length;
    if (!AppendLength(length, value.size())) return false;
    tfd.Append(length);
  }
  tfd.Append(value);
  return true;
}

}  // namespace

int TfdBuilder::Build(const MessagePlan& messagePlan, const TranslationState& state, std::string_view data,
                      std::string& tfdBytes, ItemObserver* observer) {
  const int code = Build(messagePlan, state, data, observer);
  tfdBytes.assign(tfd_);
  return code;
}

int TfdBuilder::Build(const MessagePlan& messagePlan, const TranslationState& state, std::string_view data,
                      ItemObserver* observer) {
  plan_ = &messagePlan;
  const std::vector<ItemPlan>& steps = messagePlan.items;
  const ItemTable& E = state.ediItems;
  const ItemTable& L = state.localItems;
  const std::size_t itemCount = steps.size() - 1;
  const char code16 = state.header.code16();
  TfdOut tfd(buffer_);
  // The message's bytes as they stand, on every way out.
  struct Done {
    TfdOut& out;
    std::string_view& tfd;
    ~Done() { tfd = out.view(); }
  } done{tfd, tfd_};
  line_.Reset(data);
  std::vector<OpenGroup>& open = open_;
  open.assign(1, OpenGroup{});  // open[0] stands for the message's top level
  std::size_t depth = 0;
  bool extended = false;
  std::size_t i = 1;
  for (;;) {
    const int level = i <= itemCount ? steps[i].level : 0;
    // Finish the groups deeper than the next item allows; a group with repetitions left
    // starts its next repetition at its first member.
    bool restarted = false;
    while (depth > static_cast<std::size_t>(level)) {
      OpenGroup& g = open[depth];
      const ItemPlan& groupStep = steps[g.item];
      const int repeats = groupStep.repeats;
      if (g.repetition < repeats) {
        ++g.repetition;
        g.offset = AddFar(g.offset, groupStep.repetitionLength);
        g.broken = g.broken || !groupStep.placed;
        if (g.repetitionHasData) {
          tfd.Put(static_cast<char>(kNextRepeat));
          open[depth - 1].repetitionHasData = true;
        } else {
          ++g.owedSeparators;
        }
        g.repetitionHasData = false;
        // A message that has outgrown the format stops here, whatever the repeat count.
        if (tfd.size() > kMaxTfdBytes) return kCodeTooLong;
        // Repetitions beyond the end of the line are empty. When an empty one writes nothing,
        // only the last is walked, for the group's closing bytes (the separators the others
        // would owe are never written); when each writes bytes, and all of them together
        // cannot fit in a message, the message is too long now rather than after the walk.
        if (g.repetition < repeats && LaterRepetitionsBeyondLine(g, data.size())) {
          const std::size_t perRepetition = plan_->groups[g.item].emptyBytes;
          const auto left = static_cast<unsigned long long>(repeats - g.repetition + 1);
          if (perRepetition == 0) {
            g.offset = AddFar(open[depth - 1].offset, static_cast<long long>(repeats - 1) * groupStep.repetitionLength);
            g.repetition = repeats;
          }
          else if (left > (kMaxTfdBytes - std::min(tfd.size(), kMaxTfdBytes)) / (perRepetition + 1)) return kCodeTooLong;
        }
        i = g.item + 1;
        restarted = true;
        break;
      }
      if (g.repetitionHasData || !g.groupHasData || tfd.empty() ||
          static_cast<unsigned char>(tfd.back()) != kNextRepeat)
        tfd.Put(static_cast<char>(kGroupEnd));
      else
        tfd.back() = static_cast<char>(kGroupEnd);  // the separator after the last repetition with data
      --depth;
    }
    if (restarted) continue;
    if (i > itemCount) break;

    const ItemPlan& plan = steps[i];
    if (plan.level < 0 || static_cast<std::size_t>(plan.level) != depth) return kCodeBadItemTable;
    if (plan.group) {
      // A nested group is written in every repetition of its parent, so the parent's owed
      // separators go before it and the parent's repetition counts as written.
      OpenGroup& parent = open[depth];
      if (depth > 0) {
        tfd.Fill(static_cast<std::size_t>(parent.owedSeparators), static_cast<char>(kNextRepeat));
        parent.owedSeparators = 0;
        parent.repetitionHasData = true;
        parent.groupHasData = true;
      }
      const GroupStartBytes& start = plan.groupStart[extended ? 1 : 0];
      if (start.result != GroupStartResult::Ok) return kCodeBadMultiDetail;
      tfd.Append(std::string_view(start.bytes, start.size));
      extended = start.extendedAfter;
      depth = static_cast<std::size_t>(plan.level) + 1;
      if (open.size() <= depth) open.resize(depth + 1);
      open[depth] = OpenGroup{i};
      open[depth].offset = open[depth - 1].offset;
      open[depth].broken = open[depth - 1].broken;
      ++i;
      continue;
    }

    if (plan.needsExtended && !extended) {
      tfd.Put(static_cast<char>(kExtendedTags));
      extended = true;
    }
    if (plan.local == 0) {
      if (observer) observer->OnItem(ItemTrace{i, 0, 0, 0, {}, {}, {}, {}, Repetitions(depth)});
      ++i;
      continue;
    }
    OpenGroup& here = open[depth];
    if (here.broken) return kCodeBadItemTable;
    const long long position = here.offset == 0 ? plan.position : AddFar(plan.position, here.offset);
    // The value's bytes (never half a character); a position outside the line gives an
    // empty value.
    std::string_view extracted;
    if (plan.count > 0 && position >= 1 && static_cast<unsigned long long>(position) <= data.size())
      extracted = line_.Field(static_cast<std::size_t>(position - 1), static_cast<std::size_t>(plan.count), field_);
    const std::string_view value = EditItemValue(plan, E[i], L[plan.local], extracted, code16, value_);
    if (value.empty()) {
      if (observer)
        observer->OnItem(ItemTrace{i, plan.local, position, plan.count, extracted, {}, {}, {}, Repetitions(depth)});
      ++i;
      continue;
    }
    here.repetitionHasData = true;
    if (here.owedSeparators != 0) {
      tfd.Fill(static_cast<std::size_t>(here.owedSeparators), static_cast<char>(kNextRepeat));
      here.owedSeparators = 0;
    }
    here.groupHasData = true;
    const TagBytes& tag = extended ? plan.extendedTag : plan.tag;
    if (tag.size == 0) return kCodeBadTag;
    const std::size_t elementStart = tfd.size();
    if (!AppendElement(tfd, tag, value)) return kCodeTooLong;
    if (observer) {
      const std::string_view element = tfd.view().substr(elementStart);
      observer->OnItem(ItemTrace{i, plan.local, position, plan.count, extracted, value, element,
                                 element.substr(0, tag.size), Repetitions(depth)});
    }
    ++i;
  }
  return 0;
}

}  // namespace edi::cii
