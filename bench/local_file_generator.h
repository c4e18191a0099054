// Generates in-house fixed-length order files in the layout of the demo format (information
// category 0101, BPID ORDR0101): a 39-character key, order number, order and delivery dates,
// a kanji supplier name, a detail group repeated `details` times (line number, item code,
// kanji item name, quantity with two decimals, unit price) and a remark. CP932, CR LF.
// Or, in the wide layout (category 0202, BPID WIDE0202), many short items in one line: codes,
// counts, dates, kanji and amounts in turn, then a group of three members repeated. Or, in the
// short layout (category 0303, BPID SHRT0303), more and shorter items, mostly ASCII, and a
// short repeated group: lines of about 1.6 KB.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace edi::bench {

enum class Layout { Detail, Wide, Short };

struct GeneratorOptions {
  Layout layout = Layout::Detail;
  long long lines = 0;        // lines to write; 0: as many as fit in targetBytes
  long long targetBytes = 0;  // used when lines is 0
  int keys = 1;               // distinct message group keys (partners)
  int linesPerKey = 1;        // consecutive lines per key before the next key (1: alternate)
  int details = 3;            // repetitions of the detail group in the format (detail layout)
  std::uint64_t seed = 1;
};

// Local length of one repetition of the detail group and of a whole line (CR LF included).
constexpr int kDetailBytes = 48;
constexpr int LineBytes(int details) { return 39 + 44 + kDetailBytes * details + 20 + 2; }
// 1-based position of the remark in the data part (its 'L' 項目位置) for `details` repetitions.
constexpr int RemarkPosition(int details) { return 45 + kDetailBytes * details; }

// The wide layout: kWideShortItems level-0 items cycling through a code (X, 6), a count (9, 5),
// a date (Y, 8), kanji (K, 8 bytes) and an amount (N, 7 digits with 2 decimals, 8 bytes),
// then a group of a code (X, 4), a count (9, 4) and kanji (K, 6) repeated kWideRepeats times
// (lines of about 10 KB, so that the lines of 1 GB stay within the 99,999 messages of one
// message group, which CII to XML needs).
constexpr const char* kWideCategory = "0202";
constexpr const char* kWideBpid = "WIDE0202";
constexpr int kWideShortItems = 50;
constexpr int kWideRepeats = 700;
constexpr int kWideMemberBytes = 4 + 4 + 6;
constexpr int WideLineBytes() { return 39 + (6 + 5 + 8 + 8 + 8) * (kWideShortItems / 5) + kWideMemberBytes * kWideRepeats + 2; }

// The short layout: kShortItems level-0 items cycling through the ten kinds of kShortCycle
// (codes, counts, a date, an amount with two decimals, one kanji item), then a group of a code
// (X, 4), a count (9, 4) and a code (X, 6) repeated kShortRepeats times.
constexpr const char* kShortCategory = "0303";
constexpr const char* kShortBpid = "SHRT0303";
constexpr int kShortItems = 120;
constexpr int kShortRepeats = 60;
// Per item of the cycle: 属性 and local width (an amount's width holds its decimal point).
struct ShortItemKind {
  char attribute;
  int width;
};
constexpr ShortItemKind kShortCycle[10] = {{'X', 6}, {'9', 5}, {'Y', 8}, {'X', 6}, {'N', 8},
                                           {'X', 4}, {'9', 3}, {'K', 8}, {'X', 6}, {'9', 5}};
constexpr int kShortCycleBytes = 6 + 5 + 8 + 6 + 8 + 4 + 3 + 8 + 6 + 5;
constexpr int kShortMemberBytes = 4 + 4 + 6;
constexpr int ShortLineBytes() {
  return 39 + kShortCycleBytes * (kShortItems / 10) + kShortMemberBytes * kShortRepeats + 2;
}

// Partner code (相手先コード, 12 characters) of key k: key 0 is the demo partner CENTER01,
// the others BENCHP01, BENCHP02, …, so that the masters need one FL1916 row per key.
std::string PartnerCode(int key);

constexpr int LineBytes(const GeneratorOptions& o) {
  return o.layout == Layout::Wide ? WideLineBytes() : o.layout == Layout::Short ? ShortLineBytes() : LineBytes(o.details);
}

class LocalFileGenerator {
 public:
  explicit LocalFileGenerator(const GeneratorOptions& options);
  // Line number `index` (from 0), CR LF included.
  std::string Line(long long index);
  // Writes the whole file; returns the number of lines written.
  long long Write(std::ostream& out);

 private:
  std::string DetailLine(long long index);
  std::string WideLine(long long index);
  std::string ShortLine(long long index);
  void PutKey(std::string& line, long long index, const char* category);
  std::uint64_t Next();
  int Pick(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  GeneratorOptions options_;
  std::uint64_t state_;
};

}  // namespace edi::bench
