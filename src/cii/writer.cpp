#include "cii/writer.h"

#include <fstream>

#include "app/database.h"
#include "app/text.h"
#include "cii/codes.h"
#include "cii/field_conversion.h"
#include "cii/line_reader.h"
#include "cii/message_writer.h"
#include "cii/sjis.h"

namespace edi::cii {

namespace {

constexpr std::size_t kKeyBytes = 39;

// Per open group of the message being built.
struct OpenGroup {
  std::size_t item = 0;     // index of the group item in the 'E' table
  int repetition = 1;
  bool repetitionHasData = false;
  bool groupHasData = false;
  int owedSeparators = 0;
};

std::string TwoDigits(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", ((v % 100) + 100) % 100);
  return b;
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
  h.SetField(hdr::kCreated, 12,
             TwoDigits(now.tm_year) + TwoDigits(now.tm_mon + 1) + TwoDigits(now.tm_mday) + TwoDigits(now.tm_hour) +
                 TwoDigits(now.tm_min) + TwoDigits(now.tm_sec));
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

int BuildMessageTfd(const TranslationState& state, std::string_view data, std::string& tfd) {
  const ItemTable& E = state.ediItems;
  const ItemTable& L = state.localItems;
  const bool mapped = state.ediToLocal.size() == E.size() + 1;
  const char code16 = state.header.code16();
  tfd.clear();
  std::vector<OpenGroup> open(1);  // open[0] stands for the message's top level
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
      ++g.repetition;
      if (g.repetition <= E[g.item].repeats()) {
        if (g.repetitionHasData) {
          tfd += static_cast<char>(kNextRepeat);
          open[depth - 1].repetitionHasData = true;
        } else {
          ++g.owedSeparators;
        }
        g.repetitionHasData = false;
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
      ++i;
      continue;
    }

    if (item.itemNo > kMaxOneByteTag && !extended) {
      tfd += static_cast<char>(kExtendedTags);
      extended = true;
    }
    std::size_t li = mapped ? state.ediToLocal[i] : 0;
    if (!mapped)
      for (std::size_t j = 1; j <= L.size() && li == 0; ++j)
        if (L[j].counterpart == item.sequence) li = j;
    if (li == 0) {
      ++i;
      continue;
    }
    const ItemFormat& local = L[li];
    long long position = local.positionNumber();
    for (std::size_t k = 1; k <= depth; ++k) {
      if (open[k].repetition <= 1) continue;
      if (!L.has(static_cast<long long>(open[k].item))) return kCodeBadItemTable;
      position += static_cast<long long>(open[k].repetition - 1) * L[open[k].item].length;
    }
    long long count = local.length;
    if ((item.attribute == "N" || item.attribute == "9") && local.decimals != 0) ++count;
    std::string extracted = count > 0 ? MidBytes(data, position, count) : std::string();
    std::string value = EditValueForEdi(item, local, extracted, code16);
    if (value.empty()) {
      ++i;
      continue;
    }
    OpenGroup& here = open[depth];
    here.repetitionHasData = true;
    tfd.append(static_cast<std::size_t>(here.owedSeparators), static_cast<char>(kNextRepeat));
    here.owedSeparators = 0;
    here.groupHasData = true;
    if (!AppendTag(tfd, item.itemNo, extended)) return kCodeBadTag;
    if (!AppendLength(tfd, value.size())) return kCodeTooLong;
    tfd += value;
    ++i;
  }
  return 0;
}

namespace {

class LocalToCii {
 public:
  LocalToCii(TranslationContext& ctx, std::ofstream& out) : ctx_(ctx), out_(out) {}

  // Step 4: the masters of a new group and its header block. false: stopped (logged).
  bool StartGroup(const std::string& key) {
    TranslationState& st = ctx_.state;
    const std::string category = FromAnsiBytes(key.substr(5, 4));
    const std::string own = FromAnsiBytes(key.substr(15, 12));
    const std::string partner = FromAnsiBytes(key.substr(27, 12));
    st.infoCategory = category;
    try {
      auto group = ctx_.masters.FindMessageGroup(partner, own, category);
      if (!group) return Stop(kCodeNoMessageGroup);
      st.bpid = group->bpid;
      st.storageMode = group->storageMode;
      FillHeaderRecord(st.header, *group, ctx_.clock());
      auto format = ctx_.masters.FindFormat(category, st.bpid);
      if (!format) return Stop(kCodeNoFormat);
      st.format = *format;
      st.xmlCharCode = format->xmlCharCode;
      auto edi = ctx_.masters.FindItems('E', category, st.bpid);
      if (edi.empty()) return Stop(kCodeNoEdiItems);
      if (auto bad = LoadItemFormats(st.ediItems, std::move(edi))) return Stop(kCodeBadItemTable, "E " + *bad);
      auto local = ctx_.masters.FindItems('L', category, st.bpid);
      if (local.empty()) return Stop(kCodeNoLocalItems);
      if (auto bad = LoadItemFormats(st.localItems, std::move(local))) return Stop(kCodeBadItemTable, "L " + *bad);
    } catch (const DatabaseError& e) {
      return Stop(kCodeDatabase, e.what());
    }
    // A storage mode without a block size would drop every message of the group.
    if (BlockSizeFor(st.header.storageMode()) == 0) return Stop(kCodeBadStorageMode);
    MapEdiToLocal(st);
    recordLength_ = LocalRecordLength(st.localItems);
    out_ << HeaderBlock(st.header);
    if (!out_) return Stop(kCodeWriteFailed);
    messages_ = 0;
    return true;
  }

  // Step 5: one line's message. false: stopped.
  bool Message(std::string_view data) {
    // A line shorter than its layout (trailing spaces trimmed by some exporter, say) is still
    // converted: the items beyond its end are empty. The log names the line so it can be checked.
    if (static_cast<long long>(data.size()) < recordLength_)
      ctx_.log.WriteTranslationLog(kCodeShortLine, "-" + std::to_string(messages_ + 1), true);
    if (++messages_ > kMaxMessageNumber) return Stop(kCodeTooManyMessages);
    int code = BuildMessageTfd(ctx_.state, data, tfd_);
    if (code != 0) return Stop(code);
    std::string stream = BuildMessageStream(messages_, tfd_);
    if (stream.empty()) return Stop(kCodeTooLong);
    WriteMessageBlocks(out_, stream, ctx_.state.header.storageMode());
    if (!out_) return Stop(kCodeWriteFailed);
    return true;
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
  TranslationContext& ctx_;
  std::ofstream& out_;
  long long recordLength_ = 0;
  int messages_ = 0;
  std::string tfd_;
};

}  // namespace

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
  for (;;) {
    LineReader::Result r = lines.Next(line);
    if (r == LineReader::Result::End) break;
    if (r == LineReader::Result::TooLong) {
      writer.Stop(kCodeTooLong);
      return;
    }
    if (r == LineReader::Result::Failed) {
      writer.Stop(kCodeInputMissing);
      return;
    }
    if (line.find_first_not_of(' ') == std::string::npos) continue;  // blank lines are not messages
    if (line.size() < kKeyBytes || !IsSingleByteText(std::string_view(line).substr(0, kKeyBytes))) {
      writer.Stop(kCodeBadKey);
      return;
    }
    if (!IsWellFormedShiftJis(line)) {
      writer.Stop(kCodeBadShiftJis);
      return;
    }
    std::string key = line.substr(0, kKeyBytes);
    if (!groupOpen || key != previousKey) {
      if (groupOpen && !writer.Trailer()) return;
      groupOpen = true;
      previousKey = key;
      if (!writer.StartGroup(key)) return;
    }
    if (!writer.Message(std::string_view(line).substr(kKeyBytes))) return;
  }
  if (groupOpen && !writer.Trailer()) return;
  out.flush();
  if (!out) writer.Stop(kCodeWriteFailed);
}

}  // namespace edi::cii
