#include "cii/local_check.h"

#include <deque>
#include <functional>
#include <memory>
#include <fstream>
#include <map>
#include <sstream>

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
      l.problem = "no message group master (FL1916) for 相手先コード \"" + l.partner + "\", 自社コード \"" + l.own +
                  "\", 情報区分 \"" + l.category + "\": the translation stops here (0001)";
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
      case kCodeNoFormat: l.problem = "no format (FL1902) for " + format + ": the translation stops here (0002)"; break;
      case kCodeNoEdiItems:
        l.problem = "no 'E' items (FL1903) for " + format + ": the translation stops here (0003)";
        break;
      case kCodeNoLocalItems:
        l.problem = "no 'L' items (FL1903) for " + format + ": the translation stops here (0004)";
        break;
      default:
        l.problem = "the layout of " + format + " is out of order (" + detail.substr(2) +
                    "; see edi format check): 0022";
    }
  } catch (const DatabaseError& e) {
    l.problem = std::string("the masters cannot be read: ") + e.what() + " (0030)";
  }
  return l;
}

// The lines of an in-house file as the writer reads them. visit(number, line) returns false
// to stop. Returns an error text when the file cannot be read.
template <class Visit>
std::string ReadLocalLines(const std::filesystem::path& file, Visit visit, long long& count, bool& tooLong) {
  std::ifstream in(file, std::ios::binary);
  if (!in || std::filesystem::is_directory(file)) return "cannot open " + file.string();
  LineReader lines(in, kMaxLineBytes);
  std::string line;
  for (;;) {
    LineReader::Result r = lines.Next(line);
    if (r == LineReader::Result::End) return {};
    if (r == LineReader::Result::Failed) return "cannot read " + file.string();
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
  return value.empty() ? std::string("nothing (the item is left out)") : "\"" + ShownBytes(value) + "\"";
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
    if (i < digits.size() || !any) return "not a number: the translator reads it as far as it can and writes " + Written(t.value);
    if (l.decimals > 0 && !point)
      return "no decimal point where the layout has " + std::to_string(l.decimals) + " decimal places: written as " +
             Written(t.value);
    const DecimalValue v = ParseDecimal(raw);
    if (v.fracDigits.size() > static_cast<std::size_t>(std::max(e.decimals, 0)))
      return "more decimal places than the EDI item's " + std::to_string(e.decimals) + ": rounded down to " +
             Written(t.value);
    const std::string exact = ScaleAndFloor(v, e.decimals);
    const std::string written = t.value.empty() ? std::string("0") : std::string(t.value);
    if (written != exact)
      return "more digits than the EDI item's 長さ " + std::to_string(e.length) + ": written as " + Written(t.value);
    return {};
  }
  if (a == "Y") {
    const std::string_view trimmed = TrimSpaceView(raw);
    if (trimmed.empty() || trimmed.find_first_not_of('0') == std::string_view::npos) return {};  // no date
    if (!AllDigits(raw) || !IsCalendarDate(t.value))
      return "not a date: written as " + Written(t.value);
    return {};
  }
  if (a == "K" || a == "X" || a == "B") {
    const std::size_t from = static_cast<std::size_t>(t.position - 1);
    const std::size_t to = from + raw.size();
    if (!line.StartsCharacter(from)) return "a double-byte character is cut by the start of the field";
    if (!line.StartsCharacter(to))
      return "a double-byte character is cut by the end of the field (byte " + std::to_string(kLocalKeyBytes + to) +
             "): it is not written whole";
    if (FirstBrokenShiftJisByte(raw) != std::string_view::npos) {
      broken = true;
      return "broken Shift_JIS: the translation stops at this line (0027)";
    }
    if (a == "K") {
      const std::string wide = ToFullWidth(TrimSpaceView(raw));
      if (wide.size() > static_cast<std::size_t>(std::max(e.length, 0)))
        return "longer than the EDI item's 長さ " + std::to_string(e.length) + " in full-width characters (" +
               std::to_string(wide.size()) + " bytes): written as " + Written(t.value);
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
  for (std::size_t i = 0; i < b.size(); ++i) {
    const auto c = static_cast<unsigned char>(b[i]);
    std::size_t n = 0;
    if (c >= 0x20 && c < 0x7F) n = 1;
    else if (c >= 0xA1 && c <= 0xDF) n = 1;
    else if (IsLeadByte(c) && i + 1 < b.size() && IsTrailByte(static_cast<unsigned char>(b[i + 1]))) n = 2;
    if (n == 0 || !IsValidAnsiBytes(b.substr(i, n))) {
      hex(c);
      continue;
    }
    out += FromAnsiBytes(b.substr(i, n));
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
              "no 39-byte key of single-byte characters: the translation stops here (0025)");
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
          add(n, 1, std::nullopt, "", "", "the message cannot be written: the translation stops here (" + CodeText(code) + ")");
        if (!brokenReported) {
          const std::size_t broken = FirstBrokenShiftJisByte(view);
          if (broken != std::string_view::npos)
            add(n, static_cast<long long>(broken) + 1, std::nullopt, "", view.substr(broken, 2),
                "broken Shift_JIS: the translation stops at this line (0027)");
        }
        const long long size = static_cast<long long>(data.size());
        if (size < layout.recordLength) {
          add(n, static_cast<long long>(line.size()) + 1, std::nullopt, "", "",
              "the line is " + std::to_string(line.size()) + " bytes, its layout needs " +
                  std::to_string(kLocalKeyBytes + layout.recordLength) + ": the items beyond its end are left out");
        } else if (size > layout.recordLength) {
          const std::string_view rest = data.substr(static_cast<std::size_t>(layout.recordLength));
          if (!IsBlank(rest))
            add(n, static_cast<long long>(kLocalKeyBytes) + layout.recordLength + 1, std::nullopt, "", rest,
                "bytes beyond the layout's " + std::to_string(kLocalKeyBytes + layout.recordLength) +
                    " bytes are not written");
        }
        return true;
      },
      result.lines, tooLong);
  if (tooLong)
    add(result.lines, 1, std::nullopt, "", "",
        "the line is longer than " + std::to_string(kMaxLineBytes) + " bytes: the translation stops here (0028)");
  return result;
}

void PrintFinding(const LocalFinding& f, std::ostream& out) {
  out << "line " << f.line << ", byte " << f.offset;
  if (f.item) out << ", 項目№ " << *f.item << " " << f.name;
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
            x.error = "the translation stops at line " + std::to_string(n) + " (" +
                      (noKey ? "no 39-byte key, 0025" : "broken Shift_JIS, 0027") + ") and never reaches line " +
                      std::to_string(wanted);
            return false;
          }
          return true;
        }
        found = true;
        if (kind == LocalLineKind::Blank) {
          x.error = "line " + std::to_string(n) + " is blank: it is no message";
          return false;
        }
        if (kind == LocalLineKind::NoKey) {
          x.error = "line " + std::to_string(n) +
                    " has no 39-byte key of single-byte characters: the translation stops at this line (0025)";
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
          x.stop = "broken Shift_JIS at byte " + std::to_string(broken + 1) + " (" +
                   DisplayBytes(view.substr(broken, 2)) + ")";
        } else if (x.code != 0) {
          x.stop = "the message cannot be written";
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
    x.error = "line " + std::to_string(wanted) + " is longer than " + std::to_string(kMaxLineBytes) +
              " bytes: the translation stops at this line (0028)";
  else if (tooLong && count < wanted)
    x.error = "the translation stops at line " + std::to_string(count) + " (longer than " +
              std::to_string(kMaxLineBytes) + " bytes, 0028) and never reaches line " + std::to_string(wanted);
  else if (!found && x.error.empty()) x.error = "the file has " + std::to_string(count) + " lines";
  return x;
}

void PrintExplanation(const LineExplanation& x, std::ostream& out) {
  out << "line " << x.line << ": 情報区分 \"" << x.category << "\", 自社コード \"" << x.own << "\", 相手先コード \""
      << x.partner << "\", BPID \"" << x.bpid << "\"\n";
  for (const ExplainedItem& it : x.items) {
    out << "  項目№ " << it.itemNo << " " << it.name;
    if (!it.repetitions.empty()) {
      out << " [";
      for (std::size_t k = 0; k < it.repetitions.size(); ++k) out << (k ? "," : "") << it.repetitions[k];
      out << "]";
    }
    out << " (" << it.attribute << ")";
    if (!it.hasLocal) {
      out << ": no 'L' item names it, skipped\n";
      continue;
    }
    out << ", bytes " << it.offset << "–" << it.offset + it.count - 1 << ": \"" << DisplayBytes(it.raw) << "\" → ";
    if (it.value.empty()) {
      out << "left out (empty value)\n";
      continue;
    }
    const std::size_t lengthBytes = it.element.size() - it.tag.size() - it.value.size();
    out << "\"" << DisplayBytes(it.value) << "\" → tag " << Hex(it.tag) << ", length "
        << Hex(std::string_view(it.element).substr(it.tag.size(), lengthBytes)) << " (" << it.value.size()
        << "), data " << Hex(it.value) << "\n";
  }
  if (x.code != 0)
    out << "the message is not written: the translation stops at this line with " << CodeText(x.code)
        << (x.stop.empty() ? "" : ": " + x.stop) << "\n";
}

}  // namespace edi::cii
