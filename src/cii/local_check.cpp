#include "cii/local_check.h"

#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "cii/codes.h"
#include "cii/field_conversion.h"
#include "cii/format_io.h"
#include "cii/layout_loader.h"
#include "cii/line_reader.h"
#include "cii/sjis.h"
#include "cii/state.h"
#include "cii/tfd_builder.h"
#include "cii/translation_log.h"
#include "cii/writer.h"

namespace edi::cii {

namespace {

// The tables of one message group key, loaded and compiled by the writer's own loader.
struct Layout {
  std::string problem;  // not empty: the group cannot be converted
  std::string category, own, partner;
  TranslationState state;
  MessagePlan plan;
  long long recordLength = 0;
};

Layout LoadLayout(MasterSource& masters, std::string_view key) {
  Layout l;
  GroupKeyFields fields = ReadGroupKey(key);
  l.category = std::move(fields.category);
  l.own = std::move(fields.own);
  l.partner = std::move(fields.partner);
  try {
    auto group = masters.FindMessageGroup(l.partner, l.own, l.category);
    if (!group) {
      l.problem = TrArgs("相手先コード \"{1}\", 自社コード \"{2}\", 情報区分 \"{3}\" のメッセージグループマスタ (FL1916) がありません: 変換はここで止まります (0001)",
                         {l.partner, l.own, l.category});
      return l;
    }
    TranslationState& st = l.state;
    FillHeaderRecord(st.header, *group, std::tm{});
    st.bpid = group->bpid;
    st.infoCategory = l.category;
    const std::string format = "情報区分 \"" + l.category + "\", BPID \"" + st.bpid + "\"";
    std::string detail;
    switch (LoadCompiledLayout(masters, l.category, st.bpid, st, l.plan, l.recordLength, detail)) {
      case 0: break;
      case kCodeNoFormat:
        l.problem = TrArgs("{1} のフォーマット (FL1902) がありません: 変換はここで止まります (0002)", {format});
        break;
      case kCodeNoEdiItems:
        l.problem = TrArgs("{1} の '{2}' 項目 (FL1903) がありません: 変換はここで止まります ({3})", {format, "E", "0003"});
        break;
      case kCodeNoLocalItems:
        l.problem = TrArgs("{1} の '{2}' 項目 (FL1903) がありません: 変換はここで止まります ({3})", {format, "L", "0004"});
        break;
      default:
        l.problem = TrArgs("{1} の項目の並びが正しくありません ({2}。edi format check で確認できます): 0022",
                           {format, detail.substr(2)});
    }
  } catch (const DatabaseError& e) {
    l.problem = TrArgs("マスタを読めません: {1} (0030)", {e.what()});
  }
  return l;
}

// The lines of an in-house file as the writer reads them. visit(number, line) returns false
// to stop. Returns an error text when the file cannot be read.
template <class Visit>
std::string ReadLocalLines(const std::filesystem::path& file, Visit visit, long long& count, bool& tooLong) {
  std::ifstream in(file, std::ios::binary);
  if (!in || std::filesystem::is_directory(file)) return TrArgs("{1} を開けません", {file.string()});
  LineReader lines(in, kMaxLineBytes);
  std::string line;
  for (;;) {
    LineReader::Result r = lines.Next(line);
    if (r == LineReader::Result::End) return {};
    if (r == LineReader::Result::Failed) return TrArgs("{1} を読めません", {file.string()});
    ++count;
    if (r == LineReader::Result::TooLong) {
      tooLong = true;
      return {};
    }
    if (!visit(count, line)) return {};
  }
}

bool IsBlank(std::string_view line) { return line.find_first_not_of(' ') == std::string_view::npos; }

bool IsCalendarDate(std::string_view digits) {
  int year = 0, month = 0, day = 0;
  auto num = [&](std::size_t at, std::size_t n) { return std::stoi(std::string(digits.substr(at, n))); };
  if (digits.size() == 8) {
    year = num(0, 4);
    month = num(4, 2);
    day = num(6, 2);
  } else if (digits.size() == 6) {
    year = 2000 + num(0, 2);
    month = num(2, 2);
    day = num(4, 2);
  } else {
    return true;  // other lengths (a year and month, a time …) are only checked for digits
  }
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > days[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return !(month == 2 && day == 29 && !leap);
}

std::string Written(std::string_view value) {
  return value.empty() ? std::string(Tr("なし (項目を省きます)")) : "\"" + ShownBytes(value) + "\"";
}

// What the writer would silently change about one item's value; empty when nothing.
// broken is set when the value holds broken Shift_JIS (which stops the translation).
std::string ItemProblem(const ItemFormat& e, const ItemFormat& l, const ItemTrace& t, ShiftJisLine& line,
                        bool& broken) {
  const std::string_view raw = t.raw;
  const std::string& a = e.attribute;
  if (a == "N" || a == "9") {
    std::string digits;
    for (char c : raw)
      if (c != ' ') digits += c;
    if (digits.empty()) return {};
    std::size_t i = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
    bool point = false, any = false;
    for (; i < digits.size(); ++i) {
      if (digits[i] >= '0' && digits[i] <= '9') any = true;
      else if (digits[i] == '.' && !point) point = true;
      else break;
    }
    if (i < digits.size() || !any) return TrArgs("数値ではありません: 読めるところまで読みます。書く値: {1}", {Written(t.value)});
    if (l.decimals > 0 && !point)
      return TrArgs("レイアウトは小数部 {1} 桁ですが小数点がありません。書く値: {2}",
                    {std::to_string(l.decimals), Written(t.value)});
    const DecimalValue v = ParseDecimal(raw);
    if (v.fracDigits.size() > static_cast<std::size_t>(std::max(e.decimals, 0)))
      return TrArgs("小数部が EDI 項目の {1} 桁を超えます。切り捨てた値: {2}", {std::to_string(e.decimals), Written(t.value)});
    const std::string exact = ScaleAndFloor(v, e.decimals);
    const std::string written = t.value.empty() ? std::string("0") : std::string(t.value);
    if (written != exact)
      return TrArgs("桁数が EDI 項目の長さ {1} を超えます。書く値: {2}", {std::to_string(e.length), Written(t.value)});
    return {};
  }
  if (a == "Y") {
    const std::string_view trimmed = TrimSpaceView(raw);
    if (trimmed.empty() || trimmed.find_first_not_of('0') == std::string_view::npos) return {};  // no date
    if (!AllDigits(raw) || !IsCalendarDate(t.value))
      return TrArgs("日付ではありません。書く値: {1}", {Written(t.value)});
    return {};
  }
  if (a == "K" || a == "X" || a == "B") {
    const std::size_t from = static_cast<std::size_t>(t.position - 1);
    const std::size_t to = from + raw.size();
    if (!line.StartsCharacter(from)) return Tr("項目の始まりで2バイト文字が切れています");
    if (!line.StartsCharacter(to))
      return TrArgs("項目の終わり ({1} バイト目) で2バイト文字が切れています: その文字は完全には書かれません",
                    {std::to_string(kLocalKeyBytes + to)});
    if (FirstBrokenShiftJisByte(raw) != std::string_view::npos) {
      broken = true;
      return Tr("Shift_JIS として正しくありません: 変換はこの行で止まります (0027)");
    }
    if (a == "K") {
      const std::string wide = ToFullWidth(TrimSpaceView(raw));
      if (wide.size() > static_cast<std::size_t>(std::max(e.length, 0)))
        return TrArgs("全角にすると EDI 項目の長さ {1} を超えます ({2} バイト)。書く値: {3}",
                      {std::to_string(e.length), std::to_string(wide.size()), Written(t.value)});
    }
  }
  return {};
}

// Collects what the writer does with each item of one message. The entries own copies of
// the bytes (the trace's views point into the builder's buffers); a deque keeps them in place.
struct Recorder : ItemObserver {
  struct Entry {
    ItemTrace trace;
    std::string raw, value, element, tag;
    std::vector<int> repetitions;
  };
  std::deque<Entry> entries;
  void OnItem(const ItemTrace& t) override {
    Entry& e = entries.emplace_back(Entry{t, std::string(t.raw), std::string(t.value), std::string(t.element),
                                          std::string(t.tag), {t.repetitions.begin(), t.repetitions.end()}});
    e.trace.raw = e.raw;
    e.trace.value = e.value;
    e.trace.element = e.element;
    e.trace.tag = e.tag;
    e.trace.repetitions = e.repetitions;
  }
};

std::string ItemName(const Layout& layout, const ItemTrace& t) {
  const ItemFormat& e = layout.state.ediItems[t.ediIndex];
  if (t.localIndex != 0 && !layout.state.localItems[t.localIndex].name.empty())
    return layout.state.localItems[t.localIndex].name;
  return e.name;
}

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

// The layouts of the keys met so far. A file of ever new keys does not grow memory: past a
// few hundred keys the cache starts again.
class Layouts {
 public:
  explicit Layouts(MasterSource& masters) : masters_(masters), cached_(std::make_unique<CachedMasters>(masters)) {}
  const Layout& For(std::string_view key) {
    const std::string k = GroupKeyBytes(key);
    auto it = layouts_.find(k);
    if (it == layouts_.end()) {
      if (layouts_.size() >= kMaxKeys) {
        layouts_.clear();
        cached_ = std::make_unique<CachedMasters>(masters_);
      }
      it = layouts_.emplace(k, LoadLayout(*cached_, key)).first;
    }
    return it->second;
  }

 private:
  static constexpr std::size_t kMaxKeys = 256;
  MasterSource& masters_;
  std::unique_ptr<CachedMasters> cached_;
  std::map<std::string, Layout> layouts_;
};

using Report = std::function<void(LocalFinding&&)>;

// Judges each item of one line while the writer handles it, adding its findings.
class ItemJudge : public ItemObserver {
 public:
  ItemJudge(const Layout& layout, long long line, std::string_view data, const Report& report)
      : layout_(layout), lineNo_(line), report_(report) {
    line_.Reset(data);
  }
  void OnItem(const ItemTrace& t) override {
    if (t.localIndex == 0 || t.raw.empty()) return;  // no 'L' item, or beyond the line's end
    const ItemFormat& e = layout_.state.ediItems[t.ediIndex];
    std::string problem =
        ItemProblem(e, layout_.state.localItems[t.localIndex], t, line_, brokenReported);
    if (problem.empty()) return;
    report_({lineNo_, static_cast<long long>(kLocalKeyBytes) + t.position, e.itemNo, ItemName(layout_, t),
             std::string(t.raw), std::move(problem)});
  }
  bool brokenReported = false;

 private:
  const Layout& layout_;
  long long lineNo_;
  ShiftJisLine line_;  // where the line's characters start
  const Report& report_;
};

}  // namespace

std::string DisplayBytes(std::string_view b) {
  std::string out;
  static const char* digits = "0123456789ABCDEF";
  auto hex = [&](unsigned char c) {
    out += '<';
    out += digits[c >> 4];
    out += digits[c & 15];
    out += '>';
  };
  // One converter for the whole value (opening one costs more than converting a character).
  std::optional<AnsiCodec> codec;
  for (std::size_t i = 0; i < b.size(); ++i) {
    const auto c = static_cast<unsigned char>(b[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      continue;
    }
    std::size_t n = 0;
    if (c >= 0xA1 && c <= 0xDF) n = 1;
    else if (IsLeadByte(c) && i + 1 < b.size() && IsTrailByte(static_cast<unsigned char>(b[i + 1]))) n = 2;
    if (n == 0) {
      hex(c);
      continue;
    }
    if (!codec) codec.emplace();
    const std::string ch = codec->FromAnsi(b.substr(i, n));
    if (ch.find("\xEF\xBF\xBD") != std::string::npos) {  // a byte pair that CP932 does not assign
      hex(c);
      continue;
    }
    out += ch;
    i += n - 1;
  }
  return out;
}

std::string ShownBytes(std::string_view b) {
  if (b.size() <= kShownValueBytes) return DisplayBytes(b);
  std::size_t keep = 0;  // whole characters only
  while (keep < kShownValueBytes) {
    const std::size_t n = IsLeadByte(static_cast<unsigned char>(b[keep])) ? 2 : 1;
    if (keep + n > kShownValueBytes) break;
    keep += n;
  }
  return DisplayBytes(b.substr(0, keep)) + "… (" + std::to_string(b.size()) + " bytes)";
}

LocalCheckResult CheckLocalFile(MasterSource& masters, const std::filesystem::path& file) {
  LocalCheckResult result;
  LocalCheckResult r = CheckLocalFile(
      masters, file, [&](const LocalFinding& f) { result.findings.push_back(f); }, LocalCheckOptions{0});
  r.findings = std::move(result.findings);
  return r;
}

LocalCheckResult CheckLocalFile(MasterSource& masters, const std::filesystem::path& file,
                                const std::function<void(const LocalFinding&)>& sink, const LocalCheckOptions& options) {
  LocalCheckResult result;
  Layouts layouts(masters);
  std::string previousKey, tfd;
  TfdBuilder builder;
  bool tooLong = false;
  const Report report = [&](LocalFinding&& f) {
    ++result.found;
    if (options.limit > 0 && result.reported >= options.limit) return;
    ++result.reported;
    sink(f);
  };
  auto add = [&](long long line, long long offset, std::optional<long long> item, std::string name,
                 std::string_view value, std::string problem) {
    report({line, offset, item, std::move(name), std::string(value), std::move(problem)});
  };
  result.error = ReadLocalLines(
      file,
      [&](long long n, const std::string& line) {
        const LocalLineKind kind = ClassifyLocalLine(line);
        if (kind == LocalLineKind::Blank) return true;  // blank lines are not messages
        ++result.messages;
        const std::string_view view(line);
        if (kind == LocalLineKind::NoKey) {
          add(n, 1, std::nullopt, "", view.substr(0, kLocalKeyBytes),
              Tr("半角 39 バイトのキーがありません: 変換はここで止まります (0025)"));
          previousKey.clear();
          return true;
        }
        const std::string_view key = view.substr(0, kLocalKeyBytes);
        const bool groupStart = key != previousKey;
        previousKey.assign(key);
        const Layout& layout = layouts.For(key);
        if (!layout.problem.empty()) {
          if (groupStart) add(n, 1, std::nullopt, "", key, layout.problem);
          return true;
        }
        const std::string_view data = view.substr(kLocalKeyBytes);
        ItemJudge judge(layout, n, data, report);
        const int code = builder.Build(layout.plan, layout.state, data, tfd, &judge);
        const bool brokenReported = judge.brokenReported;
        if (code != 0)
          add(n, 1, std::nullopt, "", "", TrArgs("メッセージを書けません: 変換はここで止まります ({1})", {CodeText(code)}));
        if (!brokenReported) {
          const std::size_t broken = FirstBrokenShiftJisByte(view);
          if (broken != std::string_view::npos)
            add(n, static_cast<long long>(broken) + 1, std::nullopt, "", view.substr(broken, 2),
                Tr("Shift_JIS として正しくありません: 変換はこの行で止まります (0027)"));
        }
        const long long size = static_cast<long long>(data.size());
        if (size < layout.recordLength) {
          add(n, static_cast<long long>(line.size()) + 1, std::nullopt, "", "",
              TrArgs("行は {1} バイトですが、レイアウトには {2} バイト要ります: 行の終わりより後の項目は省かれます",
                     {std::to_string(line.size()), std::to_string(kLocalKeyBytes + layout.recordLength)}));
        } else if (size > layout.recordLength) {
          const std::string_view rest = data.substr(static_cast<std::size_t>(layout.recordLength));
          if (!IsBlank(rest))
            add(n, static_cast<long long>(kLocalKeyBytes) + layout.recordLength + 1, std::nullopt, "", rest,
                TrArgs("レイアウトの {1} バイトより後のバイトは書かれません",
                       {std::to_string(kLocalKeyBytes + layout.recordLength)}));
        }
        return true;
      },
      result.lines, tooLong);
  if (tooLong)
    add(result.lines, 1, std::nullopt, "", "",
        TrArgs("行が {1} バイトより長いです: 変換はここで止まります (0028)", {std::to_string(kMaxLineBytes)}));
  return result;
}

void PrintFinding(const LocalFinding& f, std::ostream& out) {
  out << TrArgs("{1} 行目, {2} バイト目", {std::to_string(f.line), std::to_string(f.offset)});
  if (f.item) out << ", " << TrArgs("項目№ {1} {2}", {std::to_string(*f.item), f.name});
  if (!f.value.empty()) out << " \"" << ShownBytes(f.value) << "\"";
  out << ": " << f.problem << "\n";
}

void PrintFindings(const LocalCheckResult& result, std::ostream& out) {
  for (const LocalFinding& f : result.findings) PrintFinding(f, out);
}

FindingsCsv::FindingsCsv(std::ostream& out, CsvEncoding encoding, bool bom)
    : out_(out), utf8_(encoding == CsvEncoding::Utf8) {
  if (utf8_ && bom) out_ << "\xEF\xBB\xBF";
  out_ << "line,offset,item,name,value,problem\r\n";
}

void FindingsCsv::Write(const LocalFinding& f) {
  std::string row = std::to_string(f.line) + "," + std::to_string(f.offset) + "," +
                    (f.item ? std::to_string(*f.item) : std::string()) + "," + CsvQuoted(SpreadsheetSafe(f.name)) + "," +
                    CsvQuoted(SpreadsheetSafe(ShownBytes(f.value))) + "," + CsvQuoted(SpreadsheetSafe(f.problem)) + "\r\n";
  out_ << (utf8_ ? row : ToAnsiBytes(row));
}

void WriteFindingsCsv(const LocalCheckResult& result, std::ostream& out) {
  FindingsCsv csv(out, CsvEncoding::Utf8, false);
  for (const LocalFinding& f : result.findings) csv.Write(f);
}

LineExplanation ExplainLine(MasterSource& masters, const std::filesystem::path& file, long long wanted) {
  LineExplanation x;
  x.line = wanted;
  Layouts layouts(masters);
  long long count = 0;
  bool tooLong = false, found = false;
  std::string tfd;
  std::string error = ReadLocalLines(
      file,
      [&](long long n, const std::string& line) {
        const LocalLineKind kind = ClassifyLocalLine(line);
        const std::string_view view(line);
        if (n < wanted) {
          // A line before the wanted one at which the translation stops: it never gets there.
          const bool noKey = kind == LocalLineKind::NoKey;
          if (noKey || (kind != LocalLineKind::Blank && FirstBrokenShiftJisByte(view) != std::string_view::npos)) {
            x.error = noKey ? TrArgs("変換は {1} 行目で止まり (半角 39 バイトのキーがありません, 0025)、{2} 行目には届きません",
                                     {std::to_string(n), std::to_string(wanted)})
                            : TrArgs("変換は {1} 行目で止まり (Shift_JIS として正しくありません, 0027)、{2} 行目には届きません",
                                     {std::to_string(n), std::to_string(wanted)});
            return false;
          }
          return true;
        }
        found = true;
        if (kind == LocalLineKind::Blank) {
          x.error = TrArgs("{1} 行目は空行です: メッセージではありません", {std::to_string(n)});
          return false;
        }
        if (kind == LocalLineKind::NoKey) {
          x.error = TrArgs("{1} 行目には半角 39 バイトのキーがありません: 変換はこの行で止まります (0025)",
                           {std::to_string(n)});
          return false;
        }
        x.key = line.substr(0, kLocalKeyBytes);
        const Layout& layout = layouts.For(x.key);
        x.category = layout.category;
        x.own = layout.own;
        x.partner = layout.partner;
        if (!layout.problem.empty()) {
          x.error = layout.problem;
          return false;
        }
        x.bpid = layout.state.bpid;
        Recorder recorder;
        x.code = TfdBuilder().Build(layout.plan, layout.state, view.substr(kLocalKeyBytes), tfd, &recorder);
        // The writer checks a line's Shift_JIS apart from its items and stops at a broken one.
        if (const std::size_t broken = FirstBrokenShiftJisByte(view); broken != std::string_view::npos) {
          x.code = kCodeBadShiftJis;
          x.stop = TrArgs("{1} バイト目が Shift_JIS として正しくありません ({2})",
                          {std::to_string(broken + 1), DisplayBytes(view.substr(broken, 2))});
        } else if (x.code != 0) {
          x.stop = Tr("メッセージを書けません");
        }
        for (const auto& entry : recorder.entries) {
          const ItemTrace& t = entry.trace;
          const ItemFormat& e = layout.state.ediItems[t.ediIndex];
          ExplainedItem item;
          item.itemNo = e.itemNo;
          item.name = ItemName(layout, t);
          item.attribute = e.attribute;
          item.repetitions.assign(t.repetitions.begin(), t.repetitions.end());
          item.hasLocal = t.localIndex != 0;
          item.offset = t.localIndex != 0 ? static_cast<long long>(kLocalKeyBytes) + t.position : 0;
          item.count = t.count;
          item.raw = entry.raw;
          item.value = entry.value;
          item.tag = entry.tag;
          item.element = entry.element;
          x.items.push_back(std::move(item));
        }
        return false;
      },
      count, tooLong);
  if (!error.empty()) x.error = error;
  else if (tooLong && count == wanted)
    x.error = TrArgs("{1} 行目は {2} バイトより長いです: 変換はこの行で止まります (0028)",
                     {std::to_string(wanted), std::to_string(kMaxLineBytes)});
  else if (tooLong && count < wanted)
    x.error = TrArgs("変換は {1} 行目で止まり ({2} バイトより長い行, 0028)、{3} 行目には届きません",
                     {std::to_string(count), std::to_string(kMaxLineBytes), std::to_string(wanted)});
  else if (!found && x.error.empty()) x.error = TrArgs("ファイルは {1} 行です", {std::to_string(count)});
  return x;
}

void PrintExplanation(const LineExplanation& x, std::ostream& out) {
  out << TrArgs("{1} 行目: 情報区分 \"{2}\", 自社コード \"{3}\", 相手先コード \"{4}\", BPID \"{5}\"",
                {std::to_string(x.line), x.category, x.own, x.partner, x.bpid})
      << "\n";
  for (const ExplainedItem& it : x.items) {
    out << "  " << TrArgs("項目№ {1} {2}", {std::to_string(it.itemNo), it.name});
    if (!it.repetitions.empty()) {
      out << " [";
      for (std::size_t k = 0; k < it.repetitions.size(); ++k) out << (k ? "," : "") << it.repetitions[k];
      out << "]";
    }
    out << " (" << it.attribute << ")";
    if (!it.hasLocal) {
      out << ": " << Tr("対応する 'L' 項目がないので飛ばします") << "\n";
      continue;
    }
    out << ", " << TrArgs("{1}–{2} バイト目", {std::to_string(it.offset), std::to_string(it.offset + it.count - 1)})
        << ": \"" << DisplayBytes(it.raw) << "\" → ";
    if (it.value.empty()) {
      out << Tr("省きます (空の値)") << "\n";
      continue;
    }
    const std::size_t lengthBytes = it.element.size() - it.tag.size() - it.value.size();
    out << "\"" << DisplayBytes(it.value) << "\" → "
        << TrArgs("タグ {1}, 長さ {2} ({3}), データ {4}",
                  {Hex(it.tag), Hex(std::string_view(it.element).substr(it.tag.size(), lengthBytes)),
                   std::to_string(it.value.size()), Hex(it.value)})
        << "\n";
  }
  if (x.code != 0)
    out << TrArgs("このメッセージは書かれません: 変換はこの行で {1} により止まります", {CodeText(x.code)})
        << (x.stop.empty() ? "" : ": " + x.stop) << "\n";
}

}  // namespace edi::cii
