#include "cii/writer.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <map>
#include <utility>

#include "app/database.h"
#include "app/text.h"
#include "cii/codes.h"
#include "cii/field_conversion.h"
#include "cii/line_reader.h"
#include "cii/message_writer.h"
#include "cii/ordered_work.h"
#include "cii/sjis.h"

namespace edi::cii {

namespace {

constexpr std::size_t kKeyBytes = kLocalKeyBytes;
// The most TFD bytes a message can hold (its long-form stream counts 17 bytes more).
constexpr std::size_t kMaxTfdBytes = static_cast<std::size_t>(kMaxLongStream) - kLongPrefix;

// Per open group of the message being built.
struct OpenGroup {
  std::size_t item = 0;     // index of the group item in the 'E' table
  int repetition = 1;
  bool repetitionHasData = false;
  bool groupHasData = false;
  int owedSeparators = 0;
  // What the open repetitions of this level and those around it add to a member's position:
  // for every level, (repetition − 1) × the local length of its group. broken: a level in a
  // later repetition has no 'L' item for its group (its members cannot be placed).
  long long offset = 0;
  bool broken = false;
};

// The creation time, yymmddhhnnss, into header bytes 115–126.
void SetCreationTime(CiiHeaderRecord& h, const std::tm& now) {
  const int parts[6] = {now.tm_year, now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec};
  for (int k = 0; k < 6; ++k) {
    const int v = ((parts[k] % 100) + 100) % 100;
    h.bytes[hdr::kCreated + 2 * k] = static_cast<char>('0' + v / 10);
    h.bytes[hdr::kCreated + 2 * k + 1] = static_cast<char>('0' + v % 10);
  }
}

}  // namespace

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

void FillHeaderRecord(CiiHeaderRecord& h, const MessageGroupInfo& info, const std::tm& now) {
  auto set = [&](std::size_t offset, std::size_t length, const std::string& utf8) {
    h.SetField(offset, length, ToAnsiBytes(utf8));
  };
  // Byte 0 holds the first character of 運用モード; an empty one (or one that is not a
  // single-byte character) leaves a space.
  std::string mode = ToAnsiBytes(info.operationMode);
  h.bytes[hdr::kOperationMode] =
      (!mode.empty() && IsSingleByteChar(static_cast<unsigned char>(mode[0]))) ? mode[0] : ' ';
  set(hdr::kSenderVan, 12, info.senderVan);
  set(hdr::kSenderCenter, 12, info.senderCenter);
  set(hdr::kSender, 12, info.sender);
  set(hdr::kReceiverVan, 12, info.receiverVan);
  set(hdr::kReceiverCenter, 12, info.receiverCenter);
  set(hdr::kReceiver, 12, info.receiver);
  std::string bpid = ToAnsiBytes(info.bpid);
  h.SetField(73, 4, MidBytes(bpid, 1, 4));
  h.SetField(77, 2, MidBytes(bpid, 5, 2));
  h.SetField(79, 2, MidBytes(bpid, 7, 2));
  h.SetField(81, 12, "");
  set(hdr::kInfoCategory, 4, info.infoCategory);
  h.SetField(97, 6, "");
  if (info.storageMode == "M") h.SetField(hdr::kStorageFlags, 2, "11");
  else if (info.storageMode == "S") h.SetField(hdr::kStorageFlags, 2, "10");
  set(hdr::kExchangeRef, 10, info.exchangeRef);
  SetCreationTime(h, now);
  h.SetField(127, 12, "");
  set(hdr::kSyntaxVersion, 6, info.syntaxVersion);
  h.bytes[hdr::kSyntaxMark] = 'E';
  set(hdr::kStorageMode, 1, info.storageMode);
  set(hdr::kCode8, 1, info.code8);
  set(hdr::kCode16, 1, info.code16);
  h.SetField(149, 11, "");
  set(hdr::kShortDisplay, 1, info.shortDisplay);
  set(161, 3, info.senderVanAgency);
  set(164, 3, info.senderCenterAgency);
  set(167, 3, info.senderAgency);
  set(170, 3, info.receiverVanAgency);
  set(173, 3, info.receiverCenterAgency);
  set(176, 3, info.receiverAgency);
  h.SetField(179, 70, "");
}

namespace {

// What the writer needs of each 'E' item, worked out once per set of item tables: the local
// item that feeds it, where its value starts in the first repetition and how many bytes it
// takes.
struct ItemPlan {
  std::size_t local = 0;   // index of the 'L' item (0: none, the item is skipped)
  long long position = 0;  // the 'L' item's 項目位置 as a number
  long long count = 0;     // its 長さ, plus 1 for the decimal point of a numeric item
  // The element's tag in one-byte and in extended mode (empty: no such tag, code 0006).
  std::string tag, extendedTag;
  bool text = false;  // 属性 "X": the value is the field without its surrounding spaces
};

// What building a message under one set of item tables needs besides the tables, worked out
// once when they are loaded; read-only while messages are built, by any thread.
struct MessagePlan {
  struct GroupPlan {
    std::size_t end = 0;          // index of the first item after the group's members
    std::size_t emptyBytes = 0;   // 0: a repetition of empty fields writes nothing
    long long lowestPosition = LLONG_MAX;  // LLONG_MAX: no member takes bytes from the line
  };
  std::vector<ItemPlan> items;   // per 'E' item, by index
  std::vector<GroupPlan> groups;  // per group item, by index

  void Prepare(const TranslationState& state) {
    const ItemTable& E = state.ediItems;
    const ItemTable& L = state.localItems;
    const bool mapped = state.ediToLocal.size() == E.size() + 1;
    items.assign(E.size() + 1, ItemPlan{});
    for (std::size_t i = 1; i <= E.size(); ++i) {
      const ItemFormat& item = E[i];
      if (item.isGroup()) continue;
      std::size_t li = mapped ? state.ediToLocal[i] : 0;
      if (!mapped)
        for (std::size_t j = 1; j <= L.size() && li == 0; ++j)
          if (L[j].counterpart == item.sequence) li = j;
      if (li == 0) continue;
      const ItemFormat& local = L[li];
      ItemPlan& p = items[i];
      if (!AppendTag(p.tag, item.itemNo, false)) p.tag.clear();
      if (!AppendTag(p.extendedTag, item.itemNo, true)) p.extendedTag.clear();
      p.local = li;
      p.position = local.positionNumber();
      p.count = local.length;
      if ((item.attribute == "N" || item.attribute == "9") && local.decimals != 0) ++p.count;
      p.text = item.attribute == "X";
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
};

// Builds the TFD bytes of messages under a plan, keeping its buffers from one message to the
// next. Each thread that builds messages has a builder of its own.
class TfdBuilder {
 public:
  int Build(const MessagePlan& plan, const TranslationState& state, std::string_view data, std::string& tfd,
            ItemObserver* observer = nullptr);

 private:
  // The repetition numbers of the open groups, outermost first (for an observer; valid until
  // the next call).
  std::span<const int> Repetitions(std::size_t depth) {
    repetitions_.clear();
    for (std::size_t k = 1; k <= depth; ++k) repetitions_.push_back(open_[k].repetition);
    return repetitions_;
  }
  bool LaterRepetitionsBeyondLine(const OpenGroup& group, std::size_t lineSize) const;

  const MessagePlan* plan_ = nullptr;  // of the message being built
  ShiftJisLine line_;
  std::string field_;
  std::vector<OpenGroup> open_;
  std::vector<int> repetitions_;
  std::string value_;
};

// a + b (b ≥ 0), held at kFar once it is beyond any line, so that the positions of
// repetitions of absurd repeat counts neither overflow nor wrap round into the line.
constexpr long long kFar = 1LL << 60;
long long AddFar(long long a, long long b) { return a > kFar - b ? kFar : a + b; }

// True when, in the repetition of the group that is about to start and in every one after
// it, every member's field lies beyond the end of the line (later repetitions lie further on
// still): all their fields are empty.
bool TfdBuilder::LaterRepetitionsBeyondLine(const OpenGroup& group, std::size_t lineSize) const {
  const long long lowest = plan_->groups[group.item].lowestPosition;
  if (lowest == LLONG_MAX) return true;
  return !group.broken && AddFar(lowest, group.offset) > static_cast<long long>(lineSize);
}

int TfdBuilder::Build(const MessagePlan& messagePlan, const TranslationState& state, std::string_view data,
                      std::string& tfd, ItemObserver* observer) {
  plan_ = &messagePlan;
  const ItemTable& E = state.ediItems;
  const ItemTable& L = state.localItems;
  const char code16 = state.header.code16();
  tfd.clear();
  line_.Reset(data);
  std::vector<OpenGroup>& open = open_;
  open.assign(1, OpenGroup{});  // open[0] stands for the message's top level
  std::size_t depth = 0;
  bool extended = false;
  std::size_t i = 1;
  for (;;) {
    const int level = i <= E.size() ? E[i].level : 0;
    // Finish the groups deeper than the next item allows; a group with repetitions left
    // starts its next repetition at its first member.
    bool restarted = false;
    while (depth > static_cast<std::size_t>(level)) {
      OpenGroup& g = open[depth];
      const int repeats = E[g.item].repeats();
      if (g.repetition < repeats) {
        ++g.repetition;
        const bool placed = L.has(static_cast<long long>(g.item));
        g.offset = AddFar(g.offset, placed ? L[g.item].length : 0);
        g.broken = g.broken || !placed;
        if (g.repetitionHasData) {
          tfd += static_cast<char>(kNextRepeat);
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
            const long long length = L.has(static_cast<long long>(g.item)) ? L[g.item].length : 0;
            g.offset = AddFar(open[depth - 1].offset, static_cast<long long>(repeats - 1) * length);
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
        tfd += static_cast<char>(kGroupEnd);
      else
        tfd.back() = static_cast<char>(kGroupEnd);  // the separator after the last repetition with data
      --depth;
    }
    if (restarted) continue;
    if (i > E.size()) break;

    const ItemFormat& item = E[i];
    if (item.level < 0 || static_cast<std::size_t>(item.level) != depth) return kCodeBadItemTable;
    if (item.isGroup()) {
      // A nested group is written in every repetition of its parent, so the parent's owed
      // separators go before it and the parent's repetition counts as written.
      OpenGroup& parent = open[depth];
      if (depth > 0) {
        tfd.append(static_cast<std::size_t>(parent.owedSeparators), static_cast<char>(kNextRepeat));
        parent.owedSeparators = 0;
        parent.repetitionHasData = true;
        parent.groupHasData = true;
      }
      if (AppendGroupStart(tfd, item.multiDetail, extended) != GroupStartResult::Ok) return kCodeBadMultiDetail;
      depth = static_cast<std::size_t>(item.level) + 1;
      if (open.size() <= depth) open.resize(depth + 1);
      open[depth] = OpenGroup{i};
      open[depth].offset = open[depth - 1].offset;
      open[depth].broken = open[depth - 1].broken;
      ++i;
      continue;
    }

    if (item.itemNo > kMaxOneByteTag && !extended) {
      tfd += static_cast<char>(kExtendedTags);
      extended = true;
    }
    const ItemPlan& plan = plan_->items[i];
    if (plan.local == 0) {
      if (observer) observer->OnItem(ItemTrace{i, 0, 0, 0, {}, {}, {}, {}, Repetitions(depth)});
      ++i;
      continue;
    }
    if (open[depth].broken) return kCodeBadItemTable;
    const long long position = AddFar(plan.position, open[depth].offset);
    // The value's bytes (never half a character); a position outside the line gives an
    // empty value.
    std::string_view extracted;
    if (plan.count > 0 && position >= 1 && static_cast<unsigned long long>(position) <= data.size())
      extracted = line_.Field(static_cast<std::size_t>(position - 1), static_cast<std::size_t>(plan.count), field_);
    // A text value is a part of the line as it stands: taken in place, not copied first.
    std::string_view value;
    if (plan.text) {
      value = TrimSpaceView(extracted);
    } else {
      EditValueForEdi(item, L[plan.local], extracted, code16, value_);
      value = value_;
    }
    if (value.empty()) {
      if (observer)
        observer->OnItem(ItemTrace{i, plan.local, position, plan.count, extracted, {}, {}, {}, Repetitions(depth)});
      ++i;
      continue;
    }
    OpenGroup& here = open[depth];
    here.repetitionHasData = true;
    tfd.append(static_cast<std::size_t>(here.owedSeparators), static_cast<char>(kNextRepeat));
    here.owedSeparators = 0;
    here.groupHasData = true;
    const std::string& tag = extended ? plan.extendedTag : plan.tag;
    if (tag.empty()) return kCodeBadTag;
    const std::size_t elementStart = tfd.size();
    tfd += tag;
    if (value.size() <= kMaxOneByteLength) tfd += static_cast<char>(value.size());
    else if (!AppendLength(tfd, value.size())) return kCodeTooLong;
    tfd += value;
    if (observer) {
      const std::string_view element = std::string_view(tfd).substr(elementStart);
      observer->OnItem(ItemTrace{i, plan.local, position, plan.count, extracted, value, element,
                                 element.substr(0, tag.size()), Repetitions(depth)});
    }
    ++i;
  }
  return 0;
}

}  // namespace

int BuildMessageTfd(const TranslationState& state, std::string_view data, std::string& tfd,
                    ItemObserver* observer) {
  MessagePlan plan;
  plan.Prepare(state);
  TfdBuilder builder;
  return builder.Build(plan, state, data, tfd, observer);
}

namespace {

// Lines of one key, after their key, and the messages built from them. Building stops at
// the first line that stops the file (a broken Shift_JIS line or a builder's code).
struct alignas(64) LineChunk {
  std::string data;                 // the lines one after another
  std::vector<std::size_t> ends;    // where each line ends in data
  std::string tfds;                 // the TFD bytes of the lines built, one after another
  std::vector<std::size_t> tfdEnds;
  std::vector<int> codes;           // the builder's code for each line built
  std::size_t broken = SIZE_MAX;    // the line whose Shift_JIS is broken (not built), if any

  std::size_t Lines() const { return ends.size(); }
  std::string_view Line(std::size_t k) const {
    const std::size_t from = k == 0 ? 0 : ends[k - 1];
    return std::string_view(data).substr(from, ends[k] - from);
  }
  std::string_view Tfd(std::size_t k) const {
    const std::size_t from = k == 0 ? 0 : tfdEnds[k - 1];
    return std::string_view(tfds).substr(from, tfdEnds[k] - from);
  }
  void Clear() {
    data.clear();
    ends.clear();
    tfds.clear();
    tfdEnds.clear();
    codes.clear();
    broken = SIZE_MAX;
    // A chunk that once held a very long line gives its memory back.
    if (data.capacity() > kReleaseBytes) std::string().swap(data);
    if (tfds.capacity() > kReleaseBytes) std::string().swap(tfds);
  }
  static constexpr std::size_t kReleaseBytes = 1 << 20;
};

// A chunk of this many bytes of lines goes to the helper thread; one at least this large
// (a few very long lines) is built in place instead, so that the chunks in flight stay small.
constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr std::size_t kInPlaceBytes = 512 * 1024;
constexpr std::size_t kChunksInFlight = 4;

// The item tables of one information category and BPID with what the writer derives from
// them. A file whose groups change between formats keeps the tables it has loaded, so that
// going back to a format costs no reload.
struct GroupLayout {
  FormatInfo format;
  ItemTable ediItems, localItems;
  std::vector<std::size_t> ediToLocal;
  MessagePlan plan;
  long long recordLength = 0;
};

// What one thread needs to build messages, kept apart from the other thread's so that
// neither writes into the cache lines of the other.
struct alignas(64) BuildWorker {
  TfdBuilder builder;
  std::string tfd;  // the TFD of the line being built
};

class LocalToCii {
 public:
  LocalToCii(TranslationContext& ctx, std::ofstream& out)
      : ctx_(ctx), out_(out), work_(kChunksInFlight, ctx.useHelperThread, [this](LineChunk& c, int worker) {
          BuildChunk(c, workers_[worker]);
        }) {}

  // Step 4: the masters of a new group and its header block. false: stopped (logged).
  bool StartGroup(std::string_view key) {
    TranslationState& st = ctx_.state;
    try {
      const GroupHeader* group = HeaderFor(key);
      if (!group) return false;
      st.bpid = group->bpid;
      st.storageMode = group->storageMode;
      // The group's fields and the time of now; bytes 103–104 stay as the last group left
      // them unless the storage mode sets them.
      CiiHeaderRecord header = group->header;
      if (!group->setsStorageFlags)
        std::copy_n(st.header.bytes.begin() + hdr::kStorageFlags, 2, header.bytes.begin() + hdr::kStorageFlags);
      SetCreationTime(header, ctx_.clock());
      st.header = header;
      if (!SelectLayout(st.infoCategory, st.bpid)) return false;
    } catch (const DatabaseError& e) {
      return Stop(kCodeDatabase, e.what());
    }
    // A storage mode without a block size would drop every message of the group.
    if (BlockSizeFor(st.header.storageMode()) == 0) return Stop(kCodeBadStorageMode);
    out_ << HeaderBlock(st.header);
    if (!out_) return Stop(kCodeWriteFailed);
    messages_ = 0;
    return true;
  }

  // Step 5: one line's message (its bytes after the key), converted now or kept in the
  // current chunk to be converted with the lines after it. false: stopped.
  bool Message(std::string_view data) {
    LineChunk& c = work_.Back();
    c.data.append(data);
    c.ends.push_back(c.data.size());
    if (c.data.size() < kChunkBytes) return true;
    if (c.data.size() >= kInPlaceBytes) return Flush();
    // A full chunk goes to the work queue; finished chunks are written as they come, and
    // a full queue is emptied by one before the next chunk is filled.
    work_.Add();
    while (LineChunk* done = work_.FrontIfDone())
      if (!TakeFront(*done)) return false;
    if (work_.Full() && !TakeFront(work_.Front())) return false;
    return true;
  }

  // Writes the messages of every line given so far, in order. false: stopped.
  bool Flush() {
    while (!work_.Empty())
      if (!TakeFront(work_.Front())) return false;
    LineChunk& c = work_.Back();
    if (c.Lines() == 0) return true;
    BuildChunk(c, workers_[0]);
    const bool ok = Take(c);
    c.Clear();
    return ok;
  }

  bool Trailer() {
    out_ << TrailerBlock(messages_);
    if (!out_) return Stop(kCodeWriteFailed);
    return true;
  }

  bool Stop(int code, const std::string& message = "") {
    ctx_.log.WriteTranslationLog(code, message, false);
    return false;
  }

 private:
  // The messages of a chunk's lines (in the calling thread or the helper's): the lines are
  // checked and built with the tables of the current group, which no one changes while
  // chunks are in flight.
  void BuildChunk(LineChunk& c, BuildWorker& w) {
    for (std::size_t k = 0; k < c.Lines(); ++k) {
      const std::string_view line = c.Line(k);
      if (!IsWellFormedShiftJis(line)) {
        c.broken = k;
        return;
      }
      const int code = w.builder.Build(current_.plan, ctx_.state, line, w.tfd);
      c.codes.push_back(code);
      if (code != 0) return;
      c.tfds += w.tfd;
      c.tfdEnds.push_back(c.tfds.size());
    }
  }

  // Writes a chunk's messages in line order: each line's log lines and checks come in the
  // order they would for the line alone. false: stopped.
  bool Take(const LineChunk& c) {
    for (std::size_t k = 0; k < c.Lines(); ++k) {
      if (k == c.broken) return Stop(kCodeBadShiftJis);
      // A line shorter than its layout (trailing spaces trimmed by some exporter, say) is
      // still converted: the items beyond its end are empty. The log names the line so it
      // can be checked.
      if (static_cast<long long>(c.Line(k).size()) < current_.recordLength)
        ctx_.log.WriteTranslationLog(kCodeShortLine, "-" + std::to_string(messages_ + 1), true);
      if (++messages_ > kMaxMessageNumber) return Stop(kCodeTooManyMessages);
      if (c.codes[k] != 0) return Stop(c.codes[k]);
      if (WriteMessage(out_, messages_, c.Tfd(k), ctx_.state.header.storageMode()) == MessageWriteResult::TooLong)
        return Stop(kCodeTooLong);
      if (!out_) return Stop(kCodeWriteFailed);
    }
    return true;
  }
  bool TakeFront(LineChunk& c) {
    if (!Take(c)) return false;
    c.Clear();
    work_.PopFront();
    return true;
  }

  using LayoutKey = std::pair<std::string, std::string>;  // 情報区分, BPID

  // What a message group row gives the header, read once per key in a call.
  struct GroupHeader {
    std::string category;        // 情報区分 of the key
    std::string bpid, storageMode;
    CiiHeaderRecord header;      // filled from the row; the creation time is set per group
    bool setsStorageFlags = false;
  };

  // The header values for the key's category, own company and partner (FL1916), remembered
  // for the rest of the call. Sets the state's category first, as a failed look-up leaves it.
  // nullptr: no row (logged).
  const GroupHeader* HeaderFor(std::string_view key) {
    TranslationState& st = ctx_.state;
    std::string fields;
    fields.reserve(28);
    fields.append(key.substr(5, 4)).append(key.substr(15, 12)).append(key.substr(27, 12));
    auto known = headers_.find(fields);
    if (known != headers_.end()) {
      st.infoCategory = known->second.category;
      return &known->second;
    }
    const std::string category = FromAnsiBytes(key.substr(5, 4));
    const std::string own = FromAnsiBytes(key.substr(15, 12));
    const std::string partner = FromAnsiBytes(key.substr(27, 12));
    st.infoCategory = category;
    auto row = ctx_.masters.FindMessageGroup(partner, own, category);
    if (!row) {
      Stop(kCodeNoMessageGroup);
      return nullptr;
    }
    GroupHeader g;
    g.category = category;
    g.bpid = row->bpid;
    g.storageMode = row->storageMode;
    FillHeaderRecord(g.header, *row, std::tm{});
    g.setsStorageFlags = row->storageMode == "M" || row->storageMode == "S";
    return &headers_.emplace(std::move(fields), std::move(g)).first->second;
  }

  // Makes the state hold the item tables of the category and BPID: those already loaded, a
  // set parked by an earlier group of this file, or a fresh load from the masters.
  bool SelectLayout(const std::string& category, const std::string& bpid) {
    TranslationState& st = ctx_.state;
    LayoutKey key{category, bpid};
    if (loaded_ && key == loadedKey_) return true;
    auto parked = parked_.find(key);
    if (parked != parked_.end()) {
      GroupLayout back = std::move(parked->second);
      parked_.erase(parked);
      if (loaded_) parked_.emplace(loadedKey_, TakeLayout());
      PutLayout(std::move(back));
      loadedKey_ = std::move(key);
      loaded_ = true;
      return true;
    }
    // A copy, not a move: a load that fails below leaves the state as it has always been left.
    if (loaded_) parked_.emplace(loadedKey_, CopyLayout());
    loaded_ = false;
    auto format = ctx_.masters.FindFormat(category, bpid);
    if (!format) return Stop(kCodeNoFormat);
    st.format = *format;
    st.xmlCharCode = format->xmlCharCode;
    auto edi = ctx_.masters.FindItems('E', category, bpid);
    if (edi.empty()) return Stop(kCodeNoEdiItems);
    if (auto bad = LoadItemFormats(st.ediItems, std::move(edi))) return Stop(kCodeBadItemTable, "E " + *bad);
    auto local = ctx_.masters.FindItems('L', category, bpid);
    if (local.empty()) return Stop(kCodeNoLocalItems);
    if (auto bad = LoadItemFormats(st.localItems, std::move(local))) return Stop(kCodeBadItemTable, "L " + *bad);
    MapEdiToLocal(st);
    current_.recordLength = LocalRecordLength(st.localItems);
    current_.plan.Prepare(st);
    loadedKey_ = std::move(key);
    loaded_ = true;
    return true;
  }

  // The state's tables and the derived values, moved out (TakeLayout) or copied (CopyLayout).
  GroupLayout TakeLayout() {
    TranslationState& st = ctx_.state;
    GroupLayout l;
    l.format = std::move(st.format);
    l.ediItems = std::move(st.ediItems);
    l.localItems = std::move(st.localItems);
    l.ediToLocal = std::move(st.ediToLocal);
    l.plan = std::move(current_.plan);
    l.recordLength = current_.recordLength;
    return l;
  }
  GroupLayout CopyLayout() const {
    const TranslationState& st = ctx_.state;
    GroupLayout l;
    l.format = st.format;
    l.ediItems = st.ediItems;
    l.localItems = st.localItems;
    l.ediToLocal = st.ediToLocal;
    l.plan = current_.plan;
    l.recordLength = current_.recordLength;
    return l;
  }
  void PutLayout(GroupLayout l) {
    TranslationState& st = ctx_.state;
    st.format = std::move(l.format);
    st.xmlCharCode = st.format.xmlCharCode;
    st.ediItems = std::move(l.ediItems);
    st.localItems = std::move(l.localItems);
    st.ediToLocal = std::move(l.ediToLocal);
    current_.plan = std::move(l.plan);
    current_.recordLength = l.recordLength;
  }

  struct Current {
    MessagePlan plan;
    long long recordLength = 0;
  };

  TranslationContext& ctx_;
  std::ofstream& out_;
  Current current_;
  bool loaded_ = false;  // the state holds the tables of loadedKey_, loaded during this call
  LayoutKey loadedKey_;
  std::map<LayoutKey, GroupLayout> parked_;
  std::map<std::string, GroupHeader> headers_;
  int messages_ = 0;
  // Worker 0 is this thread, 1 the helper; the helper's buffers are first filled (and so
  // allocated) in its own thread.
  BuildWorker workers_[2];
  // Declared last: destroyed first, so the helper thread stops before what it uses goes.
  OrderedWork<LineChunk> work_;
};

}  // namespace

LocalLineKind ClassifyLocalLine(std::string_view line) {
  if (line.find_first_not_of(' ') == std::string_view::npos) return LocalLineKind::Blank;
  if (line.size() < kKeyBytes || !IsSingleByteText(line.substr(0, kKeyBytes))) return LocalLineKind::NoKey;
  return LocalLineKind::Message;
}

void ConvertLocalToCii(TranslationContext& ctx, const std::filesystem::path& localPath,
                       const std::filesystem::path& ciiPath) {
  std::ifstream in(localPath, std::ios::binary);
  if (!in || std::filesystem::is_directory(localPath)) {
    ctx.log.WriteTranslationLog(kCodeInputMissing, "", false);
    return;
  }
  std::ofstream out(ciiPath, std::ios::binary | std::ios::app);
  if (!out) {
    ctx.log.WriteTranslationLog(kCodeOutputFailed, "", false);
    return;
  }
  LocalToCii writer(ctx, out);
  LineReader lines(in, kMaxLineBytes);
  std::string line, previousKey;
  bool groupOpen = false;
  // Whatever stops the file at a line comes after the messages of the lines before it.
  auto stopAfterEarlierLines = [&writer](int code) {
    if (writer.Flush()) writer.Stop(code);
  };
  for (;;) {
    LineReader::Result r = lines.Next(line);
    if (r == LineReader::Result::End) break;
    if (r == LineReader::Result::TooLong) return stopAfterEarlierLines(kCodeTooLong);
    if (r == LineReader::Result::Failed) return stopAfterEarlierLines(kCodeInputMissing);
    const LocalLineKind kind = ClassifyLocalLine(line);
    if (kind == LocalLineKind::Blank) continue;  // blank lines are not messages
    const std::string_view view(line);
    if (kind == LocalLineKind::NoKey) return stopAfterEarlierLines(kCodeBadKey);
    const std::string_view key = view.substr(0, kKeyBytes);
    if (!groupOpen || key != previousKey) {
      // A new group: the lines of the last one are written first, and this line is checked
      // before the group changes. The lines of a group are checked as their messages are built.
      if (!writer.Flush()) return;
      if (!IsWellFormedShiftJis(line)) {
        writer.Stop(kCodeBadShiftJis);
        return;
      }
      if (groupOpen && !writer.Trailer()) return;
      groupOpen = true;
      previousKey.assign(key);
      if (!writer.StartGroup(key)) return;
    }
    if (!writer.Message(view.substr(kKeyBytes))) return;
  }
  if (!writer.Flush()) return;
  if (groupOpen && !writer.Trailer()) return;
  out.flush();
  if (!out) writer.Stop(kCodeWriteFailed);
}

}  // namespace edi::cii
