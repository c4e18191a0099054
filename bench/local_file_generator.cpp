#include "local_file_generator.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/text.h"

namespace edi::bench {

namespace {

// Values drawn from a small realistic vocabulary, converted to CP932 once.
std::vector<std::string> Ansi(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* s : utf8) out.push_back(ToAnsiBytes(s));
  return out;
}

const std::vector<std::string>& Suppliers() {
  static const auto v = Ansi({"東日本鋼材株式会社", "ﾄｳﾆﾎﾝｺｳｻﾞｲ", "西日本樹脂工業", "中部電材（株）",
                              "北陸金属販売", "ｷﾀｷｭｳｼｭｳ ﾃﾂｺｳ", "関東ボルト製作所", "大阪ﾊﾟｲﾌﾟ商会"});
  return v;
}
const std::vector<std::string>& ItemNames() {
  static const auto v = Ansi({"鋼板ＳＳ４００", "等辺山形鋼", "ボルト M12", "鋼板 9mm", "丸パイプ～φ34",
                              "ナット M12", "ｱﾝｸﾞﾙ 50X50", "溝形鋼－１００", "平鋼 FB-9", "異形棒鋼Ｄ１３"});
  return v;
}
const std::vector<std::string>& ItemCodes() {
  static const auto v = Ansi({"SP-SS400-06", "AN-50X50", "PB-M12", "SP-SS400-09", "PI-34-2.3", "NT-M12",
                              "AN-50X50-6", "CH-100X50", "FB-9X50", "DB-D13"});
  return v;
}
const std::vector<std::string>& Remarks() {
  static const auto v = Ansi({"", "", "", "至急 URGENT", "午前着指定", "分納可", "ｹﾝｻｼｮ ﾄﾞｳﾌ"});
  return v;
}

// Short kanji (at most 8 bytes, cut at a character boundary where a field is shorter).
const std::vector<std::string>& ShortKanji() {
  static const auto v = Ansi({"本社", "東京", "大阪支店", "部品", "鋼材", "ﾊﾟｲﾌﾟ", "検査済", "未定"});
  return v;
}

// `bytes` padded with spaces or cut to `width` bytes (the vocabulary never cuts a kanji).
void Put(std::string& line, const std::string& bytes, std::size_t width) {
  line.append(bytes, 0, std::min(bytes.size(), width));
  if (bytes.size() < width) line.append(width - bytes.size(), ' ');
}

void PutNumber(std::string& line, const char* format, long long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, value);
  line += buf;
}

}  // namespace

std::string PartnerCode(int key) {
  char buf[16];
  if (key == 0) std::snprintf(buf, sizeof buf, "%-12s", "CENTER01");
  else std::snprintf(buf, sizeof buf, "BENCHP%02d    ", key % 100);
  return std::string(buf, 12);
}

LocalFileGenerator::LocalFileGenerator(const GeneratorOptions& options)
    : options_(options), state_(options.seed * 0x9E3779B97F4A7C15ULL + 1) {
  if (options_.keys < 1) options_.keys = 1;
  if (options_.linesPerKey < 1) options_.linesPerKey = 1;
  if (options_.details < 1) options_.details = 1;
  // A size below one line still gives one line, so that every direction has something to read.
  if (options_.lines <= 0) options_.lines = std::max<long long>(1, options_.targetBytes / LineBytes(options_));
}

std::uint64_t LocalFileGenerator::Next() {  // xorshift64*: fast and the same on every run
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return state_ * 2685821657736338717ULL;
}

std::string LocalFileGenerator::Line(long long index) {
  switch (options_.layout) {
    case Layout::Wide: return WideLine(index);
    case Layout::Short: return ShortLine(index);
    case Layout::Detail: break;
  }
  return DetailLine(index);
}

void LocalFileGenerator::PutKey(std::string& line, long long index, const char* category) {
  const int key = static_cast<int>((index / options_.linesPerKey) % options_.keys);
  // Key: record kind (5), category (4), 6 spaces, own company (12), partner (12).
  line += "00001";
  line += category;
  line += "      ";
  line += "OWNCO0000001";
  line += PartnerCode(key);
}

std::string LocalFileGenerator::WideLine(long long index) {
  std::string line;
  line.reserve(static_cast<std::size_t>(WideLineBytes()));
  PutKey(line, index, kWideCategory);
  for (int k = 0; k < kWideShortItems; ++k) {
    // About one item in eight is blank, so that skipped items are part of the work.
    const bool blank = Pick(8) == 0;
    switch (k % 5) {
      case 0:
        if (blank) line.append(6, ' ');
        else Put(line, ItemCodes()[Pick(static_cast<int>(ItemCodes().size()))].substr(0, 6), 6);
        break;
      case 1: PutNumber(line, "%05lld", blank ? 0 : Pick(100000)); break;
      case 2:
        if (blank) line.append(8, ' ');
        else {
          PutNumber(line, "%04lld", 2020 + Pick(7));
          PutNumber(line, "%02lld", 1 + Pick(12));
          PutNumber(line, "%02lld", 1 + Pick(28));
        }
        break;
      case 3: Put(line, blank ? std::string() : ShortKanji()[Pick(static_cast<int>(ShortKanji().size()))], 8); break;
      default: {
        const long long hundredths = blank ? 0 : static_cast<long long>(Next() % 9999999);
        PutNumber(line, "%05lld", hundredths / 100);
        PutNumber(line, ".%02lld", hundredths % 100);
      }
    }
  }
  const int filled = kWideRepeats - Pick(kWideRepeats / 2 + 1);
  for (int r = 0; r < kWideRepeats; ++r) {
    if (r >= filled) {
      line.append(kWideMemberBytes, ' ');
      continue;
    }
    PutNumber(line, "P%03lld", r + 1);
    PutNumber(line, "%04lld", 1 + Pick(9999));
    Put(line, ShortKanji()[Pick(static_cast<int>(ShortKanji().size()))], 6);
  }
  line += "\r\n";
  return line;
}

std::string LocalFileGenerator::ShortLine(long long index) {
  std::string line;
  line.reserve(static_cast<std::size_t>(ShortLineBytes()));
  PutKey(line, index, kShortCategory);
  for (int k = 0; k < kShortItems; ++k) {
    const ShortItemKind kind = kShortCycle[k % 10];
    const bool blank = Pick(8) == 0;  // about one item in eight is blank
    const auto width = static_cast<std::size_t>(kind.width);
    switch (kind.attribute) {
      case 'X':
        if (blank) line.append(width, ' ');
        else Put(line, ItemCodes()[Pick(static_cast<int>(ItemCodes().size()))], width);
        break;
      case '9': PutNumber(line, kind.width == 5 ? "%05lld" : "%03lld", blank ? 0 : Pick(kind.width == 5 ? 100000 : 1000)); break;
      case 'Y':
        if (blank) line.append(width, ' ');
        else {
          PutNumber(line, "%04lld", 2020 + Pick(7));
          PutNumber(line, "%02lld", 1 + Pick(12));
          PutNumber(line, "%02lld", 1 + Pick(28));
        }
        break;
      case 'K': Put(line, blank ? std::string() : ShortKanji()[Pick(static_cast<int>(ShortKanji().size()))], width); break;
      default: {  // 'N': 7 digits with two decimals
        const long long hundredths = blank ? 0 : static_cast<long long>(Next() % 9999999);
        PutNumber(line, "%05lld", hundredths / 100);
        PutNumber(line, ".%02lld", hundredths % 100);
      }
    }
  }
  const int filled = kShortRepeats - Pick(kShortRepeats / 2 + 1);
  for (int r = 0; r < kShortRepeats; ++r) {
    if (r >= filled) {
      line.append(kShortMemberBytes, ' ');
      continue;
    }
    PutNumber(line, "L%03lld", r + 1);
    PutNumber(line, "%04lld", 1 + Pick(9999));
    Put(line, ItemCodes()[Pick(static_cast<int>(ItemCodes().size()))], 6);
  }
  line += "\r\n";
  return line;
}

std::string LocalFileGenerator::DetailLine(long long index) {
  std::string line;
  line.reserve(static_cast<std::size_t>(LineBytes(options_.details)));
  PutKey(line, index, "0101");
  // Data part: order number, order date (8), delivery date (6), supplier name (kanji, 20).
  PutNumber(line, "A%09lld", (index + 1) % 1000000000);
  const int month = 1 + Pick(12), day = 1 + Pick(28);
  PutNumber(line, "%04lld", 2020 + Pick(7));
  PutNumber(line, "%02lld", month);
  PutNumber(line, "%02lld", day);
  PutNumber(line, "%02lld", 20 + Pick(7));
  PutNumber(line, "%02lld", 1 + Pick(12));
  PutNumber(line, "%02lld", 1 + Pick(28));
  Put(line, Suppliers()[Pick(static_cast<int>(Suppliers().size()))], 20);
  // Details: between half and all of the repetitions carry a line; the rest stay blank.
  const int filled = options_.details - Pick(options_.details / 2 + 1);
  for (int d = 0; d < options_.details; ++d) {
    if (d >= filled) {
      line.append(kDetailBytes, ' ');
      continue;
    }
    const int item = Pick(static_cast<int>(ItemCodes().size()));
    PutNumber(line, "%03lld", d + 1);
    Put(line, ItemCodes()[item], 12);
    Put(line, ItemNames()[item], 16);
    const long long hundredths = 1 + static_cast<long long>(Next() % 9999999);  // up to 99999.99
    PutNumber(line, "%05lld", hundredths / 100);
    PutNumber(line, ".%02lld", hundredths % 100);
    PutNumber(line, "%09lld", 10 + static_cast<long long>(Next() % 999999));
  }
  Put(line, Remarks()[Pick(static_cast<int>(Remarks().size()))], 20);
  line += "\r\n";
  return line;
}

long long LocalFileGenerator::Write(std::ostream& out) {
  std::string buffer;
  for (long long i = 0; i < options_.lines; ++i) {
    buffer += Line(i);
    if (buffer.size() >= (1 << 20)) {
      out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  return options_.lines;
}

}  // namespace edi::bench
