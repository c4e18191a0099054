#include "cii/format_io.h"

#include <csv.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "app/database.h"
#include "app/text.h"
#include "app/whole_file.h"
#include "cii/item_table.h"
#include "cii/sjis.h"

namespace edi::cii {

namespace {

// What a column of a master accepts. Number columns always need a value: the translator
// reads them without a null check.
struct Column {
  const char* name;
  bool number = false;
  bool required = false;          // text: a null or empty value is refused
  int exactBytes = 0;             // text: exactly this many single-byte characters (key fields)
  int maxBytes = 0;               // text: at most this many CP932 bytes (a header field's width)
  const char* allowed = nullptr;  // text: one of these values, separated by "|"
  bool digits = false;            // text: empty, or a number (項目位置)
  long long min = INT32_MIN, max = INT32_MAX;
};

struct Table {
  const char* name;
  std::vector<Column> columns;
  std::vector<const char*> key;     // what --replace replaces and what must be new without it
  std::vector<const char*> rowKey;  // a row's own key within the file
  std::vector<const char*> order;   // export order (then every column)
  const char* categoryColumn;
  std::set<std::string> numberOrder;  // order columns compared as numbers
};

const char* const kStorageModes = "|M|S| ";

const std::vector<Table>& Tables() {
  static const std::vector<Table> tables = {
      {"FL1916メッセージグループ情報マスタ",
       {{.name = "相手先コード", .exactBytes = 12},
        {.name = "自社コード", .exactBytes = 12},
        {.name = "情報区分", .exactBytes = 4},
        {.name = "BPID", .required = true, .maxBytes = 8},
        {.name = "運用モード", .maxBytes = 1},
        {.name = "発信VANコード", .maxBytes = 12},
        {.name = "発信センターコード", .maxBytes = 12},
        {.name = "発信者コード", .maxBytes = 12},
        {.name = "受信VANコード", .maxBytes = 12},
        {.name = "受信センターコード", .maxBytes = 12},
        {.name = "受信者コード", .maxBytes = 12},
        {.name = "交換参照番号", .maxBytes = 10},
        {.name = "シンタックスIDバージョン", .maxBytes = 6},
        {.name = "格納モード", .allowed = kStorageModes},
        {.name = "8ビット文字コード", .maxBytes = 1},
        {.name = "16ビット文字コード", .maxBytes = 1},
        {.name = "短縮表示", .maxBytes = 1},
        {.name = "発信VANコード管理機関コード", .maxBytes = 3},
        {.name = "発信センターコード管理機関コード", .maxBytes = 3},
        {.name = "発信者コード管理機関コード", .maxBytes = 3},
        {.name = "受信VANコード管理機関コード", .maxBytes = 3},
        {.name = "受信センターコード管理機関コード", .maxBytes = 3},
        {.name = "受信者コード管理機関コード", .maxBytes = 3}},
       {"相手先コード", "自社コード", "情報区分"},
       {"相手先コード", "自社コード", "情報区分"},
       {"情報区分", "相手先コード", "自社コード"},
       "情報区分",
       {}},
      {"FL1902フォーマット情報マスタ",
       {{.name = "情報区分コード", .exactBytes = 4},
        {.name = "BPID", .required = true, .maxBytes = 8},
        {.name = "様式識別"},
        {.name = "シンタックスIDバージョン", .maxBytes = 6},
        {.name = "格納モード", .allowed = kStorageModes},
        {.name = "1バイト文字集合"},
        {.name = "2バイト文字集合"},
        {.name = "ローカル形式"},
        {.name = "XML文字コード"}},
       {"情報区分コード", "BPID"},
       {"情報区分コード", "BPID"},
       {"情報区分コード", "BPID"},
       "情報区分コード",
       {}},
      {"FL1903レコードフォーマット情報マスタ",
       {{.name = "フォーマット種別", .allowed = "E|L"},
        {.name = "情報区分コード", .exactBytes = 4},
        {.name = "BPID", .required = true, .maxBytes = 8},
        {.name = "項目通番", .number = true},
        {.name = "対応項目通番", .number = true},
        {.name = "レベル番号", .number = true, .min = 0, .max = kMaxItemLevel},
        {.name = "項目№", .number = true, .min = LLONG_MIN, .max = LLONG_MAX},
        {.name = "項目位置", .digits = true},
        {.name = "項目名称"},
        {.name = "属性", .allowed = "M|N|9|Y|K|X|B"},
        {.name = "長さ", .number = true, .min = 0},
        {.name = "小数部長さ", .number = true, .min = 0},
        {.name = "マルチ明細番号"},
        {.name = "繰返し数", .number = true, .min = 0},
        {.name = "固定項目値"},
        {.name = "変換エラー対処"}},
       {"情報区分コード", "BPID"},
       {"フォーマット種別", "情報区分コード", "BPID", "項目通番"},
       {"情報区分コード", "BPID", "フォーマット種別", "項目通番"},
       "情報区分コード",
       {"項目通番"}},
  };
  return tables;
}

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

// A value as a CSV field: a null is an empty field; an empty text, or one that a reader
// could take differently (separators, quotes, line ends, spaces at either end), is quoted.
std::string CsvField(const Value& v) {
  if (!v) return {};
  const std::string& s = *v;
  bool quote = s.empty() || s.find_first_of(",\"\r\n") != std::string::npos || s.front() == ' ' ||
               s.back() == ' ' || s.front() == '\t' || s.back() == '\t';
  return quote ? CsvQuoted(s) : s;
}

}  // namespace

std::string CsvQuoted(std::string_view text) {
  std::string out(text.size() * 2 + 2, '\0');
  out.resize(csv_write(out.data(), out.size(), text.data(), text.size()));
  return out;
}

const std::vector<std::string>& FormatTables() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const Table& t : Tables()) n.push_back(t.name);
    return n;
  }();
  return names;
}

std::string FormatFileName(const std::string& table) { return table + ".csv"; }

std::vector<TableCount> ExportFormats(Database& db, const std::filesystem::path& dir, const FormatFilter& filter,
                                      CsvEncoding encoding) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::vector<TableCount> counts;
  for (const Table& t : Tables()) {
    std::string sql = "SELECT " + ColumnList(t) + " FROM " + t.name;
    std::vector<const char*> where;
    std::vector<Param> params;
    if (filter.category) {
      where.push_back(t.categoryColumn);
      params.emplace_back(*filter.category);
    }
    if (filter.bpid) {
      where.push_back("BPID");
      params.emplace_back(*filter.bpid);
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
          throw std::runtime_error(std::string(t.name) + " row " + std::to_string(r + 1) + " column " +
                                   t.columns[i].name + ": characters that CP932 cannot hold (export with --encoding utf-8)");
        text += (i ? "," : "") + CsvField(v);
      }
      text += "\r\n";
    }
    if (encoding != CsvEncoding::Utf8) text = ToAnsiBytes(text);
    const auto path = dir / FormatFileName(t.name);
    // Written whole: a spreadsheet or a version control system never sees a cut file, and a
    // failed write leaves the earlier export at the name.
    if (auto fault = WriteFileWhole(path, text)) throw std::runtime_error(fault->text);
    counts.push_back({t.name, static_cast<int>(rows.size())});
  }
  return counts;
}

// ---------------------------------------------------------------- import

std::string Describe(const ImportProblem& p) {
  std::string s = p.file;
  if (p.line > 0) s += ":" + std::to_string(p.line);
  if (!p.column.empty()) s += (s.empty() ? "" : ": ") + p.column;
  return s + (s.empty() ? "" : ": ") + p.message;
}

namespace {

struct Record {
  long long line = 0;
  std::vector<Value> fields;
};

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

// Calls f(lineNumber, line with its line end) for each physical line.
template <class F>
void ForEachLine(std::string_view text, F f) {
  long long number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t lf = text.find('\n', start);
    std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
    f(++number, text.substr(start, end - start));
    start = end;
  }
}

// The file's text as UTF-8, or a problem.
std::optional<ImportProblem> Decode(const std::string& file, std::string bytes, CsvEncoding encoding,
                                    std::string& text) {
  const bool bom = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
  if (encoding == CsvEncoding::Auto) encoding = (bom || IsValidUtf8(bytes)) ? CsvEncoding::Utf8 : CsvEncoding::Cp932;
  std::optional<ImportProblem> bad;
  if (encoding == CsvEncoding::Utf8) {
    if (bom) bytes.erase(0, 3);
    ForEachLine(bytes, [&](long long n, std::string_view line) {
      if (!bad && !IsValidUtf8(line)) bad = ImportProblem{file, n, "", "bytes that are not UTF-8"};
    });
    text = std::move(bytes);
  } else {
    ForEachLine(bytes, [&](long long n, std::string_view line) {
      if (!bad && !IsValidAnsiBytes(line)) bad = ImportProblem{file, n, "", "bytes that are not CP932"};
    });
    text = FromAnsiBytes(bytes);
  }
  return bad;
}

// Parses the text with libcsv, one physical line at a time so that every record knows the
// line it starts on. A record may span lines (a quoted line end).
struct CsvReader {
  std::vector<Record> records;
  Record current;
  long long startLine = 0;
  bool inRecord = false;
  bool ended = false;  // a record ended during the last feed

  static void OnField(void* s, std::size_t n, void* self) {
    auto* r = static_cast<CsvReader*>(self);
    if (s) r->current.fields.emplace_back(std::string(static_cast<const char*>(s), n));
    else r->current.fields.emplace_back(std::nullopt);
  }
  static void OnRecord(int, void* self) {
    auto* r = static_cast<CsvReader*>(self);
    r->current.line = r->startLine;
    r->records.push_back(std::move(r->current));
    r->current = Record{};
    r->ended = true;
    r->inRecord = false;
  }
  static int NoSpace(unsigned char) { return 0; }  // spaces belong to the value

  std::optional<ImportProblem> Parse(const std::string& file, std::string_view text) {
    csv_parser p;
    csv_init(&p, CSV_STRICT | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL);
    csv_set_space_func(&p, NoSpace);
    std::optional<ImportProblem> bad;
    long long lastLine = 0;
    ForEachLine(text, [&](long long n, std::string_view line) {
      if (bad) return;
      lastLine = n;
      if (!inRecord) startLine = n;
      ended = false;
      if (csv_parse(&p, line.data(), line.size(), OnField, OnRecord, this) != line.size()) {
        bad = ImportProblem{file, n, "", std::string("not CSV: ") + csv_strerror(csv_error(&p))};
        return;
      }
      if (!ended && line.find_first_not_of("\r\n") != std::string_view::npos) inRecord = true;
    });
    if (!bad && csv_fini(&p, OnField, OnRecord, this) != 0)
      bad = ImportProblem{file, startLine ? startLine : lastLine, "", "not CSV: a quoted value is not closed"};
    csv_free(&p);
    return bad;
  }
};

// A checked row: the value of each table column (in table order) ready to bind.
struct Checked {
  long long line;
  std::vector<Param> params;
  std::vector<std::string> keyText;  // the key values, for the replace and duplicate checks
  std::vector<std::string> rowKeyText;
};

std::string ValueText(const Param& p) {
  if (auto* s = std::get_if<std::string>(&p)) return *s;
  if (auto* n = std::get_if<long long>(&p)) return std::to_string(*n);
  return {};
}

// The value of one column, or a message saying why it does not fit.
std::optional<std::string> CheckValue(const Column& c, const Value& v, Param& out) {
  const bool empty = !v || v->empty();
  if (c.number) {
    long long n = 0;
    if (empty) return "a number is needed";
    if (!ParseInteger(*v, n)) return "\"" + *v + "\" is not a whole number";
    if (n < c.min || n > c.max)
      return std::to_string(n) + " is out of range (" + std::to_string(c.min) + " to " + std::to_string(c.max) + ")";
    out = n;
    return std::nullopt;
  }
  if (!v) {
    if (c.required || c.exactBytes) return "a value is needed";
    out = nullptr;
    return std::nullopt;
  }
  const std::string& s = *v;
  if (!IsAnsiRepresentable(s)) return "\"" + s + "\" holds characters that CP932 cannot hold";
  const std::string ansi = ToAnsiBytes(s);
  if (c.required && s.empty()) return "a value is needed";
  if (c.exactBytes && (ansi.size() != static_cast<std::size_t>(c.exactBytes) || !IsSingleByteText(ansi)))
    return "\"" + s + "\" must be exactly " + std::to_string(c.exactBytes) +
           " single-byte characters, spaces included (as in the in-house line's key)";
  if (c.maxBytes && ansi.size() > static_cast<std::size_t>(c.maxBytes))
    return "\"" + s + "\" is longer than " + std::to_string(c.maxBytes) + " bytes";
  if (c.allowed) {
    std::string allowed = std::string("|") + c.allowed + "|";
    if (s.find('|') != std::string::npos || allowed.find("|" + s + "|") == std::string::npos) {
      std::string list = c.allowed;
      std::replace(list.begin(), list.end(), '|', ' ');
      return "\"" + s + "\" is not one of: " + TrimSpaces(list) + (std::string(c.allowed).find("| ") != std::string::npos ? " (or a space, or empty)" : "");
    }
  }
  if (c.digits) {
    std::string t = TrimSpaces(s);
    long long n = 0;
    if (!t.empty() && (!ParseInteger(t, n) || n < 1)) return "\"" + s + "\" is not a byte position (1 or more)";
  }
  out = s;
  return std::nullopt;
}

// Checks one table file; appends its problems and rows.
void CheckTableFile(const Table& t, const std::string& file, const std::string& text,
                    std::vector<ImportProblem>& problems, std::vector<Checked>& rows) {
  CsvReader reader;
  if (auto bad = reader.Parse(file, text)) {
    problems.push_back(*bad);
    return;
  }
  if (reader.records.empty()) {
    problems.push_back({file, 0, "", "no header row"});
    return;
  }
  const Record& header = reader.records.front();
  // position in the table → position in the file
  std::vector<int> at(t.columns.size(), -1);
  const std::size_t before = problems.size();
  for (std::size_t k = 0; k < header.fields.size(); ++k) {
    const std::string name = header.fields[k] ? TrimSpaces(*header.fields[k]) : std::string();
    std::size_t i = 0;
    while (i < t.columns.size() && name != t.columns[i].name) ++i;
    const std::string where = "column " + std::to_string(k + 1);
    if (i == t.columns.size()) problems.push_back({file, header.line, where, "\"" + name + "\" is not a column of " + t.name});
    else if (at[i] >= 0) problems.push_back({file, header.line, where, "\"" + name + "\" appears twice"});
    else at[i] = static_cast<int>(k);
  }
  for (std::size_t i = 0; i < t.columns.size(); ++i)
    if (at[i] < 0) problems.push_back({file, header.line, "", std::string("column ") + t.columns[i].name + " is missing"});
  if (problems.size() != before) return;

  std::map<std::vector<std::string>, long long> seen;
  for (std::size_t r = 1; r < reader.records.size(); ++r) {
    const Record& rec = reader.records[r];
    if (rec.fields.size() != header.fields.size()) {
      problems.push_back({file, rec.line, "",
                          std::to_string(rec.fields.size()) + " values, the header has " +
                              std::to_string(header.fields.size())});
      continue;
    }
    Checked row{rec.line, std::vector<Param>(t.columns.size(), nullptr), {}, {}};
    bool fine = true;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (auto why = CheckValue(t.columns[i], rec.fields[static_cast<std::size_t>(at[i])], row.params[i])) {
        problems.push_back({file, rec.line, t.columns[i].name, *why});
        fine = false;
      }
    }
    if (!fine) continue;
    for (const char* k : t.key) row.keyText.push_back(ValueText(row.params[IndexOf(t, k)]));
    for (const char* k : t.rowKey) row.rowKeyText.push_back(ValueText(row.params[IndexOf(t, k)]));
    auto [it, fresh] = seen.emplace(row.rowKeyText, rec.line);
    if (!fresh) {
      std::string names;
      for (const char* k : t.rowKey) names += (names.empty() ? "" : ", ") + std::string(k);
      problems.push_back({file, rec.line, "", "the same " + names + " as line " + std::to_string(it->second)});
      continue;
    }
    rows.push_back(std::move(row));
  }
}

}  // namespace

ImportResult ImportFormats(Database& db, const std::filesystem::path& dir, const ImportOptions& options) {
  ImportResult result;
  std::vector<std::pair<const Table*, std::vector<Checked>>> loads;
  for (const Table& t : Tables()) {
    const std::string file = FormatFileName(t.name);
    const auto path = dir / file;
    if (!std::filesystem::is_regular_file(path)) continue;
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
      result.problems.push_back({file, 0, "", "cannot be read"});
      continue;
    }
    std::string text;
    if (auto bad = Decode(file, std::move(bytes), options.encoding, text)) {
      result.problems.push_back(*bad);
      continue;
    }
    std::vector<Checked> rows;
    CheckTableFile(t, file, text, result.problems, rows);
    loads.emplace_back(&t, std::move(rows));
  }
  if (loads.empty() && result.problems.empty()) {
    std::string names;
    for (const std::string& t : FormatTables()) names += (names.empty() ? "" : ", ") + FormatFileName(t);
    result.problems.push_back({dir.string(), 0, "", "holds none of the files " + names});
  }
  if (!result.problems.empty()) return result;

  try {
    // Keys already in the database are refused unless they are to be replaced.
    if (!options.replace) {
      for (const auto& [t, rows] : loads) {
        std::set<std::vector<std::string>> asked;
        for (const Checked& row : rows) {
          if (!asked.insert(row.keyText).second) continue;
          std::vector<Param> params(row.keyText.begin(), row.keyText.end());
          auto found = db.Query("SELECT COUNT(*) FROM " + std::string(t->name) + " WHERE " + Conditions(t->key), params);
          if (!found.empty() && found.front().at(0) && *found.front().at(0) != "0") {
            std::string what;
            for (std::size_t k = 0; k < t->key.size(); ++k)
              what += (k ? ", " : "") + std::string(t->key[k]) + " \"" + row.keyText[k] + "\"";
            result.problems.push_back({FormatFileName(t->name), row.line, "",
                                       what + " is already in the database (--replace replaces it)"});
          }
        }
      }
      if (!result.problems.empty()) return result;
    }

    db.Begin();
    try {
      for (const auto& [t, rows] : loads) {
        if (options.replace) {
          std::set<std::vector<std::string>> done;
          for (const Checked& row : rows)
            if (done.insert(row.keyText).second)
              db.Execute("DELETE FROM " + std::string(t->name) + " WHERE " + Conditions(t->key),
                         std::vector<Param>(row.keyText.begin(), row.keyText.end()));
        }
        std::string marks;
        for (std::size_t i = 1; i <= t->columns.size(); ++i) marks += (i > 1 ? ", :" : ":") + std::to_string(i);
        const std::string insert =
            "INSERT INTO " + std::string(t->name) + " (" + ColumnList(*t) + ") VALUES (" + marks + ")";
        for (const Checked& row : rows) db.Execute(insert, row.params);
        result.loaded.push_back({t->name, static_cast<int>(rows.size())});
      }
      db.Commit();
    } catch (...) {
      try {
        db.Rollback();
      } catch (const std::exception&) {
      }
      throw;
    }
  } catch (const std::exception& e) {
    result.loaded.clear();
    result.problems.push_back({"", 0, "", std::string("database: ") + e.what() + "; nothing was loaded"});
  }
  return result;
}

}  // namespace edi::cii
