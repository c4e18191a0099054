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
#include "cii/layout_loader.h"
#include "cii/line_reader.h"
#include "cii/message_header.h"
#include "cii/message_plan.h"
#include "cii/message_writer.h"
#include "cii/ordered_work.h"
#include "cii/output_stream.h"
#include "cii/sjis.h"
#include "cii/tfd_builder.h"

namespace edi::cii {

namespace {

constexpr std::size_t kKeyBytes = kLocalKeyBytes;

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
      const int code = w.builder.Build(current_.plan, ctx_.state, line);
      c.codes.push_back(code);
      if (code != 0) return;
      c.tfds += w.builder.Tfd();
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
    std::string fields = GroupKeyBytes(key);
    auto known = headers_.find(fields);
    if (known != headers_.end()) {
      st.infoCategory = known->second.category;
      return &known->second;
    }
    GroupKeyFields keyFields = ReadGroupKey(key);
    const std::string& category = keyFields.category;
    st.infoCategory = category;
    auto row = ctx_.masters.FindMessageGroup(keyFields.partner, keyFields.own, category);
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
    std::string detail;
    if (int code = LoadCompiledLayout(ctx_.masters, category, bpid, st, current_.plan, current_.recordLength, detail))
      return Stop(code, detail);
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
  OutputFileStream out;
  out.open(ciiPath, std::ios::binary | std::ios::app);
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
