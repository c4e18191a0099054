#include "cii/csv_table.h"

#include <csv.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "app/whole_file.h"
#include "cii/sjis.h"
#include "platform/files.h"
#include "platform/process.h"

namespace edi::cii {

namespace {

using Column = CsvColumn;
using Table = CsvTable;


// Column names that begin with a digit are only accepted by SQL in double quotes.
std::string SqlName(const char* name) {
  return (name[0] >= '0' && name[0] <= '9') ? std::string("\"") + name + "\"" : std::string(name);
}

std::size_t IndexOf(const Table& t, const char* column) {
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    if (std::string_view(t.columns[i].name) == column) return i;
  throw std::logic_error(std::string("no column ") + column);
}

std::string ColumnList(const Table& t) {
  std::string s;
  for (const Column& c : t.columns) s += (s.empty() ? "" : ", ") + SqlName(c.name);
  return s;
}

// "a=:1 AND b=:2" over the columns, numbering from first.
std::string Conditions(const std::vector<const char*>& columns, int first = 1) {
  std::string s;
  for (const char* c : columns) {
    if (!s.empty()) s += " AND ";
    s += SqlName(c) + "=:" + std::to_string(first++);
  }
  return s;
}

bool ParseInteger(std::string_view text, long long& value) {
  if (text.empty()) return false;
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  unsigned long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (v > (static_cast<unsigned long long>(LLONG_MAX) - 9) / 10) return false;
    v = v * 10 + static_cast<unsigned>(text[i] - '0');
  }
  value = text[0] == '-' ? -static_cast<long long>(v) : static_cast<long long>(v);
  return true;
}

// ---------------------------------------------------------------- cells

bool StartsAsFormula(std::string_view s) {
  return !s.empty() && std::string_view("=+-@\t\r'").find(s.front()) != std::string_view::npos;
}

}  // namespace

std::string SpreadsheetSafe(std::string_view text) {
  return StartsAsFormula(text) ? "'" + std::string(text) : std::string(text);
}

std::string Echo(std::string_view s, std::size_t maxBytes) {
  std::size_t keep = s.size();
  if (keep > maxBytes) {
    keep = maxBytes;
    while (keep > 0 && (static_cast<unsigned char>(s[keep]) & 0xC0) == 0x80) --keep;  // not inside a character
  }
  static const char* digits = "0123456789ABCDEF";
  std::string out = "\"";
  for (std::size_t i = 0; i < keep; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) {
      out += '<';
      out += digits[c >> 4];
      out += digits[c & 15];
      out += '>';
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  if (keep < s.size()) out += TrArgs("… ({1} バイト)", {std::to_string(s.size())});
  return out;
}

namespace {

// ---------------------------------------------------------------- export

using Row = std::vector<Value>;

int CompareValues(const Value& a, const Value& b, bool numeric) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  if (numeric) {
    long long x = 0, y = 0;
    if (ParseInteger(*a, x) && ParseInteger(*b, y)) return x < y ? -1 : (x > y ? 1 : 0);
  }
  return a->compare(*b) < 0 ? -1 : (a->compare(*b) > 0 ? 1 : 0);
}

// A value as a CSV field: a null is an empty field, an empty text a lone apostrophe, a text
// a spreadsheet would run as a formula has an apostrophe in front; a field that a reader could
// take differently (separators, quotes, line ends, spaces at either end) is quoted.
std::string CsvField(const Value& v) {
  if (!v) return {};
  const std::string s = v->empty() ? std::string("'") : SpreadsheetSafe(*v);
  bool quote = s.find_first_of(",\"\r\n") != std::string::npos || s.front() == ' ' || s.back() == ' ' ||
               s.back() == '\t';
  return quote ? CsvQuoted(s) : s;
}

// The text of one table's file.
std::string TableText(Database& db, const Table& t, const TableSelection& selection, CsvEncoding encoding,
                      int& count) {
  std::string sql = "SELECT " + ColumnList(t) + " FROM " + t.name;
  std::vector<const char*> where;
  std::vector<Param> params;
  for (const auto& [column, value] : selection.equal) {
    where.push_back(column);
    params.emplace_back(value);
  }
  if (!where.empty()) sql += " WHERE " + Conditions(where);
  std::vector<Row> rows;
  for (const edi::Row& r : db.Query(sql, params)) {
    Row row;
    for (std::size_t i = 0; i < r.size(); ++i) row.push_back(r.at(i));
    rows.push_back(std::move(row));
  }
  // Sorted here rather than in SQL, so that every database gives the same order.
  std::vector<std::pair<std::size_t, bool>> order;
  for (const char* c : t.order) order.emplace_back(IndexOf(t, c), t.numberOrder.count(c) > 0);
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
    for (auto [i, numeric] : order)
      if (int c = CompareValues(a[i], b[i], numeric)) return c < 0;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (int c = CompareValues(a[i], b[i], false)) return c < 0;
    return false;
  });

  std::string text;
  for (std::size_t i = 0; i < t.columns.size(); ++i) text += (i ? "," : "") + std::string(t.columns[i].name);
  text += "\r\n";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t i = 0; i < rows[r].size(); ++i) {
      const Value& v = rows[r][i];
      if (encoding != CsvEncoding::Utf8 && v && !IsAnsiRepresentable(*v))
        throw ExportRefused(TrArgs("{1} の {2} 行目の列 {3}: CP932 で表せない文字があります (--encoding utf-8 で書き出してください)",
                                   {t.name, std::to_string(r + 1), t.columns[i].name}));
      // Numbers are written as they are: a spreadsheet reads "-5" as a number, not a formula.
      text += (i ? "," : "") + (t.columns[i].number && v ? *v : CsvField(v));
    }
    text += "\r\n";
  }
  count = static_cast<int>(rows.size());
  return encoding != CsvEncoding::Utf8 ? ToAnsiBytes(text) : text;
}

// A free hidden name beside target for a hard link to the file that is there.
std::optional<std::filesystem::path> KeepAside(const std::filesystem::path& target) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto aside = target.parent_path() / ("." + target.filename().string() + ".old-" + std::to_string(platform::CurrentProcessId()) +
                                         "-" + std::to_string(attempt));
    errno = platform::MakeHardLink(target, aside);
    if (errno == 0) return aside;
    if (errno == EEXIST) continue;
    // A file system without hard links (a memory stick): a copy serves the same purpose.
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) return std::nullopt;
    std::error_code ec;
    if (std::filesystem::copy_file(target, aside, ec)) return aside;
    if (!std::filesystem::exists(aside)) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::string CsvQuoted(std::string_view text) {
  std::string out(text.size() * 2 + 2, '\0');
  out.resize(csv_write(out.data(), out.size(), text.data(), text.size()));
  return out;
}

std::string TableFileName(const std::string& table) { return table + ".csv"; }

std::vector<TableCount> ExportTables(Database& db, const std::filesystem::path& dir, const std::vector<CsvTable>& tables,
                                     const SelectRows& select, CsvEncoding encoding, bool overwrite,
                                     const std::string& nothingMatches) {
  std::vector<const Table*> chosen;
  std::vector<TableSelection> selections;
  for (const Table& t : tables) {
    TableSelection s = select ? select(t) : TableSelection{};
    if (s.skip) continue;
    chosen.push_back(&t);
    selections.push_back(std::move(s));
  }
  std::error_code ec;
  if (std::filesystem::exists(dir, ec) && !std::filesystem::is_directory(dir, ec))
    throw ExportFolderError(TrArgs("{1} はフォルダではありません", {dir.string()}));
  std::filesystem::create_directories(dir, ec);
  if (ec) throw ExportFolderError(TrArgs("{1}: 作れません: {2}", {dir.string(), ec.message()}));

  // Every name is looked at before anything is written.
  std::vector<std::string> present;
  for (const Table* table : chosen) {
    const Table& t = *table;
    const auto path = dir / TableFileName(t.name);
    const auto status = std::filesystem::symlink_status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) continue;
    if (status.type() == std::filesystem::file_type::symlink)
      throw ExportRefused(TrArgs("{1} はリンクです: 置き換えません (何も書いていません)", {path.string()}));
    if (status.type() != std::filesystem::file_type::regular)
      throw ExportRefused(TrArgs("{1} はファイルではありません: 置き換えません (何も書いていません)", {path.string()}));
    present.push_back(TableFileName(t.name));
  }
  if (!present.empty() && !overwrite) {
    std::string names;
    for (const auto& n : present) names += (names.empty() ? "" : ", ") + n;
    throw ExportRefused(TrArgs("{1} にはすでに {2} があります (--force で置き換えます。何も書いていません)", {dir.string(), names}));
  }

  std::vector<TableCount> counts;
  std::vector<std::unique_ptr<WholeFileWrite>> writes;
  int total = 0;
  for (std::size_t n = 0; n < chosen.size(); ++n) {
    const Table& t = *chosen[n];
    int rows = 0;
    const std::string text = TableText(db, t, selections[n], encoding, rows);
    total += rows;
    counts.push_back({t.name, rows});
    auto& w = writes.emplace_back(std::make_unique<WholeFileWrite>(dir / TableFileName(t.name)));
    if (auto fault = w->Open()) throw ExportFolderError(fault->text);
    std::ofstream out(w->temp(), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw ExportFolderError(TrArgs("{1}: 書けません", {w->temp().string()}));
  }
  if (total == 0 && !nothingMatches.empty()) throw ExportRefused(TrArgs("{1} (何も書いていません)", {nothingMatches}));

  // The files that are there are kept aside (hard links) until all new files are in place, so
  // that a failure half-way can put every name back as it was.
  std::vector<std::optional<std::filesystem::path>> aside(writes.size());
  auto cleanAside = [&] {
    for (auto& a : aside)
      if (a) std::filesystem::remove(*a, ec);
  };
  for (std::size_t i = 0; i < writes.size(); ++i) {
    if (!std::filesystem::exists(writes[i]->target(), ec)) continue;
    aside[i] = KeepAside(writes[i]->target());
    if (!aside[i]) {
      cleanAside();
      throw ExportFolderError(TrArgs("{1}: 置き換えの間、元のファイルを取っておけません: {2}",
                                     {writes[i]->target().string(), std::strerror(errno)}));
    }
  }
  for (std::size_t i = 0; i < writes.size(); ++i) {
    if (auto fault = writes[i]->Commit()) {
      for (std::size_t k = 0; k < i; ++k) {
        if (aside[k]) {
          platform::RenameOver(*aside[k], writes[k]->target());
          aside[k].reset();
        } else {
          std::filesystem::remove(writes[k]->target(), ec);
        }
      }
      cleanAside();
      throw ExportFolderError(TrArgs("{1} (フォルダは元のままです)", {fault->text}));
    }
  }
  cleanAside();
  return counts;
}

// ---------------------------------------------------------------- import

std::string Describe(const ImportProblem& p) {
  std::string s = p.file;
  if (p.line > 0) s += ":" + std::to_string(p.line);
  if (!p.column.empty()) s += (s.empty() ? "" : ": ") + p.column;
  return s + (s.empty() ? "" : ": ") + p.message;
}

bool ImportResult::unusable() const {
  return std::any_of(problems.begin(), problems.end(), [](const ImportProblem& p) { return p.unusable; });
}

namespace {

// Problems of an import: the first kMaxImportProblems are kept, the rest counted.
struct Problems {
  ImportResult& result;
  void Add(ImportProblem p) {
    if (result.problems.size() < kMaxImportProblems) result.problems.push_back(std::move(p));
    else ++result.moreProblems;
  }
  bool any() const { return !result.problems.empty(); }
};

// Length of the longest prefix of a UTF-8 chunk that does not end inside a character.
std::size_t Utf8Whole(std::string_view s) {
  std::size_t n = s.size();
  for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
    const auto c = static_cast<unsigned char>(s[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t need = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    return need > back ? n - back : n;
  }
  return n;
}

// Length of the longest prefix of a CP932 chunk (starting at a character) that does not end
// between a lead byte and its trail byte.
std::size_t Cp932Whole(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) i += IsLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
  return i > s.size() ? s.size() - 1 : s.size();
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size() || (n == 2 && c < 0xC2)) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n;
  }
  return true;
}

// One table file, opened once and read from its start for each pass.
class TableFile {
 public:
  ~TableFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  // nullopt: opened; "": there is nothing at the name; otherwise why the name cannot be used.
  std::optional<std::string> Open(const std::filesystem::path& path) {
    struct stat link {}, target {};
    if (::lstat(path.c_str(), &link) != 0) {
      if (errno == ENOENT) return std::string();
      return TrArgs("読めません: {1}", {std::strerror(errno)});
    }
    if (::stat(path.c_str(), &target) != 0)
      return S_ISLNK(link.st_mode) ? std::string(Tr("リンク先がありません")) : TrArgs("読めません: {1}", {std::strerror(errno)});
    if (S_ISDIR(target.st_mode)) return std::string(Tr("ファイルではなくフォルダです"));
    if (S_ISFIFO(target.st_mode)) return std::string(Tr("ファイルではなくパイプです"));
    if (!S_ISREG(target.st_mode)) return std::string(Tr("通常のファイルではありません"));
    // Non-blocking: a pipe put at the name after the look above is not waited on.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return TrArgs("読めません: {1}", {std::strerror(errno)});
    if (::fstat(fd_, &target) != 0 || !S_ISREG(target.st_mode)) return std::string(Tr("通常のファイルではありません"));
    return std::nullopt;
  }
  // Calls f(bytes) for consecutive chunks of the file, without a final Ctrl-Z. Returns an
  // error text, or empty. f returns false to stop. hash is a digest of every byte read.
  template <class F>
  std::string Read(F f, std::uint64_t& hash) {
    hash = 1469598103934665603ULL;
    std::string buffer(256 * 1024, '\0');
    std::string pending;  // a Ctrl-Z at the end of a chunk, until it turns out not to be the last byte
    off_t at = 0;
    for (;;) {
      const ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), at);
      if (n < 0) {
        if (errno == EINTR) continue;
        return TrArgs("読めません: {1}", {std::strerror(errno)});
      }
      if (n == 0) return {};
      at += n;
      std::string_view chunk(buffer.data(), static_cast<std::size_t>(n));
      for (unsigned char c : chunk) hash = (hash ^ c) * 1099511628211ULL;
      std::string joined;
      if (!pending.empty()) {
        joined = pending;
        joined.append(chunk);
        chunk = joined;
        pending.clear();
      }
      if (chunk.back() == '\x1A') {
        pending = "\x1A";
        chunk.remove_suffix(1);
      }
      if (!chunk.empty() && !f(chunk)) return {};
    }
  }

 private:
  int fd_ = -1;
};

// Whether a file is read as UTF-8: a byte order mark, or valid UTF-8 throughout.
std::string LooksUtf8(TableFile& file, bool& utf8) {
  bool first = true, bom = false, valid = true;
  std::string carry;
  std::uint64_t hash = 0;
  std::string error = file.Read(
      [&](std::string_view chunk) {
        if (first) bom = chunk.substr(0, 3) == "\xEF\xBB\xBF";
        first = false;
        if (bom) return false;
        carry.append(chunk);
        const std::size_t whole = Utf8Whole(carry);
        if (!IsValidUtf8(std::string_view(carry).substr(0, whole))) {
          valid = false;
          return false;
        }
        carry.erase(0, whole);
        return true;
      },
      hash);
  utf8 = bom || (valid && IsValidUtf8(carry));
  return error;
}

// A checked row: the value of each table column (in table order) ready to bind.
struct Checked {
  long long line = 0;
  std::vector<Param> params;
  std::vector<std::string> keyText;  // the key values (replace and existing-key checks)
  std::vector<std::string> rowKeyText;
};

std::string ValueText(const Param& p) {
  if (auto* s = std::get_if<std::string>(&p)) return *s;
  if (auto* n = std::get_if<long long>(&p)) return std::to_string(*n);
  return {};
}

// The value of one column, or a message saying why it does not fit.
std::optional<std::string> CheckValue(const Column& c, const Value& v, Param& out, AnsiCodec& codec, bool fromUtf8) {
  const bool empty = !v || v->empty();
  if (c.number) {
    long long n = 0;
    if (empty) return std::string(Tr("数値が必要です"));
    if (!ParseInteger(*v, n)) return TrArgs("{1} は整数ではありません", {Echo(*v)});
    if (n < c.min || n > c.max)
      return TrArgs("{1} が範囲 ({2} から {3}) の外です", {std::to_string(n), std::to_string(c.min), std::to_string(c.max)});
    out = n;
    return std::nullopt;
  }
  if (!v) {
    if (c.required || c.exactBytes) return std::string(Tr("値が必要です"));
    out = nullptr;
    return std::nullopt;
  }
  const std::string& s = *v;
  // A NUL ends a text for the translator and PostgreSQL refuses it; a key or code with any
  // control character would never match the in-house line or would break a message header.
  for (unsigned char ch : s)
    if (ch == 0 || (!c.freeText && (ch < 0x20 || ch == 0x7F)))
      return c.freeText ? TrArgs("{1} に制御文字 (NUL) があります。テキストには入れられません", {Echo(s)})
                        : TrArgs("{1} に制御文字があります。キーやコードには入れられません", {Echo(s)});
  if (fromUtf8 && !codec.Representable(s)) return TrArgs("{1} に CP932 で表せない文字があります", {Echo(s)});
  if (c.required && s.empty()) return std::string(Tr("値が必要です"));
  if (c.exactBytes || c.maxBytes) {
    const std::string ansi = codec.ToAnsi(s);
    if (c.exactBytes && (ansi.size() != static_cast<std::size_t>(c.exactBytes) || !IsSingleByteText(ansi)))
      return TrArgs("{1} はちょうど {2} 文字の半角文字 (空白を含む) でなければなりません (社内データの行のキーと同じ)",
                    {Echo(s), std::to_string(c.exactBytes)});
    if (c.maxBytes && ansi.size() > static_cast<std::size_t>(c.maxBytes))
      return TrArgs("{1} が {2} バイトより長いです", {Echo(s), std::to_string(c.maxBytes)});
  }
  if (c.allowed) {
    std::string allowed = std::string("|") + c.allowed + "|";
    if (s.find('|') != std::string::npos || allowed.find("|" + s + "|") == std::string::npos) {
      std::string list = c.allowed;
      std::replace(list.begin(), list.end(), '|', ' ');
      return std::string(c.allowed).find("| ") != std::string::npos
                 ? TrArgs("{1} は次のどれでもありません: {2} (または空白か空)", {Echo(s), TrimSpaces(list)})
                 : TrArgs("{1} は次のどれでもありません: {2}", {Echo(s), TrimSpaces(list)});
    }
  }
  if (c.digits) {
    std::string t = TrimSpaces(s);
    long long n = 0;
    if (!t.empty() && (!ParseInteger(t, n) || n < 1)) return TrArgs("{1} はバイト位置 (1 以上) ではありません", {Echo(s)});
  }
  out = s;
  return std::nullopt;
}

// libcsv grows its buffer for one cell through this: a cell beyond the limit makes the parse
// fail (CSV_ENOMEM) instead of taking memory.
void* BoundedRealloc(void* p, std::size_t size) {
  if (size > kMaxImportCellBytes + 4096) return nullptr;
  return std::realloc(p, size);
}

constexpr std::size_t kMaxFields = 256;  // fields kept of one record (the rest are counted)

// Reads one table file as a stream of checked rows: decodes, parses and checks each row and
// calls onRow for each sound one. Problems go to problems; the file's header decides which
// file column is which table column.
class TableScan {
 public:
  TableScan(const Table& t, std::string file, bool utf8, Problems& problems, ImportResult& result)
      : t_(t), file_(std::move(file)), utf8_(utf8), problems_(problems), result_(result) {}

  // Returns false when the file cannot be read (a problem says why). warn: leftovers are
  // reported as warnings (the check pass; the load pass sees them again).
  template <class OnRow>
  bool Run(TableFile& in, OnRow onRow, bool warn, std::uint64_t& hash) {
    onRow_ = [&](Checked& row) { onRow(row); };
    warn_ = warn;
    csv_parser p;
    csv_init(&p, CSV_STRICT | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL);
    csv_set_space_func(&p, NoSpace);
    csv_set_realloc_func(&p, BoundedRealloc);
    std::string carry, text;
    bool first = true, stopped = false;
    std::string error = in.Read(
        [&](std::string_view chunk) {
          if (first) {
            first = false;
            if (chunk.substr(0, 3) == "\xEF\xBB\xBF") {
              if (!utf8_) return Stop(0, Tr("CP932 として読むファイルに UTF-8 のバイトオーダーマークがあります (--encoding utf-8 を指定してください)"), stopped);
              chunk.remove_prefix(3);
            }
            headerQuoted_ = !chunk.empty() && chunk.front() == '"';
          }
          carry.append(chunk);
          const std::size_t whole = utf8_ ? Utf8Whole(carry) : Cp932Whole(carry);
          std::string_view ready = std::string_view(carry).substr(0, whole);
          if (!Decode(ready, text)) return Stop(0, "", stopped);
          carry.erase(0, whole);
          if (!Feed(p, text)) return Stop(0, "", stopped);
          return !fileStopped_;
        },
        hash);
    if (!error.empty()) {
      problems_.Add({file_, 0, "", error, true});
      csv_free(&p);
      return false;
    }
    if (!stopped && !fileStopped_) {
      if (!carry.empty()) {  // a lead byte or a cut character at the very end
        if (Decode(carry, text)) Feed(p, text);
      }
    }
    if (!stopped && !fileStopped_ && csv_fini(&p, OnField, OnRecord, this) != 0)
      problems_.Add({file_, startLine_ ? startLine_ : line_, "", Tr("CSV ではありません: 引用符で囲んだ値が閉じていません")});
    csv_free(&p);
    if (!stopped && !fileStopped_ && !headerSeen_) problems_.Add({file_, 0, "", Tr("見出し行がありません")});
    if (warn_ && emptyRows_ > 0)
      result_.warnings.push_back({file_, firstEmptyRow_, "",
                                  TrArgs("空のセルだけの行 {1} 行 (表計算ソフトの残り) を飛ばしました", {std::to_string(emptyRows_)})});
    return true;
  }
  long long rows() const { return rows_; }

 private:
  bool Stop(long long, const std::string& message, bool& stopped) {
    if (!message.empty()) problems_.Add({file_, line_ + 1, "", message});
    stopped = true;
    return false;
  }
  // The decoded text of a chunk that holds whole characters; false on bytes that are not of
  // the encoding (a problem names the line).
  bool Decode(std::string_view bytes, std::string& text) {
    if (utf8_) {
      if (!IsValidUtf8(bytes)) return BadBytes(bytes, Tr("UTF-8 ではないバイトがあります"));
      text.assign(bytes);
      return true;
    }
    text = codec_.FromAnsi(bytes);
    if (text.find("\xEF\xBF\xBD") != std::string::npos) return BadBytes(bytes, Tr("CP932 ではないバイトがあります"));
    return true;
  }
  bool BadBytes(std::string_view bytes, const char* message) {
    long long line = decodedLines_;
    for (std::size_t start = 0; start < bytes.size();) {
      std::size_t lf = bytes.find('\n', start);
      std::size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
      std::string_view piece = bytes.substr(start, end - start);
      ++line;
      if (utf8_ ? !IsValidUtf8(piece) : !IsValidAnsiBytes(piece)) break;
      start = end;
    }
    problems_.Add({file_, line, "", message});
    return false;
  }
  // Parses decoded text one physical line at a time, so that every record knows the line it
  // starts on (a record may span lines: a quoted line end).
  bool Feed(csv_parser& p, std::string_view text) {
    for (std::size_t start = 0; start < text.size() && !fileStopped_;) {
      std::size_t lf = text.find('\n', start);
      std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
      std::string_view piece = text.substr(start, end - start);
      if (atLineStart_) {
        ++line_;
        if (!inRecord_) startLine_ = line_;
      }
      ended_ = false;
      if (csv_parse(&p, piece.data(), piece.size(), OnField, OnRecord, this) != piece.size()) {
        if (csv_error(&p) == CSV_ENOMEM)
          problems_.Add({file_, line_, "",
                         TrArgs("{1} バイトより長い値があります ({2})",
                                {std::to_string(kMaxImportCellBytes),
                                 Echo(std::string_view(reinterpret_cast<char*>(p.entry_buf), p.entry_pos))})});
        else
          problems_.Add({file_, line_, "", TrArgs("CSV ではありません: {1}", {csv_strerror(csv_error(&p))})});
        return false;
      }
      if (!ended_ && piece.find_first_not_of("\r\n") != std::string_view::npos) inRecord_ = true;
      atLineStart_ = lf != std::string_view::npos;
      start = end;
    }
    decodedLines_ = line_ - (atLineStart_ ? 0 : 1);
    return !fileStopped_;
  }
  static int NoSpace(unsigned char) { return 0; }  // spaces belong to the value
  static void OnField(void* s, std::size_t n, void* self) {
    auto* r = static_cast<TableScan*>(self);
    ++r->fieldCount_;
    if (r->fields_.size() >= kMaxFields) return;
    if (s) r->fields_.emplace_back(std::string(static_cast<const char*>(s), n));
    else r->fields_.emplace_back(std::nullopt);
  }
  static void OnRecord(int, void* self) {
    auto* r = static_cast<TableScan*>(self);
    r->Record();
    r->fields_.clear();
    r->fieldCount_ = 0;
    r->ended_ = true;
    r->inRecord_ = false;
  }

  // A cell as the value it stands for: an empty cell is a null ("" too in a file whose header
  // is quoted), one leading apostrophe is taken off.
  Value CellValue(const Value& cell) const {
    if (!cell) return std::nullopt;
    if (cell->empty()) return headerQuoted_ ? Value() : Value(std::string());
    if (cell->front() == '\'') return cell->substr(1);
    return cell;
  }

  void Record() {
    if (!headerSeen_) {
      headerSeen_ = true;
      Header();
      return;
    }
    if (fileStopped_) return;
    const long long line = startLine_;
    bool allEmpty = true;
    for (const Value& f : fields_) allEmpty = allEmpty && (!f || f->empty());
    if (allEmpty && fieldCount_ <= kMaxFields) {
      if (emptyRows_++ == 0) firstEmptyRow_ = line;
      return;
    }
    if (++rows_ > kMaxImportRows) {
      problems_.Add({file_, line, "", TrArgs("{1} 行を超えています: マスタの表ではありません", {std::to_string(kMaxImportRows)})});
      fileStopped_ = true;
      return;
    }
    const std::size_t count = fieldCount_;
    if (count != headerFields_ && count != usedFields_) {
      problems_.Add({file_, line, "", TrArgs("値が {1} 個ありますが、見出しは {2} 個です", {std::to_string(count), std::to_string(headerFields_)})});
      return;
    }
    for (std::size_t k = usedFields_; k < count; ++k)
      if (fields_[k] && !fields_[k]->empty()) {
        problems_.Add({file_, line, TrArgs("{1} 列目", {std::to_string(k + 1)}),
                        TrArgs("{1} が名前のない列にあります", {Echo(*fields_[k])})});
        return;
      }
    Checked row{line, std::vector<Param>(t_.columns.size(), nullptr), {}, {}};
    bool fine = true;
    for (std::size_t i = 0; i < t_.columns.size(); ++i) {
      if (auto why = CheckValue(t_.columns[i], CellValue(fields_[static_cast<std::size_t>(at_[i])]), row.params[i],
                                codec_, utf8_)) {
        problems_.Add({file_, line, t_.columns[i].name, *why});
        fine = false;
      }
    }
    if (!fine) return;
    for (const char* k : t_.key) row.keyText.push_back(ValueText(row.params[IndexOf(t_, k)]));
    for (const char* k : t_.rowKey) row.rowKeyText.push_back(ValueText(row.params[IndexOf(t_, k)]));
    onRow_(row);
  }

  void Header() {
    headerFields_ = fieldCount_;
    if (fieldCount_ > kMaxFields) {
      problems_.Add({file_, startLine_, "", TrArgs("{1} 列です: {2} の表ではありません", {std::to_string(fieldCount_), t_.name})});
      fileStopped_ = true;
      return;
    }
    // Columns without a name at the end (a spreadsheet's leftover) are ignored while they stay empty.
    usedFields_ = fields_.size();
    while (usedFields_ > 0 && (!fields_[usedFields_ - 1] || TrimSpaces(*fields_[usedFields_ - 1]).empty())) --usedFields_;
    if (warn_ && usedFields_ < fields_.size())
      result_.warnings.push_back({file_, startLine_, "",
                                  TrArgs("末尾の名前のない列 {1} 列 (表計算ソフトの残り) を無視しました",
                                         {std::to_string(fields_.size() - usedFields_)})});
    at_.assign(t_.columns.size(), -1);
    bool bad = false;
    for (std::size_t k = 0; k < usedFields_; ++k) {
      const std::string name = fields_[k] ? TrimSpaces(*fields_[k]) : std::string();
      std::size_t i = 0;
      while (i < t_.columns.size() && name != t_.columns[i].name) ++i;
      const std::string where = TrArgs("{1} 列目", {std::to_string(k + 1)});
      if (i == t_.columns.size()) problems_.Add({file_, startLine_, where, TrArgs("{1} は {2} の列ではありません", {Echo(name), t_.name})});
      else if (at_[i] >= 0) problems_.Add({file_, startLine_, where, TrArgs("{1} が二度あります", {Echo(name)})});
      else at_[i] = static_cast<int>(k);
      bad = bad || i == t_.columns.size() || at_[i] != static_cast<int>(k);
    }
    for (std::size_t i = 0; i < t_.columns.size(); ++i)
      if (at_[i] < 0) {
        problems_.Add({file_, startLine_, "", TrArgs("列 {1} がありません", {t_.columns[i].name})});
        bad = true;
      }
    if (bad) fileStopped_ = true;  // rows cannot be read without their columns
  }

  const Table& t_;
  std::string file_;
  bool utf8_;
  Problems& problems_;
  ImportResult& result_;
  AnsiCodec codec_;
  std::function<void(Checked&)> onRow_;
  bool warn_ = false;
  bool headerQuoted_ = false, headerSeen_ = false, fileStopped_ = false;
  std::size_t headerFields_ = 0, usedFields_ = 0;
  std::vector<int> at_;  // position in the table → position in the file
  std::vector<Value> fields_;
  std::size_t fieldCount_ = 0;
  long long line_ = 0, startLine_ = 0, decodedLines_ = 0;
  bool atLineStart_ = true, inRecord_ = false, ended_ = false;
  long long rows_ = 0, emptyRows_ = 0, firstEmptyRow_ = 0;
};

std::uint64_t KeyHash(const std::vector<std::string>& key) {
  std::string joined;
  for (const auto& k : key) (joined += k) += '\x1F';
  return std::hash<std::string>{}(joined);
}

std::string KeyWords(const std::vector<const char*>& names, const std::vector<std::string>& values) {
  std::string what;
  for (std::size_t k = 0; k < names.size(); ++k) what += (k ? ", " : "") + std::string(names[k]) + " " + Echo(values[k]);
  return what;
}

using KeySet = std::set<std::vector<std::string>>;

// The keys of a table that are in the database.
KeySet ExistingKeys(Database& db, const Table& t) {
  std::string cols;
  for (const char* k : t.key) cols += (cols.empty() ? "" : ", ") + SqlName(k);
  KeySet keys;
  for (const edi::Row& r : db.Query("SELECT DISTINCT " + cols + " FROM " + t.name)) {
    std::vector<std::string> key;
    for (std::size_t i = 0; i < r.size(); ++i) key.push_back(r.at(i).value_or(std::string()));
    keys.insert(std::move(key));
  }
  return keys;
}

// Rows inserted many at a time: one command per batch instead of one per row (on
// PostgreSQL each command is a round trip to the server). PostgreSQL takes the batch as one
// COPY; SQLite runs one prepared single-row statement for every row of the batch; other
// connections (ODBC) take a multi-row VALUES list.
class BatchInsert {
 public:
  BatchInsert(Database& db, const Table& t)
      : db_(db), t_(t), copy_(db.engine() == DbEngine::Postgresql), prepared_(db.engine() == DbEngine::Sqlite) {
    perStatement_ = copy_ ? 5000 : prepared_ ? 2000 : std::max<std::size_t>(1, 900 / t.columns.size());
    columnList_ = ColumnList(t);
    head_ = "INSERT INTO " + std::string(t.name) + " (" + columnList_ + ") ";
    if (prepared_) {
      head_ += "VALUES (";
      for (std::size_t i = 0; i < t.columns.size(); ++i) head_ += (i ? ", :" : ":") + std::to_string(i + 1);
      head_ += ")";
      values_.resize(t.columns.size());
    } else {
      head_ += "VALUES ";
    }
  }
  void Add(std::vector<Param>& row) {
    if (copy_) {
      rows_.push_back(std::move(row));
    } else if (prepared_) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (auto* n = std::get_if<long long>(&row[i])) values_[i].emplace_back(std::to_string(*n));
        else if (auto* text = std::get_if<std::string>(&row[i])) values_[i].emplace_back(std::move(*text));
        else values_[i].emplace_back(std::nullopt);
      }
    } else {
      for (auto& p : row) params_.push_back(std::move(p));
    }
    if (++count_ == perStatement_) Flush();
  }
  void Flush() {
    if (count_ == 0) return;
    if (copy_) {
      db_.CopyRows(t_.name, columnList_, rows_);
      rows_.clear();
    } else if (prepared_) {
      db_.ExecuteForRows(head_, values_);
      for (auto& v : values_) v.clear();
    } else {
      std::string sql = head_;
      int n = 0;
      for (std::size_t r = 0; r < count_; ++r) {
        sql += r ? ",(" : "(";
        for (std::size_t i = 0; i < t_.columns.size(); ++i) sql += (i ? ",:" : ":") + std::to_string(++n);
        sql += ")";
      }
      db_.ExecuteByPosition(sql, params_);
      params_.clear();
    }
    count_ = 0;
  }

 private:

  Database& db_;
  const Table& t_;
  bool copy_;      // PostgreSQL: the batch as one COPY
  bool prepared_;  // SQLite: one prepared single-row statement run for every row of the batch
  std::size_t perStatement_ = 1, count_ = 0;
  std::vector<std::vector<Param>> rows_;
  std::vector<std::vector<Value>> values_;
  std::string head_, columnList_;
  std::vector<Param> params_;

};

struct FileChanged : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct FileAtHand {
  const Table* table;
  std::string name;
  std::unique_ptr<TableFile> file;
  bool utf8 = false;
  std::uint64_t hash = 0;
  KeySet existing;
  long long rows = 0;
};

}  // namespace

ImportResult ImportTables(Database& db, const std::filesystem::path& dir, const std::vector<CsvTable>& tables,
                          const ImportOptions& options) {
  ImportResult result;
  Problems problems{result};
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    problems.Add({dir.string(), 0, "", std::filesystem::exists(dir, ec) ? Tr("フォルダではありません") : Tr("そのフォルダはありません"), true});
    return result;
  }
  std::vector<FileAtHand> files;
  for (const Table& t : tables) {
    FileAtHand f;
    f.table = &t;
    f.name = TableFileName(t.name);
    f.file = std::make_unique<TableFile>();
    auto why = f.file->Open(dir / f.name);
    if (why && why->empty()) continue;  // the table is not in this import
    if (why) {
      problems.Add({f.name, 0, "", TrArgs("{1} (何も読み込んでいません)", {*why}), true});
      continue;
    }
    if (options.encoding == CsvEncoding::Auto) {
      const std::string error = LooksUtf8(*f.file, f.utf8);
      if (!error.empty()) {
        problems.Add({f.name, 0, "", error, true});
        continue;
      }
    } else {
      f.utf8 = options.encoding == CsvEncoding::Utf8;
    }
    files.push_back(std::move(f));
  }
  if (files.empty() && !problems.any()) {
    std::string names;
    for (const Table& t : tables) names += (names.empty() ? "" : ", ") + TableFileName(t.name);
    problems.Add({dir.string(), 0, "", TrArgs("{1} のどのファイルもありません", {names})});
  }
  if (problems.any()) return result;

  try {
    // Check every file completely. Within a file a row's own key must be new: the keys are
    // kept as hashes (8 bytes a row), and only rows whose hashes meet are looked at again.
    for (FileAtHand& f : files) {
      const Table& t = *f.table;
      const std::size_t firstProblem = result.problems.size();
      // Problems of one file in line order (the repeated keys are found after the rest).
      struct InLineOrder {
        ImportResult& r;
        std::size_t from;
        ~InLineOrder() {
          std::stable_sort(r.problems.begin() + static_cast<std::ptrdiff_t>(from), r.problems.end(),
                           [](const ImportProblem& a, const ImportProblem& b) { return a.line < b.line; });
        }
      } inLineOrder{result, firstProblem};
      f.existing = ExistingKeys(db, t);
      KeySet reported;
      std::vector<std::uint64_t> hashes;
      TableScan scan(t, f.name, f.utf8, problems, result);
      if (!scan.Run(
              *f.file,
              [&](Checked& row) {
                hashes.push_back(KeyHash(row.rowKeyText));
                if (!options.replace && f.existing.count(row.keyText) && reported.insert(row.keyText).second)
                  problems.Add({f.name, row.line, "", TrArgs("{1} はすでにデータベースにあります (--replace で置き換えます)", {KeyWords(t.key, row.keyText)})});
              },
              true, f.hash))
        continue;
      f.rows = scan.rows();
      std::sort(hashes.begin(), hashes.end());
      std::set<std::uint64_t> twice;
      for (std::size_t i = 1; i < hashes.size() && twice.size() < kMaxImportProblems; ++i)
        if (hashes[i] == hashes[i - 1]) twice.insert(hashes[i]);
      hashes = {};
      if (twice.empty()) continue;
      // Where they meet: each such key's first line, then every later line with the same key.
      std::map<std::vector<std::string>, long long> first;
      ImportResult quiet;
      Problems none{quiet};
      std::uint64_t unused = 0;
      TableScan again(t, f.name, f.utf8, none, quiet);
      again.Run(
          *f.file,
          [&](Checked& row) {
            if (!twice.count(KeyHash(row.rowKeyText))) return;
            auto [it, fresh] = first.emplace(row.rowKeyText, row.line);
            if (!fresh) {
              std::string names;
              for (const char* k : t.rowKey) names += (names.empty() ? "" : ", ") + std::string(k);
              problems.Add({f.name, row.line, "", TrArgs("{1} が {2} 行目と同じです", {names, std::to_string(it->second)})});
            }
          },
          false, unused);
    }
    if (problems.any()) return result;

    db.Begin();
    try {
      for (FileAtHand& f : files) {
        const Table& t = *f.table;
        BatchInsert insert(db, t);
        KeySet deleted;
        ImportResult again;
        Problems changed{again};
        std::uint64_t hash = 0;
        TableScan scan(t, f.name, f.utf8, changed, again);
        scan.Run(
            *f.file,
            [&](Checked& row) {
              // With replace, a key's rows go before the first row of that key is inserted.
              if (options.replace && f.existing.count(row.keyText) && deleted.insert(row.keyText).second)
                db.Execute("DELETE FROM " + std::string(t.name) + " WHERE " + Conditions(t.key),
                           std::vector<Param>(row.keyText.begin(), row.keyText.end()));
              insert.Add(row.params);
            },
            false, hash);
        insert.Flush();
        if (changed.any() || hash != f.hash) throw FileChanged(f.name);
        result.loaded.push_back({t.name, static_cast<int>(f.rows)});
      }
      db.Commit();
    } catch (...) {
      try {
        db.Rollback();
      } catch (const std::exception&) {
      }
      throw;
    }
  } catch (const FileChanged& e) {
    result.loaded.clear();
    problems.Add({e.what(), 0, "", Tr("読み込みの間に変わりました。何も読み込んでいません")});
  } catch (const std::exception& e) {
    result.loaded.clear();
    problems.Add({"", 0, "", TrArgs("データベース: {1}。何も読み込んでいません", {e.what()})});
  }
  return result;
}

}  // namespace edi::cii
